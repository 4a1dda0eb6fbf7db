#include "vistrel/view/vlutils.h"

#include <QLocale>
#include <QWidget>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace {
// A line within this many pixels of a diagonal's slope snaps to the diagonal, else to the
// nearer axis.
constexpr int kSnapSlack = 30;
// The measuring hint: pale yellow, the text one pixel in, the window four pixels over it.
constexpr TColor kHintColor = TColor(0xE0FFFF);
constexpr int kHintTextInset = 1;
constexpr int kHintPadding = 4;
// The palette dialog: 32 swatches of 16 pixels to a row, the Cancel button under them.
constexpr int kDialogWidth = 539, kDialogHeight = 199;
constexpr int kCancelLeft = 8, kCancelTop = 144;
constexpr int kSwatch = 16;
constexpr int kSwatchesPerRow = 32;
}  // namespace

// ---------------------------------------------------------------------------------------------
// Bits

void VLReverseBits32(uint32_t& Value) {
  uint32_t v = Value, r = 0;
  for (int i = 0; i < 32; ++i) {
    r = (r << 1) | (v & 1);
    v >>= 1;
  }
  Value = r;
}

namespace {
struct TReversedBytes {
  uint8_t t[256];
  TReversedBytes() {
    for (int i = 0; i < 256; ++i) {
      uint8_t r = 0;
      for (int b = 0; b < 8; ++b)
        if (i & (1 << b)) r |= uint8_t(0x80 >> b);
      t[i] = r;
    }
  }
};
const TReversedBytes kReversed;
}  // namespace

void VLReverseBits8(uint8_t& Value) { Value = kReversed.t[Value]; }

int VLFloor(long double X) {
  int r = TruncInt(X);
  if (Frac(X) < 0) --r;
  return r;
}

// ---------------------------------------------------------------------------------------------
// Geometry

bool VLPointInRect(int X, int Y, int X1, int Y1, int X2, int Y2) { return X >= X1 && X <= X2 && Y >= Y1 && Y <= Y2; }

int VLRectsOverlap(int AX1, int AY1, int AX2, int AY2, int BX1, int BY1, int BX2, int BY2) {
  if (std::max(AX1, AX2) < BX1 || BX2 < std::min(AX1, AX2) || std::max(AY1, AY2) < BY1 || BY2 < std::min(AY1, AY2))
    return 0;
  return 1;
}

int VLRectVisibility(int AX1, int AY1, int AX2, int AY2, int BX1, int BY1, int BX2, int BY2) {
  int nx = (BX1 >= AX1 && BX1 <= AX2) + (BX2 >= AX1 && BX2 <= AX2);
  int ny = (BY1 >= AY1 && BY1 <= AY2) + (BY2 >= AY1 && BY2 <= AY2);
  if ((nx == 1 && ny >= 1) || (nx >= 1 && ny == 1)) return 1;
  if (nx == 2 && ny == 2) return 2;
  return 0;
}

double VLPointLineDistance(int PX, int PY, int X1, int Y1, int X2, int Y2) {
  // The numerator is a 32-bit integer sum, as the library computes it.
  int64_t n = int64_t(PX) * (int64_t(Y1) - Y2) + (int64_t(X2) - X1) * int64_t(PY) + int64_t(X1) * Y2 - int64_t(X2) * Y1;
  int32_t n32 = static_cast<int32_t>(static_cast<uint32_t>(n));
  double dy = double(Y1) - Y2, dx = double(X2) - X1;
  double d = std::sqrt(dy * dy + dx * dx);
  // Both points the same: no line; the distance to the point.
  if (d == 0) return std::hypot(double(PX) - X1, double(PY) - Y1);
  return std::fabs(double(n32)) / d;
}

double VLPointSegmentDistance(int PX, int PY, int X1, int Y1, int X2, int Y2) {
  if (X1 == X2 && Y1 == Y2) return std::hypot(double(PX) - X1, double(PY) - Y1);
  double len2 = (double(X2) - X1) * (double(X2) - X1) + (double(Y2) - Y1) * (double(Y2) - Y1);
  double t = ((double(PY) - Y1) * (double(Y2) - Y1) + (double(PX) - X1) * (double(X2) - X1)) / len2;
  if (t > 1) return std::hypot(double(PX) - X2, double(PY) - Y2);
  if (t >= 0) return VLPointLineDistance(PX, PY, X1, Y1, X2, Y2);
  return std::hypot(double(PX) - X1, double(PY) - Y1);
}

std::string VLFloatToStrF(long double Value, int Precision, int Digits) {
  if (std::isnan(Value)) return "NAN";
  if (std::isinf(Value)) return Value < 0 ? "-INF" : "INF";
  Precision = std::clamp(Precision, 1, 18);
  Digits = std::clamp(Digits, 0, 18);
  char buf[96];
  std::snprintf(buf, sizeof buf, "%.*Le", Precision - 1, Value);
  const char* e = std::strchr(buf, 'e');
  const int exp10 = e ? std::atoi(e + 1) : 0;
  std::string s;
  if (Value != 0 && exp10 + 1 > Precision) {
    // Too many integer digits for the precision: d.ddd followed by the exponent.
    s.assign(buf, e ? size_t(e - buf) : std::strlen(buf));
    char ex[16];
    std::snprintf(ex, sizeof ex, "E%+03d", exp10);
    s += ex;
  } else {
    // Decimals past the significant digits show as zeros.
    const int shown = std::max(0, std::min(Digits, Precision - exp10 - 1));
    std::snprintf(buf, sizeof buf, "%.*Lf", shown, Value);
    s = buf;
    if (Digits > shown) {
      if (shown == 0) s += '.';
      s.append(size_t(Digits - shown), '0');
    }
    // A value that rounds to nothing has no sign.
    if (s[0] == '-' && s.find_first_not_of("-0.") == std::string::npos) s.erase(0, 1);
  }
  const std::string sep = QLocale().decimalPoint().toStdString();
  if (const size_t dot = s.find('.'); dot != std::string::npos) s.replace(dot, 1, sep);
  return s;
}

bool VLIsRectPolygon(const TPoint* Points, int Count) {
  if (!Points || Count != 4) return false;
  auto vertical = [&](int i, int j) { return Points[i].X == Points[j].X && Points[i].Y != Points[j].Y; };
  auto horizontal = [&](int i, int j) { return Points[i].Y == Points[j].Y && Points[i].X != Points[j].X; };
  // The closing edge sets the orientation; the others alternate from it.
  bool v = vertical(3, 0);
  if (!v && !horizontal(3, 0)) return false;
  for (int i = 0; i < 3; ++i) {
    v = !v;
    if (v ? !vertical(i, i + 1) : !horizontal(i, i + 1)) return false;
  }
  return true;
}

void VLSnapLine(int RefX, int RefY, int& X, int& Y) {
  int dx = std::abs(RefX - X), dy = std::abs(RefY - Y);
  if (dy > dx + kSnapSlack) {
    X = RefX;
  } else if (dy < dx - kSnapSlack) {
    Y = RefY;
  } else {
    int d = std::abs(dx - dy);
    if (X > RefX && Y > RefY) {
      if (dx >= dy) Y += d;
      else X += d;
    } else if (X < RefX && Y < RefY) {
      if (dx >= dy) X += d;
      else Y += d;
    } else if (X < RefX && Y >= RefY) {
      if (dx >= dy) Y += d;
      else X -= d;
    } else if (X >= RefX && Y < RefY) {
      if (dx >= dy) Y -= d;
      else X += d;
    }
  }
}

void VLSetScrollPage(TWinControl* Window, int Bar, int Page, bool Redraw) {
  if (Window) Window->SetScrollPage(Bar, Page, Redraw);
}

// ---------------------------------------------------------------------------------------------
// System

int64_t VLFileSize(const std::string& FileName) {
  std::error_code ec;
  std::filesystem::path p(FileName);
  if (!std::filesystem::is_regular_file(p, ec) || ec) return -1;
  auto n = std::filesystem::file_size(p, ec);
  if (ec) return -1;
  return int64_t(n);
}

QWidget* VLOwnerWindow(TComponent* Component) {
  for (TComponent* c = Component; c; c = c->Owner())
    if (auto* w = dynamic_cast<TWinControl*>(c)) return w->Widget();
  return nullptr;
}

// ---------------------------------------------------------------------------------------------
// TNulStream

int64_t TNulStream::Read(void*, int64_t Count) {
  FPosition += Count;
  FSize = std::max(FSize, FPosition);
  return Count;
}

int64_t TNulStream::Write(const void*, int64_t Count) {
  FPosition += Count;
  FSize = std::max(FSize, FPosition);
  return Count;
}

int64_t TNulStream::Seek(int64_t Offset, int Origin) {
  switch (Origin) {
    case soBeginning:
      FPosition = Offset;
      FSize = std::max(FSize, FPosition);
      break;
    case soCurrent:
      FPosition += Offset;
      FSize = std::max(FSize, FPosition);
      break;
    case soEnd: FPosition = FSize - Offset; break;
    default: break;
  }
  return FPosition;
}

// ---------------------------------------------------------------------------------------------
// TVLHint

TVLHint::TVLHint(TComponent* AOwner) : TCustomControl(AOwner) {
  FVisible = false;
  QWidget* w = Widget();
  w->setWindowFlags(Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus);
  w->setAttribute(Qt::WA_TransparentForMouseEvents);
  w->setAttribute(Qt::WA_ShowWithoutActivating);
  SetColor(kHintColor);
  FHintFont.SetColor(clBlack);
  Canvas()->Font()->SetColor(clBlack);
  Canvas()->Brush()->SetStyle(bsClear);
  RecreateWnd();
  FRaisedFrame = true;
}

TVLHint::~TVLHint() = default;

void TVLHint::CreateParams(TCreateParams& Params) {
  TCustomControl::CreateParams(Params);
  Params.Style = WS_POPUP | WS_BORDER;
  Params.WindowClass.style |= CS_SAVEBITS;
  if (NewStyleControls) Params.ExStyle = WS_EX_TOOLWINDOW;
}

void TVLHint::SetVisible(bool v) {
  FVisible = v;
  if (Widget()) Widget()->setVisible(v);
}

void TVLHint::SetText(const std::string& Text) {
  FHintText = Text;
  TCanvas* c = Canvas();
  SetBounds(FLeft, FTop, c->TextWidth(Text) + kHintPadding, c->TextHeight(Text) + kHintPadding);
  if (Widget()) Widget()->update();
  Invalidate();
}

void TVLHint::Paint() {
  TCanvas* c = Canvas();
  c->Brush()->SetStyle(bsClear);
  c->TextOut(kHintTextInset, kHintTextInset, FHintText);
}

// ---------------------------------------------------------------------------------------------
// TVistrelPaletteDialog

TVistrelPaletteDialog::TVistrelPaletteDialog(TComponent* AOwner) : TForm(AOwner) {
  SetBorderIcons(biSystemMenu);
  SetBorderStyle(bsDialog);
  SetText("");
  SetBounds(FLeft, FTop, kDialogWidth, kDialogHeight);
  SetPosition(poScreenCenter);
  FCancel = new TButton(this);
  FCancel->SetParent(this);
  FCancel->SetText("&Cancel");
  FCancel->SetBounds(kCancelLeft, kCancelTop, FCancel->Width(), FCancel->Height());
  FCancel->SetModalResult(mrCancel);
  FCancel->SetCancel(true);
  OnPaint = [this](TObject* s) { FormPaint(s); };
  OnMouseMove = [this](TObject* s, TShiftState sh, int x, int y) { FormMouseMove(s, sh, x, y); };
  OnClick = [this](TObject* s) { FormClick(s); };
}

void TVistrelPaletteDialog::SetPalette(const uint8_t* Palette, int Count) {
  FPalette = Palette;
  FCount = Palette ? std::max(Count, 0) : 0;
  FHighlighted = -1;
  Invalidate();
}

void TVistrelPaletteDialog::DrawSwatches() {
  TCanvas* c = Canvas();
  c->Pen()->SetStyle(psSolid);
  c->Pen()->SetMode(pmCopy);
  c->Pen()->SetWidth(1);
  for (int i = 0; i < FCount; ++i) {
    int col = i % kSwatchesPerRow, row = i / kSwatchesPerRow;
    const uint8_t* t = FPalette + 3 * i;
    c->Brush()->SetColor(RGB(t[2], t[1], t[0]));
    c->Pen()->SetColor(i == FHighlighted ? clBlack : clWhite);
    c->Rectangle(kSwatch * col + 1, kSwatch * row + 1, kSwatch * (col + 1), kSwatch * (row + 1));
  }
}

void TVistrelPaletteDialog::FormPaint(TObject*) { DrawSwatches(); }

void TVistrelPaletteDialog::FormMouseMove(TObject*, TShiftState, int X, int Y) {
  // Integer division rounds toward zero, as the library's div does. Right of the last
  // column the formula would name a swatch of the next row: nothing is under the mouse.
  int index = ((X - 1) / kSwatch) + kSwatchesPerRow * ((Y - 1) / kSwatch);
  if ((X - 1) / kSwatch >= kSwatchesPerRow) return;
  if (index >= 0 && index < FCount && index != FHighlighted) {
    FHighlighted = index;
    DrawSwatches();
  }
}

void TVistrelPaletteDialog::FormClick(TObject*) {
  if (FHighlighted < 0 || FHighlighted >= FCount) return;
  const uint8_t* t = FPalette + 3 * FHighlighted;
  FSelectedColor = RGB(t[2], t[1], t[0]);
  SetModalResult(mrOK);
}

bool TVistrelPaletteDialog::Execute() { return ShowModal() == mrOK; }
