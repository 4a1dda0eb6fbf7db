#include "platform/gui/stdctrls.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QCompleter>
#include <QGuiApplication>
#include <QIcon>
#include <QImage>
#include <QKeyEvent>
#include <QPainter>
#include <QPixmap>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QSlider>
#include <QStandardPaths>
#include <QTabBar>
#include <algorithm>
#include <cstring>
#include <typeinfo>

#include "platform/gui/qtwidget.h"

namespace {

// The one rule for value changes made from code: true where the class library fired the
// control's change or click event.
enum TCodeChange {
  ccEditText,
  ccCheckBox,
  ccRadioButton,
  ccRadioGroup,
  ccTrackBar,
  ccComboText,
  ccComboIndex,
  ccListIndex,
  ccUpDown,
  ccPage,
  ccSpeedDown
};
bool CodeChangeFires(TCodeChange what) {
  switch (what) {
    case ccEditText:
    case ccCheckBox:
    case ccRadioButton:
    case ccRadioGroup: return true;
    default: return false;
  }
}

QString Q(const std::string& s) { return QString::fromUtf8(s.data(), int(s.size())); }
std::string S(const QString& q) { return q.toStdString(); }

// Draws text in a rectangle with an alignment (single line, vertically centred when asked).
void DrawAligned(TCanvas* c, const TRect& r, const std::string& text, TAlignment a, TTextLayout l) {
  TSize e = c->TextExtent(text);
  int x = r.Left, y = r.Top;
  if (a == taCenter) x = r.Left + (r.Width() - e.cx) / 2;
  else if (a == taRightJustify) x = r.Right - e.cx;
  if (l == tlCenter) y = r.Top + (r.Height() - e.cy) / 2;
  else if (l == tlBottom) y = r.Bottom - e.cy;
  c->TextRect(r, x, y, text);
}

std::string StripAmp(const std::string& s) {
  std::string r;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '&') {
      if (i + 1 < s.size() && s[i + 1] == '&') r += '&', ++i;
      continue;
    }
    r += s[i];
  }
  return r;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// TStrings

const std::string& TStrings::Strings(int i) const {
  if (i < 0 || i >= Count()) throw EListError("List index out of bounds (" + std::to_string(i) + ")");
  return FItems[size_t(i)];
}
void TStrings::SetStrings(int i, const std::string& s) {
  if (i < 0 || i >= Count()) throw EListError("List index out of bounds (" + std::to_string(i) + ")");
  FItems[size_t(i)] = s;
  Changed();
}
int TStrings::Add(const std::string& s) {
  FItems.push_back(s);
  Changed();
  return Count() - 1;
}
void TStrings::Insert(int i, const std::string& s) {
  if (i < 0 || i > Count()) throw EListError("List index out of bounds (" + std::to_string(i) + ")");
  FItems.insert(FItems.begin() + i, s);
  Changed();
}
void TStrings::Delete(int i) {
  if (i < 0 || i >= Count()) throw EListError("List index out of bounds (" + std::to_string(i) + ")");
  FItems.erase(FItems.begin() + i);
  Changed();
}
void TStrings::Clear() {
  if (FItems.empty()) return;
  FItems.clear();
  Changed();
}
int TStrings::IndexOf(const std::string& s) const {
  for (int i = 0; i < Count(); ++i) {
    const std::string& a = FItems[size_t(i)];
    if (a.size() == s.size() && std::equal(a.begin(), a.end(), s.begin(), [](char x, char y) {
          return std::tolower((unsigned char)x) == std::tolower((unsigned char)y);
        }))
      return i;
  }
  return -1;
}
void TStrings::Assign(const std::vector<std::string>& v) {
  FItems = v;
  Changed();
}
std::string TStrings::Text() const {
  std::string t;
  for (auto& s : FItems) t += s + "\r\n";
  return t;
}
void TStrings::SetText(const std::string& t) {
  FItems.clear();
  std::string line;
  for (size_t i = 0; i < t.size(); ++i) {
    char c = t[i];
    if (c == '\r' || c == '\n') {
      FItems.push_back(line);
      line.clear();
      if (c == '\r' && i + 1 < t.size() && t[i + 1] == '\n') ++i;
    } else {
      line += c;
    }
  }
  if (!line.empty()) FItems.push_back(line);
  Changed();
}

void Frame3D(TCanvas* c, TRect& r, TColor topLeft, TColor bottomRight, int width) {
  TPen* pen = c->Pen();
  pen->SetWidth(1);
  pen->SetStyle(psSolid);
  pen->SetMode(pmCopy);
  --r.Bottom;
  --r.Right;
  for (int i = 0; i < width; ++i) {
    pen->SetColor(topLeft);
    TPoint a[3] = {{r.Left, r.Bottom}, {r.Left, r.Top}, {r.Right, r.Top}};
    c->Polyline(a, 3);
    pen->SetColor(bottomRight);
    TPoint b[3] = {{r.Right, r.Top}, {r.Right, r.Bottom}, {r.Left - 1, r.Bottom}};
    c->Polyline(b, 3);
    InflateRect(r, -1, -1);
  }
  ++r.Bottom;
  ++r.Right;
}

// ---------------------------------------------------------------------------------------------
// Painted containers and labels

TPanel::TPanel(TComponent* owner) : TCustomControl(owner) {
  FControlStyle |= csAcceptsControls | csOpaque;
  SetBounds(FLeft, FTop, 185, 41);
}

void TPanel::Paint() {
  TCanvas* c = Canvas();
  TRect r = ClientRect();
  c->Brush()->SetStyle(bsSolid);
  c->Brush()->SetColor(FColor);
  c->FillRect(r);
  auto bevel = [&](TBevelCut b) {
    if (b == bvNone) return;
    TColor tl = b == bvLowered ? clBtnShadow : clBtnHighlight;
    TColor br = b == bvLowered ? clBtnHighlight : clBtnShadow;
    if (b == bvSpace) tl = br = FColor;
    Frame3D(c, r, tl, br, FBevelWidth);
  };
  bevel(FBevelOuter);
  bevel(FBevelInner);
  if (!FText.empty()) {
    c->SetFont(&FFont);
    c->Brush()->SetStyle(bsClear);
    DrawAligned(c, r, StripAmp(FText), FAlignment, tlCenter);
  }
}

TGroupBox::TGroupBox(TComponent* owner) : TCustomControl(owner) {
  FControlStyle |= csAcceptsControls;
  SetBounds(FLeft, FTop, 185, 105);
}

void TGroupBox::Paint() {
  TCanvas* c = Canvas();
  c->SetFont(&FFont);
  int h = c->TextHeight("0");
  TRect r = Rect(0, h / 2 - 1, ClientWidth(), ClientHeight());
  c->Brush()->SetStyle(bsClear);
  Frame3D(c, r, clBtnShadow, clBtnHighlight, 1);
  Frame3D(c, r, clBtnHighlight, clBtnShadow, 1);
  if (!FText.empty()) {
    std::string t = StripAmp(FText);
    c->Brush()->SetStyle(bsSolid);
    c->Brush()->SetColor(FColor);
    if (!FEnabled) c->Font()->SetColor(clGrayText);
    c->TextOut(8, 0, t);
  }
}

TLabel::TLabel(TComponent* owner) : TGraphicControl(owner) { SetBounds(FLeft, FTop, 65, 17); }

void TLabel::SetText(const std::string& s) {
  TControl::SetText(s);
  AdjustBounds();
}

void TLabel::SetAutoSize(bool v) {
  FAutoSize = v;
  AdjustBounds();
}

void TLabel::ApplyFont() {
  TGraphicControl::ApplyFont();
  AdjustBounds();
}

void TLabel::AdjustBounds() {
  if (!FAutoSize || FWordWrap) return;
  TCanvas* c = Canvas();
  c->SetFont(&FFont);
  TSize e = c->TextExtent(FText.empty() ? std::string(" ") : StripAmp(FText));
  int left = FLeft;
  if (FAlignment == taRightJustify) left = FLeft + FWidth - e.cx;
  SetBounds(left, FTop, e.cx, e.cy);
}

void TLabel::Paint() {
  TCanvas* c = Canvas();
  if (!FTransparent) {
    c->Brush()->SetStyle(bsSolid);
    c->Brush()->SetColor(FColor == clBtnFace && FParent ? FParent->Color() : FColor);
    c->FillRect(ClientRect());
  }
  c->SetFont(&FFont);
  if (!FEnabled) c->Font()->SetColor(clGrayText);
  c->Brush()->SetStyle(bsClear);
  DrawAligned(c, ClientRect(), StripAmp(FText), FAlignment, FLayout);
}

TBevel::TBevel(TComponent* owner) : TGraphicControl(owner) { SetBounds(FLeft, FTop, 50, 50); }

void TBevel::Paint() {
  TCanvas* c = Canvas();
  TColor a = FStyle == bsLowered ? clBtnShadow : clBtnHighlight;
  TColor b = FStyle == bsLowered ? clBtnHighlight : clBtnShadow;
  int w = ClientWidth(), h = ClientHeight();
  TPen* p = c->Pen();
  p->SetWidth(1);
  auto line = [&](TColor col, int x1, int y1, int x2, int y2) {
    p->SetColor(col);
    c->MoveTo(x1, y1);
    c->LineTo(x2, y2);
  };
  switch (FShape) {
    case bsBox: {
      TRect r = ClientRect();
      Frame3D(c, r, a, b, 1);
      break;
    }
    case bsFrame: {
      TRect r = ClientRect();
      Frame3D(c, r, a, b, 1);
      Frame3D(c, r, b, a, 1);
      break;
    }
    case bsTopLine:
      line(a, 0, 0, w, 0);
      line(b, 0, 1, w, 1);
      break;
    case bsBottomLine:
      line(a, 0, h - 2, w, h - 2);
      line(b, 0, h - 1, w, h - 1);
      break;
    case bsLeftLine:
      line(a, 0, 0, 0, h);
      line(b, 1, 0, 1, h);
      break;
    case bsRightLine:
      line(a, w - 2, 0, w - 2, h);
      line(b, w - 1, 0, w - 1, h);
      break;
    case bsSpacer: break;
  }
}

// ---------------------------------------------------------------------------------------------
// Pictures

TPicture::~TPicture() { delete FBitmap; }

TBitmap* TPicture::Bitmap() {
  if (!FBitmap) {
    FBitmap = new TBitmap;
    FBitmap->OnChange = [this](TObject*) {
      if (OnChange) OnChange(this);
    };
  }
  return FBitmap;
}

void TPicture::Assign(TPersistent* source) {
  if (!source) {
    delete FBitmap;
    FBitmap = nullptr;
    if (OnChange) OnChange(this);
    return;
  }
  if (auto* p = dynamic_cast<TPicture*>(source)) {
    if (p->FBitmap) Bitmap()->Assign(p->FBitmap);
    else Assign(nullptr);
    return;
  }
  if (auto* b = dynamic_cast<TBitmap*>(source)) {
    Bitmap()->Assign(b);
    return;
  }
  TPersistent::Assign(source);
}

TImage::TImage(TComponent* owner) : TGraphicControl(owner) {
  FPicture.OnChange = [this](TObject*) { PictureChanged(); };
  SetBounds(FLeft, FTop, 105, 105);
}

void TImage::PictureChanged() {
  if (FAutoSize && FPicture.Width() > 0 && FPicture.Height() > 0)
    SetBounds(FLeft, FTop, FPicture.Width(), FPicture.Height());
  Invalidate();
}

void TImage::SetAutoSize(bool v) {
  FAutoSize = v;
  PictureChanged();
}

void TImage::Paint() {
  TCanvas* c = TGraphicControl::Canvas();
  if (!FPicture.HasBitmap() || FPicture.Bitmap()->Empty()) return;
  TBitmap* b = FPicture.Bitmap();
  if (FStretch) {
    c->StretchDraw(ClientRect(), b);
  } else if (FCenter) {
    c->Draw((ClientWidth() - b->Width()) / 2, (ClientHeight() - b->Height()) / 2, b);
  } else {
    c->Draw(0, 0, b);
  }
}

// ---------------------------------------------------------------------------------------------
// Speed button

TSpeedButton::TSpeedButton(TComponent* owner) : TGraphicControl(owner) {
  FControlStyle = csCaptureMouse | csDoubleClicks;
  SetBounds(FLeft, FTop, 23, 22);
}

TSpeedButton::~TSpeedButton() = default;

void TSpeedButton::SetDown(bool v) {
  if (FGroupIndex == 0) v = false;
  if (v == FDown) return;
  if (FDown && !FAllowAllUp) {
    // The last button of a group stays down.
    bool other = false;
    if (FParent)
      for (int i = 0; i < FParent->ControlCount(); ++i)
        if (auto* s = dynamic_cast<TSpeedButton*>(FParent->Controls(i));
            s && s != this && s->FGroupIndex == FGroupIndex && s->FDown)
          other = true;
    if (!other) return;
  }
  FDown = v;
  if (v && FParent)
    for (int i = 0; i < FParent->ControlCount(); ++i)
      if (auto* s = dynamic_cast<TSpeedButton*>(FParent->Controls(i));
          s && s != this && s->FGroupIndex == FGroupIndex && s->FDown) {
        s->FDown = false;
        s->Invalidate();
      }
  Invalidate();
  (void)CodeChangeFires(ccSpeedDown);
}

void TSpeedButton::Click() {
  if (FGroupIndex != 0) {
    if (!FDown) SetDown(true);
    else if (FAllowAllUp) {
      FDown = false;
      Invalidate();
    }
  }
  TGraphicControl::Click();
}

void TSpeedButton::SetTabStop(bool v) {
  FTabStop = v;
  if (FWidget) FWidget->setFocusPolicy(v ? Qt::TabFocus : Qt::NoFocus);
  Invalidate();
}

bool TSpeedButton::HandleEvent(QWidget* w, QEvent* e) {
  if (FTabStop && w == FWidget) {
    switch (e->type()) {
      case QEvent::FocusIn:
      case QEvent::FocusOut: Invalidate(); break;
      case QEvent::KeyPress:
      case QEvent::KeyRelease: {
        auto* k = static_cast<QKeyEvent*>(e);
        const bool press = k->key() == Qt::Key_Space || k->key() == Qt::Key_Return || k->key() == Qt::Key_Enter;
        if (!press || (k->modifiers() & ~Qt::KeypadModifier)) break;
        // Enter presses this button, not the dialog's default one.
        if (e->type() == QEvent::KeyPress && !k->isAutoRepeat() && FEnabled) Click();
        return true;
      }
      default: break;
    }
  }
  return TGraphicControl::HandleEvent(w, e);
}

void TSpeedButton::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  TGraphicControl::MouseDown(button, shift, x, y);
  if (button == mbLeft && FEnabled) {
    FPushed = true;
    Invalidate();
  }
}

void TSpeedButton::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
  bool was = FPushed;
  FPushed = false;
  if (was) Invalidate();
  TGraphicControl::MouseUp(button, shift, x, y);
  if (was && button == mbLeft && x >= 0 && y >= 0 && x < FWidth && y < FHeight) Click();
}

void TSpeedButton::Paint() {
  TCanvas* c = Canvas();
  TRect r = ClientRect();
  bool in = FDown || FPushed;
  // A flat button with the keyboard stands raised, as under the mouse.
  const bool focused = FTabStop && FWidget && FWidget->hasFocus();
  c->Brush()->SetStyle(bsSolid);
  c->Brush()->SetColor(FDown && !FPushed ? clBtnHighlight : clBtnFace);
  c->FillRect(r);
  if (!FFlat || in || focused) {
    if (in) Frame3D(c, r, clBtnShadow, clBtnHighlight, 1);
    else Frame3D(c, r, clBtnHighlight, clBtnShadow, 1);
  }
  int off = in ? 1 : 0;
  // A glyph and a caption go side by side, a few pixels apart, the two centred together.
  constexpr int kSpacing = 4;
  int textLeft = -1;
  if (!FGlyph.Empty()) {
    int gw = FGlyph.Width() / FNumGlyphs;
    int gh = FGlyph.Height();
    int gx = (FWidth - gw) / 2 + off, gy = (FHeight - gh) / 2 + off;
    if (!FText.empty()) {
      c->SetFont(&FFont);
      const int tw = c->TextWidth(StripAmp(FText));
      gx = std::max(2, (FWidth - gw - kSpacing - tw) / 2) + off;
      textLeft = gx + gw + kSpacing;
    }
    // Glyph state: 0 up, 1 disabled, 2 clicked, 3 down.
    int state = !FEnabled ? 1 : FPushed ? 2 : FDown ? 3 : 0;
    if (state >= FNumGlyphs) state = 0;
    c->StretchDraw(Bounds(gx, gy, gw, gh), &FGlyph, Bounds(state * gw, 0, gw, gh));
  }
  if (!FText.empty()) {
    c->SetFont(&FFont);
    if (!FEnabled) c->Font()->SetColor(clGrayText);
    c->Brush()->SetStyle(bsClear);
    TRect tr = r;
    OffsetRect(tr, off, off);
    if (textLeft >= 0) tr.Left = textLeft;
    DrawAligned(c, tr, StripAmp(FText), textLeft >= 0 ? taLeftJustify : taCenter, tlCenter);
  }
  if (focused && FWidth > 6 && FHeight > 6) {
    // A dotted frame inside the edge, as on push buttons.
    c->Pen()->SetColor(clBtnText);
    c->Pen()->SetStyle(psDot);
    c->Brush()->SetStyle(bsClear);
    c->Rectangle(2, 2, FWidth - 2, FHeight - 2);
    c->Pen()->SetStyle(psSolid);
  }
}

namespace {
// The theme that scripts/setup installs; bare X and offscreen sessions name none of their own.
const char* const kIconTheme = "gnome";

void UseIconTheme() {
  static bool done = false;
  if (done) return;
  done = true;
  // Offscreen sessions look in the program's resources only: add the desktop's icon folders.
  QStringList paths = QIcon::themeSearchPaths();
  for (const QString& dir :
       QStandardPaths::locateAll(QStandardPaths::GenericDataLocation, "icons", QStandardPaths::LocateDirectory))
    if (!paths.contains(dir) && !paths.contains(dir + '/')) paths.append(dir);
  QIcon::setThemeSearchPaths(paths);
  const QString current = QIcon::themeName();
  if (current.isEmpty() || current == "hicolor") QIcon::setThemeName(kIconTheme);
  // A desktop theme without the icon takes it from there too.
  const QString fallback = QIcon::fallbackThemeName();
  if (fallback.isEmpty() || fallback == "hicolor") QIcon::setFallbackThemeName(kIconTheme);
}
}  // namespace

bool LoadThemeGlyph(const std::string& Name, int Size, TBitmap* Glyph) {
  if (!QGuiApplication::instance() || Size <= 0 || Size > 256) return false;
  UseIconTheme();
  const QIcon icon = QIcon::fromTheme(QString::fromStdString(Name));
  const QSize size(Size, Size);
  // A theme may name the icon in a form Qt can't draw here (a vector file without its plugin).
  if (icon.isNull() || icon.pixmap(size, 1.0).isNull()) return false;
  QImage strip(Size * 4, Size, QImage::Format_RGB32);
  QPainter p(&strip);
  const struct {
    TColor Face;
    QIcon::Mode Mode;
  } states[4] = {{clBtnFace, QIcon::Normal},
                 {clBtnFace, QIcon::Disabled},
                 {clBtnFace, QIcon::Normal},
                 {clBtnHighlight, QIcon::Normal}};
  for (int i = 0; i < 4; ++i) {
    p.fillRect(i * Size, 0, Size, Size, QtColor(states[i].Face));
    const QPixmap pm = icon.pixmap(size, 1.0, states[i].Mode);
    p.drawPixmap(i * Size + (Size - pm.width()) / 2, (Size - pm.height()) / 2, pm);
  }
  p.end();
  const QImage rows = strip.convertToFormat(QImage::Format_BGR888);
  Glyph->SetPixelFormat(pf24bit);
  Glyph->SetSize(rows.width(), rows.height());
  for (int y = 0; y < rows.height(); ++y)
    std::memcpy(Glyph->ScanLine(y), rows.constScanLine(y), size_t(rows.width()) * 3);
  return true;
}

// ---------------------------------------------------------------------------------------------
// Native widgets

TButton::TButton(TComponent* owner) : TWinControl(owner) {
  auto* b = new QPushButton();
  SetWidget(b);
  FTabStop = true;
  QObject::connect(b, &QPushButton::clicked, b, [this] { Dispatch(this, [this] { Click(); }); });
  SetBounds(FLeft, FTop, 75, 25);
}

QPushButton* TButton::Button() const { return static_cast<QPushButton*>(FWidget.data()); }
void TButton::ApplyText() { Button()->setText(Q(FText)); }
void TButton::SetDefault(bool v) {
  FDefault = v;
  Button()->setDefault(v);
}

void TButton::Click() {
  if (!FEnabled) return;
  if (FModalResult != mrNone)
    if (TForm* f = ParentForm()) f->SetModalResult(FModalResult);
  TWinControl::Click();
}

bool TButton::DialogKey(Word key, bool focused) {
  if (!FEnabled || !FVisible) return false;
  if ((key == VK_RETURN && (FDefault || focused)) || (key == VK_ESCAPE && FCancel)) {
    Click();
    return true;
  }
  return false;
}

TCheckBox::TCheckBox(TComponent* owner) : TWinControl(owner) {
  auto* b = new QCheckBox();
  SetWidget(b);
  FTabStop = true;
  QObject::connect(b, &QCheckBox::clicked, b, [this](bool on) {
    Dispatch(this, [&] {
      FChecked = on;
      Click();
    });
  });
  SetBounds(FLeft, FTop, 97, 17);
}

void TCheckBox::ApplyText() { static_cast<QCheckBox*>(FWidget.data())->setText(Q(FText)); }

void TCheckBox::SetAlignment(TAlignment a) {
  FAlignment = a;
  if (FWidget) FWidget->setLayoutDirection(a == taLeftJustify ? Qt::RightToLeft : Qt::LeftToRight);
}

void TCheckBox::SetChecked(bool v) {
  if (v == FChecked) return;
  FChecked = v;
  {
    QSignalBlocker block(FWidget);
    static_cast<QCheckBox*>(FWidget.data())->setChecked(v);
  }
  if (CodeChangeFires(ccCheckBox)) Click();
}

TRadioButton::TRadioButton(TComponent* owner) : TWinControl(owner) {
  auto* b = new QRadioButton();
  b->setAutoExclusive(false);
  SetWidget(b);
  QObject::connect(b, &QRadioButton::clicked, b, [this](bool) {
    Dispatch(this, [&] {
      if (!FChecked) SetChecked(true);
      else static_cast<QRadioButton*>(FWidget.data())->setChecked(true);
    });
  });
  SetBounds(FLeft, FTop, 113, 17);
}

void TRadioButton::ApplyText() { static_cast<QRadioButton*>(FWidget.data())->setText(Q(FText)); }

void TRadioButton::SetChecked(bool v) {
  if (v == FChecked) return;
  FChecked = v;
  {
    QSignalBlocker block(FWidget);
    static_cast<QRadioButton*>(FWidget.data())->setChecked(v);
  }
  if (v) {
    // The other radio buttons of the same parent go off.
    if (FParent)
      for (int i = 0; i < FParent->ControlCount(); ++i)
        if (auto* r = dynamic_cast<TRadioButton*>(FParent->Controls(i)); r && r != this && r->FChecked) {
          r->FChecked = false;
          QSignalBlocker block(r->FWidget);
          static_cast<QRadioButton*>(r->FWidget.data())->setChecked(false);
        }
    if (CodeChangeFires(ccRadioButton)) Click();
  }
}

TRadioGroup::TRadioGroup(TComponent* owner) : TCustomControl(owner) {
  FItems.OnChange = [this] { Rebuild(); };
  SetBounds(FLeft, FTop, 185, 105);
}

TRadioGroup::~TRadioGroup() { FItems.OnChange = nullptr; }

void TRadioGroup::Rebuild() {
  FRebuilding = true;
  for (TRadioButton* b : FButtons) b->Free();
  FButtons.clear();
  for (int i = 0; i < FItems.Count(); ++i) {
    auto* b = new TRadioButton(nullptr);
    b->SetText(FItems[i]);
    b->SetParent(this);
    // Tab comes to the items where it comes to the group, however late they were made.
    QWidget::setTabOrder(FButtons.empty() ? ClientWidget() : FButtons.back()->Widget(), b->Widget());
    b->OnClick = [this, i](TObject*) {
      if (!FRebuilding && FItemIndex != i) {
        FItemIndex = i;
        FixTabStops();
        Click();
      }
    };
    // The arrows go from item to item, choosing it; Tab leaves the group.
    b->OnKeyDown = [this, i](TObject*, Word& key, TShiftState shift) {
      if (shift != 0) return;
      if (key == VK_DOWN || key == VK_RIGHT) Step(i, 1);
      else if (key == VK_UP || key == VK_LEFT) Step(i, -1);
      else return;
      key = 0;
    };
    FButtons.push_back(b);
  }
  if (FItemIndex >= FItems.Count()) FItemIndex = -1;
  if (FItemIndex >= 0) FButtons[size_t(FItemIndex)]->SetChecked(true);
  FixTabStops();
  Arrange();
  ShowItem(FItemIndex);
  FRebuilding = false;
}

void TRadioGroup::Arrange() {
  if (FArranging) return;
  FArranging = true;
  struct Done {
    bool& f;
    ~Done() { f = false; }
  } done{FArranging};
  const int n = int(FButtons.size());
  // The items start under the caption; each is as tall as its font needs.
  TBitmap measure;
  measure.Canvas()->SetFont(&FFont);
  const int top = measure.Canvas()->TextHeight("0") + 1;
  int itemH = 17, widest = 0;
  for (TRadioButton* b : FButtons) {
    const QSize hint = b->Widget()->sizeHint();
    itemH = std::max(itemH, hint.height());
    widest = std::max(widest, hint.width());
  }
  const int avail = std::max(0, ClientHeight() - top - 4);
  // As many of the asked columns as leave every name whole; one at the least.
  auto layout = [&](int w, int& cols, int& rows) {
    cols = std::clamp(FColumns, 1, std::max(1, n));
    while (cols > 1 && widest > w / cols - 4) --cols;
    rows = n ? (n + cols - 1) / cols : 0;
  };
  int w = std::max(0, ClientWidth() - 16), cols = 1, rows = 0;
  layout(w, cols, rows);
  const bool scroll = rows * itemH > avail;
  const int sbw = scroll ? ScrollBar()->sizeHint().width() : 0;
  if (scroll) {
    w = std::max(0, w - sbw - 2);
    layout(w, cols, rows);
  }
  FRows = rows;
  FRowsShown = scroll ? std::max(1, avail / itemH) : rows;
  FTopRow = std::clamp(FTopRow, 0, std::max(0, rows - FRowsShown));
  const int cw = w / cols, rh = scroll ? itemH : (rows ? avail / rows : 0);
  for (int i = 0; i < n; ++i) {
    const int c = i / rows, r = i % rows - FTopRow;
    TRadioButton* b = FButtons[size_t(i)];
    if (r < 0 || r >= FRowsShown) {
      b->SetVisible(false);
      continue;
    }
    b->SetBounds(8 + c * cw, top + r * rh + std::max(0, (rh - itemH) / 2), std::max(0, cw - 4), itemH);
    b->SetVisible(true);
  }
  if (FScrollBar) {
    QSignalBlocker block(FScrollBar);
    FScrollBar->setVisible(scroll);
    if (scroll) {
      FScrollBar->setRange(0, rows - FRowsShown);
      FScrollBar->setPageStep(FRowsShown);
      FScrollBar->setValue(FTopRow);
      FScrollBar->setGeometry(ClientWidth() - 6 - sbw, top, sbw, std::min(avail, FRowsShown * itemH));
    }
  }
}

QScrollBar* TRadioGroup::ScrollBar() {
  if (!FScrollBar) {
    FScrollBar = new QScrollBar(Qt::Vertical, ClientWidget());
    FScrollBar->setFocusPolicy(Qt::NoFocus);
    FScrollBar->hide();
    QObject::connect(FScrollBar, &QScrollBar::valueChanged, FScrollBar,
                     [this](int v) { Dispatch(this, [&] { ScrollTo(v); }); });
  }
  return FScrollBar;
}

void TRadioGroup::ScrollTo(int Row) {
  if (Row == FTopRow) return;
  FTopRow = Row;
  Arrange();
}

// One stop for Tab in the group: the chosen item, or the first while none is.
void TRadioGroup::FixTabStops() {
  const size_t stop = FItemIndex >= 0 ? size_t(FItemIndex) : 0;
  for (size_t k = 0; k < FButtons.size(); ++k)
    if (QWidget* w = FButtons[k]->Widget()) w->setFocusPolicy(k == stop ? Qt::StrongFocus : Qt::ClickFocus);
}

void TRadioGroup::Step(int From, int Delta) {
  const int n = int(FButtons.size());
  if (n == 0) return;
  const int to = ((From + Delta) % n + n) % n;
  if (to != FItemIndex) {
    FItemIndex = to;
    FRebuilding = true;
    for (int k = 0; k < n; ++k) FButtons[size_t(k)]->SetChecked(k == to);
    FRebuilding = false;
    FixTabStops();
    ShowItem(to);
    Click();
  }
  FButtons[size_t(to)]->SetFocus();
}

void TRadioGroup::ShowItem(int Index) {
  if (Index < 0 || FRows <= 0 || FRowsShown >= FRows) return;
  const int r = Index % FRows;
  if (r < FTopRow) ScrollTo(r);
  else if (r >= FTopRow + FRowsShown) ScrollTo(r - FRowsShown + 1);
}

bool TRadioGroup::HandleEvent(QWidget* w, QEvent* e) {
  // The wheel anywhere over the items scrolls them.
  if (e->type() == QEvent::Wheel && FScrollBar && FScrollBar->isVisible()) {
    QCoreApplication::sendEvent(FScrollBar, e);
    return true;
  }
  return TCustomControl::HandleEvent(w, e);
}

void TRadioGroup::AlignControls() {
  TCustomControl::AlignControls();
  if (FAlignLevel == 0) Arrange();
}

void TRadioGroup::ClientResized() {
  TCustomControl::ClientResized();
  Arrange();
}

void TRadioGroup::SetColumns(int c) {
  FColumns = std::clamp(c, 1, 16);
  Arrange();
}

void TRadioGroup::SetItemIndex(int i) {
  if (i < -1 || i >= FItems.Count()) i = -1;
  if (i == FItemIndex) return;
  FItemIndex = i;
  FRebuilding = true;
  for (size_t k = 0; k < FButtons.size(); ++k) FButtons[k]->SetChecked(int(k) == i);
  FRebuilding = false;
  FixTabStops();
  ShowItem(i);
  if (CodeChangeFires(ccRadioGroup)) Click();
}

void TRadioGroup::Paint() {
  TCanvas* c = Canvas();
  c->Brush()->SetStyle(bsSolid);
  c->Brush()->SetColor(FColor);
  c->FillRect(ClientRect());
  c->SetFont(&FFont);
  int h = c->TextHeight("0");
  TRect r = Rect(0, h / 2 - 1, ClientWidth(), ClientHeight());
  Frame3D(c, r, clBtnShadow, clBtnHighlight, 1);
  Frame3D(c, r, clBtnHighlight, clBtnShadow, 1);
  if (!FText.empty()) c->TextOut(8, 0, StripAmp(FText));
}

TEdit::TEdit(TComponent* owner) : TWinControl(owner) {
  auto* e = new QLineEdit();
  SetWidget(e);
  FTabStop = true;
  FColor = clWindow;
  QObject::connect(e, &QLineEdit::textChanged, e, [this](const QString&) { Dispatch(this, [this] { Change(); }); });
  SetBounds(FLeft, FTop, 121, 21);
}

QLineEdit* TEdit::LineEdit() const { return static_cast<QLineEdit*>(FWidget.data()); }

const std::string& TEdit::Text() const {
  FCache = S(LineEdit()->text());
  return FCache;
}

void TEdit::SetText(const std::string& s) {
  if (s == Text()) return;
  if (CodeChangeFires(ccEditText)) {
    LineEdit()->setText(Q(s));  // textChanged runs Change
  } else {
    QSignalBlocker block(FWidget);
    LineEdit()->setText(Q(s));
  }
}

void TEdit::SetReadOnly(bool v) {
  FReadOnly = v;
  LineEdit()->setReadOnly(v);
}

void TEdit::SetMaxLength(int n) {
  FMaxLength = n;
  LineEdit()->setMaxLength(n > 0 ? n : 32767);
}

void TEdit::SelectAll() { LineEdit()->selectAll(); }

void TEdit::SetBorderStyle(TBorderStyle v) {
  FBorderStyle = v;
  LineEdit()->setFrame(v != bsNone);
}

namespace {
// The colours of an enabled edit or list; a disabled one keeps the style's.
void SetEditColor(QWidget* e, QPalette::ColorRole role, TColor c) {
  QPalette p = e->palette();
  for (QPalette::ColorGroup g : {QPalette::Active, QPalette::Inactive}) p.setColor(g, role, QtColor(c));
  e->setPalette(p);
}
}  // namespace

void TEdit::ApplyColor() {
  if (FWidget) SetEditColor(LineEdit(), QPalette::Base, FColor);
}

void TEdit::ApplyFont() {
  TWinControl::ApplyFont();
  if (FWidget) SetEditColor(LineEdit(), QPalette::Text, FFont.Color());
}

void TRadioButton::ApplyFont() {
  TWinControl::ApplyFont();
  if (FWidget) SetEditColor(FWidget, QPalette::WindowText, FFont.Color());
}

void TRadioGroup::ApplyFont() {
  TCustomControl::ApplyFont();
  for (TRadioButton* b : FButtons)
    if (b->ParentFont()) {
      b->Font()->Assign(&FFont);
      b->SetParentFont(true);
    }
  Arrange();
}

void TEdit::Change() {
  if (OnChange) OnChange(this);
}

TMemo::TMemo(TComponent* owner) : TWinControl(owner) {
  auto* e = new QPlainTextEdit();
  SetWidget(e);
  FTabStop = true;
  FColor = clWindow;
  FLines.OnChange = [this] { LinesChanged(); };
  QObject::connect(e, &QPlainTextEdit::textChanged, e, [this] {
    if (FSyncing) return;
    Dispatch(this, [this] {
      // The user's typing: the lines follow, then the event.
      FSyncing = true;
      auto keep = FLines.OnChange;
      FLines.OnChange = nullptr;
      FLines.SetText(S(Editor()->toPlainText()));
      FLines.OnChange = keep;
      FSyncing = false;
      Change();
    });
  });
  SetBounds(FLeft, FTop, 185, 89);
}

TMemo::~TMemo() { FLines.OnChange = nullptr; }

QPlainTextEdit* TMemo::Editor() const { return static_cast<QPlainTextEdit*>(FWidget.data()); }

void TMemo::LinesChanged() {
  if (FSyncing) return;
  std::string t;
  for (int i = 0; i < FLines.Count(); ++i) t += (i ? "\n" : "") + FLines[i];
  FSyncing = true;
  Editor()->setPlainText(Q(t));
  FSyncing = false;
  Change();
}

const std::string& TMemo::Text() const {
  FCache = FLines.Text();
  return FCache;
}

void TMemo::SetText(const std::string& s) {
  if (s == Text()) return;
  FLines.SetText(s);  // LinesChanged shows it and fires OnChange
}

void TMemo::SetReadOnly(bool v) {
  FReadOnly = v;
  Editor()->setReadOnly(v);
}

void TMemo::SetWordWrap(bool v) {
  FWordWrap = v;
  Editor()->setLineWrapMode(v ? QPlainTextEdit::WidgetWidth : QPlainTextEdit::NoWrap);
}

void TMemo::Change() {
  if (OnChange) OnChange(this);
}

TUpDown::TUpDown(TComponent* owner) : TCustomControl(owner) {
  FControlStyle &= ~csClickEvents;
  SetBounds(FLeft, FTop, 15, 21);
}

void TUpDown::Notification(TComponent* c, TOperation op) {
  TCustomControl::Notification(c, op);
  if (op == opRemove && c == FAssociate) FAssociate = nullptr;
}

void TUpDown::SetAssociate(TWinControl* c) {
  if (FAssociate) FAssociate->RemoveFreeNotification(this);
  FAssociate = c;
  if (c) {
    c->FreeNotification(this);
    // Sits at the right of its edit, as tall as it.
    SetBounds(c->Left() + c->Width(), c->Top(), FWidth, c->Height());
    if (auto* e = dynamic_cast<TEdit*>(c)) e->SetText(std::to_string(FPosition));
  }
}

void TUpDown::SetPosition(int v) {
  v = std::clamp(v, std::min(FMin, FMax), std::max(FMin, FMax));
  bool changed = v != FPosition;
  FPosition = v;
  if (auto* e = dynamic_cast<TEdit*>(FAssociate)) {
    if (e->Text() != std::to_string(v)) e->SetText(std::to_string(v));
  }
  if (changed) Invalidate();
  (void)CodeChangeFires(ccUpDown);
}

void TUpDown::ButtonClick(TUDBtnType b) {
  // The associated edit's text is the starting point, as the user may have typed.
  if (auto* e = dynamic_cast<TEdit*>(FAssociate)) {
    try {
      size_t used = 0;
      int v = std::stoi(e->Text(), &used);
      if (used == e->Text().size()) FPosition = std::clamp(v, std::min(FMin, FMax), std::max(FMin, FMax));
    } catch (...) {}
  }
  int v = FPosition + (b == btNext ? FIncrement : -FIncrement);
  if (v > FMax) v = FWrap ? FMin : FMax;
  if (v < FMin) v = FWrap ? FMax : FMin;
  bool allow = true;
  if (OnChanging) OnChanging(this, allow);
  if (!allow) return;
  SetPosition(v);
  if (OnClick) OnClick(this, b);
}

void TUpDown::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  TCustomControl::MouseDown(button, shift, x, y);
  if (button == mbLeft && FEnabled) ButtonClick(y < ClientHeight() / 2 ? btNext : btPrev);
}

void TUpDown::Paint() {
  TCanvas* c = Canvas();
  int w = ClientWidth(), h = ClientHeight(), half = h / 2;
  c->Brush()->SetStyle(bsSolid);
  c->Brush()->SetColor(clBtnFace);
  c->FillRect(ClientRect());
  TRect a = Rect(0, 0, w, half), b = Rect(0, half, w, h);
  Frame3D(c, a, clBtnHighlight, clBtnShadow, 1);
  Frame3D(c, b, clBtnHighlight, clBtnShadow, 1);
  c->Brush()->SetColor(FEnabled ? clBtnText : clGrayText);
  c->Pen()->SetColor(FEnabled ? clBtnText : clGrayText);
  int cx = w / 2;
  TPoint up[3] = {{cx - 3, half / 2 + 2}, {cx + 3, half / 2 + 2}, {cx, half / 2 - 1}};
  TPoint dn[3] = {{cx - 3, half + half / 2 - 1}, {cx + 3, half + half / 2 - 1}, {cx, half + half / 2 + 2}};
  c->Polygon(up, 3);
  c->Polygon(dn, 3);
}

TComboBox::TComboBox(TComponent* owner) : TWinControl(owner) {
  auto* b = new QComboBox();
  b->setEditable(true);
  b->setInsertPolicy(QComboBox::NoInsert);
  SetWidget(b);
  FTabStop = true;
  FColor = clWindow;
  FItems.OnChange = [this] { Rebuild(); };
  QObject::connect(b, &QComboBox::activated, b, [this](int) {
    Dispatch(this, [this] {
      Click();
      Change();
    });
  });
  QObject::connect(b, &QComboBox::editTextChanged, b, [this, b](const QString&) {
    // Typing; choosing an item is reported by activated.
    if (b->lineEdit() && b->lineEdit()->hasFocus()) Dispatch(this, [this] { Change(); });
  });
  SetBounds(FLeft, FTop, 145, 21);
}

QComboBox* TComboBox::Combo() const { return static_cast<QComboBox*>(FWidget.data()); }

void TComboBox::Rebuild() {
  QSignalBlocker block(FWidget);
  std::string text = Text();
  Combo()->clear();
  for (auto& s : FItems.Items()) Combo()->addItem(Q(s));
  if (FStyle == csDropDownList) Combo()->setCurrentIndex(FItems.IndexOf(text));
  else {
    Combo()->setCurrentIndex(-1);
    Combo()->setEditText(Q(text));
  }
}

void TComboBox::SetStyle(TComboBoxStyle s) {
  FStyle = s;
  QSignalBlocker block(FWidget);
  Combo()->setEditable(s != csDropDownList);
  if (s != csDropDownList) Combo()->setInsertPolicy(QComboBox::NoInsert);
  if (!FAutoComplete) Combo()->setCompleter(nullptr);
}

void TComboBox::SetAutoComplete(bool v) {
  FAutoComplete = v;
  QComboBox* b = Combo();
  if (!b->isEditable()) return;
  if (!v) {
    b->setCompleter(nullptr);
  } else if (!b->completer()) {
    auto* c = new QCompleter(b->model(), b);
    c->setCaseSensitivity(Qt::CaseInsensitive);
    c->setCompletionMode(QCompleter::InlineCompletion);
    b->setCompleter(c);
  }
}

int TComboBox::ItemIndex() const {
  int i = Combo()->currentIndex();
  if (i >= 0 && FStyle != csDropDownList && Combo()->currentText() != Combo()->itemText(i)) return -1;
  return i;
}

void TComboBox::SetItemIndex(int i) {
  QSignalBlocker block(FWidget);
  if (i < 0 || i >= FItems.Count()) {
    Combo()->setCurrentIndex(-1);
    if (Combo()->isEditable()) Combo()->setEditText(QString());
  } else {
    Combo()->setCurrentIndex(i);
  }
  (void)CodeChangeFires(ccComboIndex);
}

const std::string& TComboBox::Text() const {
  FCache = S(Combo()->currentText());
  return FCache;
}

void TComboBox::SetText(const std::string& s) {
  QSignalBlocker block(FWidget);
  int i = FItems.IndexOf(s);
  if (FStyle == csDropDownList) {
    if (i >= 0) Combo()->setCurrentIndex(i);
  } else {
    if (i >= 0 && FItems[i] == s) Combo()->setCurrentIndex(i);
    else Combo()->setCurrentIndex(-1);
    Combo()->setEditText(Q(s));
  }
  (void)CodeChangeFires(ccComboText);
}

void TComboBox::Change() {
  if (OnChange) OnChange(this);
}

TListBox::TListBox(TComponent* owner) : TWinControl(owner) {
  auto* l = new QListWidget();
  SetWidget(l);
  FTabStop = true;
  FColor = clWindow;
  FItems.OnChange = [this] { Rebuild(); };
  QObject::connect(l, &QListWidget::currentRowChanged, l, [this](int) { Dispatch(this, [this] { Click(); }); });
  QObject::connect(l, &QListWidget::itemDoubleClicked, l,
                   [this](QListWidgetItem*) { Dispatch(this, [this] { DblClick(); }); });
  SetBounds(FLeft, FTop, 121, 97);
}

QListWidget* TListBox::List() const { return static_cast<QListWidget*>(FWidget.data()); }

void TListBox::ApplyColor() {
  if (FWidget) SetEditColor(List(), QPalette::Base, FColor);
}

void TListBox::Rebuild() {
  QSignalBlocker block(FWidget);
  int i = List()->currentRow();
  List()->clear();
  std::vector<std::string> v = FItems.Items();
  if (FSorted) {
    std::sort(v.begin(), v.end());
    if (v != FItems.Items()) {
      auto keep = FItems.OnChange;
      FItems.OnChange = nullptr;
      FItems.Assign(v);
      FItems.OnChange = keep;
    }
  }
  for (auto& s : v) List()->addItem(Q(s));
  List()->setCurrentRow(i < int(v.size()) ? i : -1);
}

int TListBox::ItemIndex() const { return List()->currentRow(); }

void TListBox::SetItemIndex(int i) {
  QSignalBlocker block(FWidget);
  List()->setCurrentRow(i >= 0 && i < FItems.Count() ? i : -1);
  (void)CodeChangeFires(ccListIndex);
}

void TListBox::SetSorted(bool v) {
  FSorted = v;
  Rebuild();
}

TTrackBar::TTrackBar(TComponent* owner) : TWinControl(owner) {
  auto* s = new QSlider(Qt::Horizontal);
  SetWidget(s);
  FTabStop = true;
  QObject::connect(s, &QSlider::valueChanged, s, [this](int v) {
    Dispatch(this, [&] {
      FPosition = v;
      Changed();
    });
  });
  Apply();
  SetBounds(FLeft, FTop, 150, 45);
}

QSlider* TTrackBar::Slider() const { return static_cast<QSlider*>(FWidget.data()); }

void TTrackBar::Apply() {
  QSignalBlocker block(FWidget);
  QSlider* s = Slider();
  s->setOrientation(FOrientation == trHorizontal ? Qt::Horizontal : Qt::Vertical);
  // A vertical track bar has its minimum at the top; the arrow keys move the thumb their way.
  s->setInvertedAppearance(FOrientation == trVertical);
  s->setInvertedControls(FOrientation == trVertical);
  s->setRange(FMin, std::max(FMin, FMax));
  s->setTickInterval(FFrequency);
  s->setPageStep(FPageSize);
  s->setSingleStep(FLineSize);
  s->setTickPosition(FTickMarks == tmBoth      ? QSlider::TicksBothSides
                     : FTickMarks == tmTopLeft ? QSlider::TicksAbove
                                               : QSlider::TicksBelow);
  s->setValue(FPosition);
}

void TTrackBar::SetMin(int v) {
  FMin = v;
  if (FMax < FMin) FMax = FMin;
  FPosition = std::clamp(FPosition, FMin, FMax);
  Apply();
}
void TTrackBar::SetMax(int v) {
  FMax = v;
  if (FMin > FMax) FMin = FMax;
  FPosition = std::clamp(FPosition, FMin, FMax);
  Apply();
}
void TTrackBar::SetPosition(int v) {
  v = std::clamp(v, FMin, std::max(FMin, FMax));
  if (v == FPosition) return;
  FPosition = v;
  Apply();
  if (CodeChangeFires(ccTrackBar)) Changed();
}
void TTrackBar::SetFrequency(int f) {
  FFrequency = f;
  Apply();
}
void TTrackBar::SetOrientation(TTrackBarOrientation o) {
  FOrientation = o;
  Apply();
}
void TTrackBar::SetTickMarks(TTickMark t) {
  FTickMarks = t;
  Apply();
}
void TTrackBar::SetPageSize(int p) {
  FPageSize = p;
  Apply();
}
void TTrackBar::SetLineSize(int l) {
  FLineSize = l;
  Apply();
}
void TTrackBar::Changed() {
  if (OnChange) OnChange(this);
}

TProgressBar::TProgressBar(TComponent* owner) : TWinControl(owner) {
  auto* b = new QProgressBar();
  b->setTextVisible(false);
  SetWidget(b);
  b->setRange(FMin, FMax);
  b->setValue(FPosition);
  SetBounds(FLeft, FTop, 150, 16);
}

QProgressBar* TProgressBar::Bar() const { return static_cast<QProgressBar*>(FWidget.data()); }
void TProgressBar::SetMin(int v) {
  FMin = v;
  Bar()->setRange(FMin, std::max(FMin, FMax));
  SetPosition(FPosition);
}
void TProgressBar::SetMax(int v) {
  FMax = v;
  Bar()->setRange(FMin, std::max(FMin, FMax));
  SetPosition(FPosition);
}
void TProgressBar::SetPosition(int v) {
  FPosition = std::clamp(v, FMin, std::max(FMin, FMax));
  Bar()->setValue(FPosition);
}

TStatusBar::TStatusBar(TComponent* owner) : TCustomControl(owner) {
  FAlign = alBottom;
  SetBounds(FLeft, FTop, 200, 19);
}

void TStatusBar::SetSimpleText(const std::string& s) {
  if (s == FSimpleText) return;
  FSimpleText = s;
  Invalidate();
}

TStatusPanel* TStatusBar::AddPanel() {
  FPanels.emplace_back();
  Invalidate();
  return &FPanels.back();
}

void TStatusBar::SetPanelText(int i, const std::string& s) {
  FPanels.at(size_t(i)).Text = s;
  Invalidate();
}

void TStatusBar::Paint() {
  TCanvas* c = Canvas();
  c->Brush()->SetStyle(bsSolid);
  c->Brush()->SetColor(FColor);
  c->FillRect(ClientRect());
  c->SetFont(&FFont);
  c->Brush()->SetStyle(bsClear);
  if (FSimplePanel || FPanels.empty()) {
    TRect r = Rect(2, 2, ClientWidth() - 2, ClientHeight());
    DrawAligned(c, r, FSimpleText, taLeftJustify, tlCenter);
    return;
  }
  int x = 0;
  for (size_t i = 0; i < FPanels.size(); ++i) {
    int w = i + 1 == FPanels.size() ? ClientWidth() - x : FPanels[i].Width;
    TRect r = Rect(x, 2, x + w - 2, ClientHeight());
    Frame3D(c, r, clBtnShadow, clBtnHighlight, 1);
    InflateRect(r, -1, 0);
    DrawAligned(c, r, FPanels[i].Text, FPanels[i].Alignment, tlCenter);
    x += w;
  }
}

// ---------------------------------------------------------------------------------------------
// Pages

TTabSheet::TTabSheet(TComponent* owner) : TCustomControl(owner) { FVisible = false; }

TTabSheet::~TTabSheet() {
  if (FPageControl) FPageControl->RemovePage(this);
}

void TTabSheet::SetPageControl(TPageControl* p) {
  if (p == FPageControl) return;
  if (FPageControl) FPageControl->RemovePage(this);
  if (p) p->AddPage(this);
}

int TTabSheet::PageIndex() const {
  if (!FPageControl) return -1;
  auto& v = FPageControl->FPages;
  return int(std::find(v.begin(), v.end(), this) - v.begin());
}

void TTabSheet::SetTabVisible(bool v) {
  FTabVisible = v;
  if (FPageControl) FPageControl->RebuildTabs();
}

void TTabSheet::SetText(const std::string& s) {
  TCustomControl::SetText(s);
  if (FPageControl) FPageControl->RebuildTabs();
}

TPageControl::TPageControl(TComponent* owner) : TWinControl(owner) {
  CreateFramed(new TQtWidget(this, nullptr, false));
  FTabBar = new QTabBar(ClientWidget());
  FTabBar->setDrawBase(true);
  QObject::connect(FTabBar, &QTabBar::currentChanged, FTabBar, [this](int tab) {
    if (FRebuilding) return;
    Dispatch(this, [&] { SelectTab(tab); });
  });
  SetBounds(FLeft, FTop, 289, 193);
}

TPageControl::~TPageControl() {
  for (TTabSheet* p : FPages) p->FPageControl = nullptr;
}

void TPageControl::AddPage(TTabSheet* p) {
  FPages.push_back(p);
  p->FPageControl = this;
  p->SetParent(this);
  RebuildTabs();
  if (!FActive) SetActivePage(p);
  LayoutPages();
}

void TPageControl::RemovePage(TTabSheet* p) {
  auto it = std::find(FPages.begin(), FPages.end(), p);
  if (it == FPages.end()) return;
  FPages.erase(it);
  p->FPageControl = nullptr;
  if (FActive == p) {
    FActive = nullptr;
    if (!FPages.empty()) SetActivePage(FPages.front());
  }
  RebuildTabs();
}

void TPageControl::RebuildTabs() {
  if (!FTabBar) return;
  FRebuilding = true;
  while (FTabBar->count() > 0) FTabBar->removeTab(0);
  for (TTabSheet* p : FPages)
    if (p->FTabVisible) FTabBar->addTab(Q(StripAmp(p->Caption())));
  int tab = 0, k = 0;
  for (TTabSheet* p : FPages) {
    if (!p->FTabVisible) continue;
    if (p == FActive) tab = k;
    ++k;
  }
  if (FTabBar->count() > 0) FTabBar->setCurrentIndex(tab);
  FRebuilding = false;
  LayoutPages();
}

void TPageControl::LayoutPages() {
  if (!FTabBar) return;
  int th = FTabBar->count() > 0 ? FTabBar->sizeHint().height() : 0;
  FTabBar->setGeometry(0, 0, ClientWidth(), th);
  for (TTabSheet* p : FPages) {
    p->SetBounds(4, th + 4, std::max(0, ClientWidth() - 8), std::max(0, ClientHeight() - th - 8));
    p->SetVisible(p == FActive);
  }
}

void TPageControl::ClientResized() { LayoutPages(); }

int TPageControl::ActivePageIndex() const { return FActive ? FActive->PageIndex() : -1; }

void TPageControl::SetActivePage(TTabSheet* p) {
  if (p && p->FPageControl != this) return;
  FActive = p;
  RebuildTabs();
  (void)CodeChangeFires(ccPage);
}

void TPageControl::SetActivePageIndex(int i) { SetActivePage(i >= 0 && i < PageCount() ? FPages[size_t(i)] : nullptr); }

void TPageControl::SelectTab(int tab) {
  int k = 0;
  TTabSheet* target = nullptr;
  for (TTabSheet* p : FPages) {
    if (!p->FTabVisible) continue;
    if (k == tab) target = p;
    ++k;
  }
  if (!target || target == FActive) return;
  bool allow = true;
  if (OnChanging) OnChanging(this, allow);
  if (!allow) {
    RebuildTabs();
    return;
  }
  FActive = target;
  RebuildTabs();
  if (OnChange) OnChange(this);
}

// ---------------------------------------------------------------------------------------------
// Scroll box

TScrollBox::TScrollBox(TComponent* owner) : TWinControl(owner) {
  auto* area = new QScrollArea();
  FInner = new TQtWidget(this, nullptr, true);
  area->setWidget(FInner);
  area->setWidgetResizable(false);
  area->setFrameShape(QFrame::StyledPanel);
  SetWidget(area);
  FControlStyle |= csAcceptsControls;
  SetBounds(FLeft, FTop, 185, 41);
}

QScrollArea* TScrollBox::ScrollArea() const { return static_cast<QScrollArea*>(FWidget.data()); }

void TScrollBox::SetBorderStyle(TBorderStyle s) {
  FBorderStyle = s;
  ScrollArea()->setFrameShape(s == bsNone ? QFrame::NoFrame : QFrame::StyledPanel);
}

int TScrollBox::ClientWidth() const {
  int f = FBorderStyle == bsNone ? 0 : 2;
  return std::max(0, FWidth - 2 * f);
}
int TScrollBox::ClientHeight() const {
  int f = FBorderStyle == bsNone ? 0 : 2;
  return std::max(0, FHeight - 2 * f);
}

void TScrollBox::AlignControls() {
  TWinControl::AlignControls();
  int w = ClientWidth(), h = ClientHeight();
  for (TControl* c : FControls) {
    if (!c->Visible()) continue;
    w = std::max(w, c->Left() + c->Width());
    h = std::max(h, c->Top() + c->Height());
  }
  if (FInner) FInner->resize(w, h);
}
