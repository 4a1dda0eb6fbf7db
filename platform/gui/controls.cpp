#include "platform/gui/controls.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QGuiApplication>
#include <QImage>
#include <QInputDialog>
#include <QKeyEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QProxyStyle>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QStyleOption>
#include <QTimer>
#include <QToolTip>
#include <QWheelEvent>
#include <algorithm>
#include <cstdio>

#include "platform/core/system.h"
#include "platform/gui/menus.h"
#include "platform/gui/qtwidget.h"

TApplication* Application = new TApplication(nullptr);
TScreen* Screen = new TScreen(nullptr);

namespace {
TControl* gCapture = nullptr;
constexpr int kScrollBarSize = 16;
}  // namespace

bool HeadlessPlatform() {
  return !QGuiApplication::instance() || QGuiApplication::platformName() == "offscreen" ||
         QGuiApplication::platformName() == "minimal";
}

std::string GetShortHint(const std::string& h) {
  size_t i = h.find('|');
  return i == std::string::npos ? h : h.substr(0, i);
}
std::string GetLongHint(const std::string& h) {
  size_t i = h.find('|');
  return i == std::string::npos ? h : h.substr(i + 1);
}

bool SurfaceEventHook(TControl* c, QWidget* w, QEvent* e);
bool FormShortCut(TControl* c, Word key, TShiftState shift);
bool FormHelpKey(TControl* c);

TControl* GetCaptureControl() { return gCapture; }
void SetCaptureControl(TControl* c) { gCapture = c; }

void Dispatch(TObject* sender, const std::function<void()>& fn) {
  try {
    fn();
  } catch (...) {
    try {
      if (Application) Application->HandleException(sender);
    } catch (...) {}
  }
}

// ---------------------------------------------------------------------------------------------
// Qt mapping

unsigned ShiftFromQt(Qt::KeyboardModifiers m, Qt::MouseButtons b) {
  unsigned s = 0;
  if (m & Qt::ShiftModifier) s |= ssShift;
  if (m & Qt::AltModifier) s |= ssAlt;
  if (m & Qt::ControlModifier) s |= ssCtrl;
  if (b & Qt::LeftButton) s |= ssLeft;
  if (b & Qt::RightButton) s |= ssRight;
  if (b & Qt::MiddleButton) s |= ssMiddle;
  return s;
}

int VirtualKeyFromQt(int k) {
  if (k >= Qt::Key_A && k <= Qt::Key_Z) return 'A' + (k - Qt::Key_A);
  if (k >= Qt::Key_0 && k <= Qt::Key_9) return '0' + (k - Qt::Key_0);
  if (k >= Qt::Key_F1 && k <= Qt::Key_F24) return VK_F1 + (k - Qt::Key_F1);
  switch (k) {
    case Qt::Key_Backspace: return VK_BACK;
    case Qt::Key_Tab: return VK_TAB;
    case Qt::Key_Return:
    case Qt::Key_Enter: return VK_RETURN;
    case Qt::Key_Shift: return VK_SHIFT;
    case Qt::Key_Control: return VK_CONTROL;
    case Qt::Key_Alt: return VK_MENU;
    case Qt::Key_Escape: return VK_ESCAPE;
    case Qt::Key_Space: return VK_SPACE;
    case Qt::Key_PageUp: return VK_PRIOR;
    case Qt::Key_PageDown: return VK_NEXT;
    case Qt::Key_End: return VK_END;
    case Qt::Key_Home: return VK_HOME;
    case Qt::Key_Left: return VK_LEFT;
    case Qt::Key_Up: return VK_UP;
    case Qt::Key_Right: return VK_RIGHT;
    case Qt::Key_Down: return VK_DOWN;
    case Qt::Key_Insert: return VK_INSERT;
    case Qt::Key_Delete: return VK_DELETE;
    case Qt::Key_Plus: return VK_ADD;
    case Qt::Key_Minus: return VK_SUBTRACT;
  }
  return 0;
}

int QtKeyFromVirtual(int vk) {
  if (vk >= 'A' && vk <= 'Z') return Qt::Key_A + (vk - 'A');
  if (vk >= '0' && vk <= '9') return Qt::Key_0 + (vk - '0');
  if (vk >= VK_F1 && vk < VK_F1 + 24) return Qt::Key_F1 + (vk - VK_F1);
  switch (vk) {
    case VK_BACK: return Qt::Key_Backspace;
    case VK_TAB: return Qt::Key_Tab;
    case VK_RETURN: return Qt::Key_Return;
    case VK_ESCAPE: return Qt::Key_Escape;
    case VK_SPACE: return Qt::Key_Space;
    case VK_PRIOR: return Qt::Key_PageUp;
    case VK_NEXT: return Qt::Key_PageDown;
    case VK_END: return Qt::Key_End;
    case VK_HOME: return Qt::Key_Home;
    case VK_LEFT: return Qt::Key_Left;
    case VK_UP: return Qt::Key_Up;
    case VK_RIGHT: return Qt::Key_Right;
    case VK_DOWN: return Qt::Key_Down;
    case VK_INSERT: return Qt::Key_Insert;
    case VK_DELETE: return Qt::Key_Delete;
    case VK_ADD: return Qt::Key_Plus;
    case VK_SUBTRACT: return Qt::Key_Minus;
  }
  return 0;
}

QColor QtColor(int c) {
  TColor v = ColorToRGB(c);
  return QColor(GetRValue(v), GetGValue(v), GetBValue(v));
}

// ---------------------------------------------------------------------------------------------
// Widgets

TQtWidget::TQtWidget(TControl* control, QWidget* parent, bool client)
    : QWidget(parent), FControl(control), FClient(client) {
  setMouseTracking(true);
}
TQtWidget::~TQtWidget() = default;

bool TQtWidget::event(QEvent* e) {
  TControl* c = FControl;
  if (!c) return QWidget::event(e);
  bool done = false;
  Dispatch(c, [&] { done = c->HandleEvent(this, e); });
  if (done) return true;
  return QWidget::event(e);
}

bool TNativeFilter::eventFilter(QObject* o, QEvent* e) {
  TControl* c = FControl;
  if (!c || !o->isWidgetType()) return false;
  bool done = false;
  Dispatch(c, [&] { done = c->HandleEvent(static_cast<QWidget*>(o), e); });
  return done;
}

// ---------------------------------------------------------------------------------------------
// TControl

TControl::TControl(TComponent* owner) : TComponent(owner) {
  FFont.OnChange = [this](TObject*) {
    FParentFont = false;
    ApplyFont();
  };
}

void TControl::BeforeDestruction() {
  TComponent::BeforeDestruction();
  if (gCapture == this) gCapture = nullptr;
}

TControl::~TControl() {
  if (gCapture == this) gCapture = nullptr;
  if (FParent) FParent->RemoveControl(this);
  if (FWidget) {
    FWidget->disconnect();
    if (auto* w = dynamic_cast<TQtWidget*>(FWidget.data())) w->Detach();
    QWidget* w = FWidget;
    FWidget = nullptr;
    delete w;
  }
}

namespace {
// The style draws a focused default button as an unfocused one: a dotted frame inside a
// push button shows where the focus is, on every button alike.
class TFocusFrameStyle : public QProxyStyle {
 public:
  // The focus frame shows from the start, not only once a key has moved the focus.
  void drawPrimitive(PrimitiveElement e, const QStyleOption* o, QPainter* p, const QWidget* w) const override {
    if (e != PE_FrameFocusRect || (o->state & State_KeyboardFocusChange)) {
      QProxyStyle::drawPrimitive(e, o, p, w);
      return;
    }
    QStyleOptionFocusRect f;
    f.QStyleOption::operator=(*o);
    if (const auto* given = qstyleoption_cast<const QStyleOptionFocusRect*>(o)) f = *given;
    f.state |= State_KeyboardFocusChange;
    QProxyStyle::drawPrimitive(e, &f, p, w);
  }
  void drawControl(ControlElement e, const QStyleOption* o, QPainter* p, const QWidget* w) const override {
    QProxyStyle::drawControl(e, o, p, w);
    if (e != CE_PushButton || !(o->state & State_HasFocus)) return;
    p->save();
    p->setPen(QPen(o->palette.color(QPalette::ButtonText), 1, Qt::DotLine));
    p->setBrush(Qt::NoBrush);
    p->drawRect(subElementRect(SE_PushButtonFocusRect, o, w).adjusted(1, 1, -2, -2));
    p->restore();
  }
};

void UseFocusFrameStyle() {
  static bool done = false;
  if (done || !qobject_cast<QApplication*>(QCoreApplication::instance())) return;
  done = true;
  QApplication::setStyle(new TFocusFrameStyle);
}
}  // namespace

void TControl::SetWidget(QWidget* w) {
  UseFocusFrameStyle();
  FWidget = w;
  if (!dynamic_cast<TQtWidget*>(w)) {
    auto* f = new TNativeFilter(this);
    f->setParent(w);
    w->installEventFilter(f);
    w->setMouseTracking(true);
  }
  ApplyGeometry();
  ApplyFont();
  ApplyCursor();
}

void TControl::SetParent(TWinControl* p) {
  if (p == FParent) return;
  if (FParent) FParent->RemoveControl(this);
  if (p) p->InsertControl(this);
}

void TControl::ApplyGeometry() {
  if (!FWidget) return;
  if (FWidget->isWindow()) {
    FWidget->resize(std::max(FWidth, 0), std::max(FHeight, 0));
    FWidget->move(FLeft, FTop);
  } else {
    FWidget->setGeometry(FLeft, FTop, std::max(FWidth, 0), std::max(FHeight, 0));
  }
}

void TControl::SetBounds(int left, int top, int width, int height) {
  width = std::max(width, 0);
  height = std::max(height, 0);
  bool resized = width != FWidth || height != FHeight;
  if (left == FLeft && top == FTop && !resized) return;
  FLeft = left;
  FTop = top;
  FWidth = width;
  FHeight = height;
  ApplyGeometry();
  if (resized) SizeChanged();
  if (auto* w = dynamic_cast<TWinControl*>(this)) w->LayoutFrame();
  if (FParent && FAlign != alNone) FParent->AlignControls();
  if (resized) Resize();
}

int TControl::ClientWidth() const { return FWidth; }
int TControl::ClientHeight() const { return FHeight; }
void TControl::SetClientWidth(int w) { SetWidth(w + (FWidth - ClientWidth())); }
void TControl::SetClientHeight(int h) { SetHeight(h + (FHeight - ClientHeight())); }

TPoint TControl::ClientToScreen(TPoint p) const {
  QWidget* w = ClientWidget();
  if (!w) return p;
  QPoint q = w->mapToGlobal(QPoint(p.X, p.Y));
  return {q.x(), q.y()};
}

TPoint TControl::ScreenToClient(TPoint p) const {
  QWidget* w = ClientWidget();
  if (!w) return p;
  QPoint q = w->mapFromGlobal(QPoint(p.X, p.Y));
  return {q.x(), q.y()};
}

void TControl::SetVisible(bool v) {
  if (v == FVisible) return;
  FVisible = v;
  if (FWidget && (FParent || !FWidget->isWindow())) FWidget->setVisible(v);
  if (FParent && FAlign != alNone) FParent->AlignControls();
}

bool TControl::Showing() const {
  if (!FVisible) return false;
  if (FParent) return FParent->Showing();
  if (auto* f = dynamic_cast<const TForm*>(this)) return f->FWidget && f->FWidget->isVisible();
  return false;
}

void TControl::SetEnabled(bool v) {
  if (v == FEnabled) return;
  FEnabled = v;
  if (FWidget) {
    // A control disabled while it works (a button during its own click) gets its focus back
    // when enabled again, unless the focus was moved on meanwhile.
    QWidget* window = FWidget->window();
    if (!v) {
      QWidget* had = window->focusWidget();
      const bool held = had && (had == FWidget || FWidget->isAncestorOf(had));
      FWidget->setEnabled(false);
      FFocusHeld = held ? had : nullptr;
      FFocusLent = held ? window->focusWidget() : nullptr;
    } else {
      FWidget->setEnabled(true);
      if (FFocusHeld && FFocusHeld->isEnabled() && window->focusWidget() == FFocusLent.data())
        FFocusHeld->setFocus(Qt::OtherFocusReason);
      FFocusHeld = FFocusLent = nullptr;
    }
  }
  Invalidate();
}

void TControl::SetAlign(TAlign a) {
  if (a == FAlign) return;
  FAlign = a;
  if (FParent) FParent->AlignControls();
}

void TControl::SetText(const std::string& s) {
  if (s == FText) return;
  FText = s;
  ApplyText();
  Invalidate();
}

void TControl::SetColor(TColor c) {
  if (c == FColor) return;
  FColor = c;
  ApplyColor();
  Invalidate();
}

void TControl::ApplyColor() {}

void TControl::ApplyFont() {
  if (FWidget && !dynamic_cast<TQtWidget*>(FWidget.data()) && QGuiApplication::instance())
    FWidget->setFont(FFont.QtFont());
  Invalidate();
}

void TControl::SetHint(const std::string& h) {
  FHint = h;
  SetShowHint(FShowHint);
}

void TControl::SetShowHint(bool v) {
  FShowHint = v;
  if (FWidget) FWidget->setToolTip(v ? QString::fromStdString(GetShortHint(FHint)) : QString());
}

void TControl::SetCursor(TCursor c) {
  FCursor = c;
  ApplyCursor();
}

void TControl::ApplyCursor() {
  QWidget* w = ClientWidget();
  if (!w) return;
  if (FCursor == crDefault) w->unsetCursor();
  else w->setCursor(Screen->QtCursor(FCursor));
}

void TControl::SetPopupMenu(TPopupMenu* m) {
  if (FPopupMenu) FPopupMenu->RemoveFreeNotification(this);
  FPopupMenu = m;
  if (m) m->FreeNotification(this);
}

void TControl::Notification(TComponent* component, TOperation operation) {
  TComponent::Notification(component, operation);
  if (operation == opRemove && component == FPopupMenu) FPopupMenu = nullptr;
}

bool TControl::MouseCapture() const { return gCapture == this; }
void TControl::SetMouseCapture(bool v) {
  if (v) gCapture = this;
  else if (gCapture == this) gCapture = nullptr;
}

void TControl::Invalidate() {
  if (QWidget* w = ClientWidget()) w->update();
}
void TControl::Update() {}
void TControl::Repaint() {
  Invalidate();
  Update();
}

void TControl::BringToFront() {
  if (FWidget) FWidget->raise();
}
void TControl::SendToBack() {
  if (FWidget) FWidget->lower();
}

TForm* TControl::ParentForm() const {
  const TControl* c = this;
  while (c->FParent) c = c->FParent;
  return const_cast<TForm*>(dynamic_cast<const TForm*>(c));
}

void TControl::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  if (OnMouseDown) OnMouseDown(this, button, shift, x, y);
}
void TControl::MouseMove(TShiftState shift, int x, int y) {
  if (OnMouseMove) OnMouseMove(this, shift, x, y);
}
void TControl::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
  if (OnMouseUp) OnMouseUp(this, button, shift, x, y);
}
void TControl::Click() {
  if (OnClick) OnClick(this);
}
void TControl::DblClick() {
  if (OnDblClick) OnDblClick(this);
}
void TControl::Resize() {
  if (OnResize) OnResize(this);
}
bool TControl::DialogKey(Word, bool) { return false; }

namespace {
bool FormDialogKey(TWinControl* w, Word key, TControl* except) {
  for (int i = 0; i < w->ControlCount(); ++i) {
    TControl* c = w->Controls(i);
    if (c == except || !c->Visible() || !c->Enabled()) continue;
    if (c->DialogKey(key, false)) return true;
    if (auto* cw = dynamic_cast<TWinControl*>(c); cw && FormDialogKey(cw, key, except)) return true;
  }
  return false;
}
}  // namespace

void TControl::WMLButtonDblClk(TShiftState shift, int x, int y) {
  if (FControlStyle & csCaptureMouse) SetMouseCapture(true);
  if (FControlStyle & csClickEvents) DblClick();
  MouseDown(mbLeft, shift | ssDouble, x, y);
}

void TControl::ShowPopup(int x, int y) {
  if (!FPopupMenu || !FPopupMenu->AutoPopup()) return;
  TPoint p = ClientToScreen({x, y});
  FPopupMenu->SetPopupComponent(this);
  FPopupMenu->Popup(p.X, p.Y);
}

bool TControl::HandleEvent(QWidget* w, QEvent* e) {
  bool native = !dynamic_cast<TQtWidget*>(w);
  bool client = native || w == ClientWidget();
  switch (e->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove: {
      if (!client) return false;
      auto* m = static_cast<QMouseEvent*>(e);
      int x = int(m->position().x()), y = int(m->position().y());
      TShiftState shift = ShiftFromQt(m->modifiers(), m->buttons());
      TMouseButton b = m->button() == Qt::RightButton ? mbRight : m->button() == Qt::MiddleButton ? mbMiddle : mbLeft;
      if (!FEnabled) return !native;
      QPointer<QWidget> guard(w);
      if (e->type() == QEvent::MouseButtonPress) {
        if (FControlStyle & csCaptureMouse) SetMouseCapture(true);
        if (b == mbLeft) FPressed = true;
        MouseDown(b, shift, x, y);
      } else if (e->type() == QEvent::MouseButtonDblClick) {
        if (b == mbLeft) WMLButtonDblClk(shift, x, y);
        else MouseDown(b, shift | ssDouble, x, y);
      } else if (e->type() == QEvent::MouseMove) {
        MouseMove(shift, x, y);
      } else {
        bool wasPressed = FPressed && b == mbLeft;
        FPressed = false;
        if (m->buttons() == Qt::NoButton) SetMouseCapture(false);
        MouseUp(b, shift, x, y);
        if (!guard) return true;
        if (wasPressed && !native && (FControlStyle & csClickEvents) && x >= 0 && y >= 0 && x < ClientWidth() &&
            y < ClientHeight())
          Click();
        if (b == mbRight && guard) ShowPopup(x, y);
      }
      return !native;
    }
    case QEvent::Enter:
      if (client && Application) Application->SetHint(GetLongHint(FHint));
      return false;
    case QEvent::Paint: return !native && SurfaceEventHook(this, w, e);
    default: return false;
  }
}

// ---------------------------------------------------------------------------------------------
// TWinControl

TWinControl::TWinControl(TComponent* owner) : TControl(owner) {}

TWinControl::~TWinControl() {
  // Children go first, while this control is whole.
  while (!FControls.empty()) {
    TControl* c = FControls.back();
    RemoveControl(c);
    c->Free();
  }
}

void TWinControl::InsertControl(TControl* c) {
  if (!c || c->FParent == this) return;
  FControls.push_back(c);
  c->FParent = this;
  if (c->FParentFont) {
    c->FFont.Assign(&FFont);
    c->FParentFont = true;
  }
  if (c->FWidget) {
    if (c->FWidget->isWindow() && dynamic_cast<TForm*>(c)) {
      // A form placed in a control: becomes a child widget.
      c->FWidget->setWindowFlags(Qt::Widget);
    }
    c->FWidget->setParent(ClientWidget());
    c->ApplyGeometry();
    c->FWidget->setVisible(c->FVisible);
  }
  if (c->FAlign != alNone) AlignControls();
}

void TWinControl::RemoveControl(TControl* c) {
  auto it = std::find(FControls.begin(), FControls.end(), c);
  if (it == FControls.end()) return;
  FControls.erase(it);
  c->FParent = nullptr;
  if (c->FWidget && c->FWidget->parentWidget() == ClientWidget()) {
    // The widget lives on without a parent, hidden.
    c->FWidget->hide();
    c->FWidget->setParent(nullptr);
  }
  if (c->FAlign != alNone && !Destroying()) AlignControls();
}

QWidget* TWinControl::ClientWidget() const { return FClient ? FClient : FWidget; }

int TWinControl::ClientWidth() const {
  if (!FClient) return FWidth;
  return std::max(0, FWidth - 2 * FFrameWidth - (FScrollShown[SB_VERT] ? kScrollBarSize : 0));
}

int TWinControl::ClientHeight() const {
  if (!FClient) return FHeight;
  return std::max(0, FHeight - 2 * FFrameWidth - FTopInset - (FScrollShown[SB_HORZ] ? kScrollBarSize : 0));
}

void TWinControl::SetTabStop(bool v) {
  FTabStop = v;
  if (QWidget* w = ClientWidget())
    w->setFocusPolicy(v ? Qt::StrongFocus : (FClient ? Qt::ClickFocus : w->focusPolicy()));
}

bool TWinControl::Focused() const {
  QWidget* w = ClientWidget();
  return w && w->hasFocus();
}

bool TWinControl::CanFocus() const { return Showing() && FEnabled; }

void TWinControl::SetFocus() {
  if (QWidget* w = ClientWidget()) w->setFocus(Qt::OtherFocusReason);
  if (TForm* f = ParentForm()) f->FActiveControl = this;
}

void TWinControl::SetBounds(int left, int top, int width, int height) { TControl::SetBounds(left, top, width, height); }

void TWinControl::CreateParams(TCreateParams& params) {
  params.Style = WS_CHILD | WS_CLIPCHILDREN | WS_CLIPSIBLINGS;
  params.ExStyle = 0;
  params.WindowClass.style = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS;
}

void TWinControl::CreateFramed(QWidget* outer) {
  auto* client = new TQtWidget(this, outer, true);
  FClient = client;
  client->setFocusPolicy(Qt::ClickFocus);
  SetWidget(outer);
  RecreateWnd();
}

void TWinControl::RecreateWnd() {
  TCreateParams p;
  CreateParams(p);
  FParams = p;
  if (p.ExStyle & WS_EX_CLIENTEDGE) FFrameWidth = 2;
  else if (p.Style & WS_BORDER) FFrameWidth = 1;
  else FFrameWidth = 0;
  LayoutFrame();
  if (FWidget) FWidget->update();
}

void TWinControl::LayoutFrame() {
  if (!FClient || !FWidget) return;
  int cw = ClientWidth(), ch = ClientHeight();
  FClient->setGeometry(FFrameWidth, FFrameWidth + FTopInset, cw, ch);
  for (int bar = 0; bar < 2; ++bar) {
    QScrollBar* sb = FScrollBars[bar];
    if (!sb) continue;
    if (!FScrollShown[bar]) {
      sb->hide();
      continue;
    }
    if (bar == SB_HORZ) sb->setGeometry(FFrameWidth, FFrameWidth + FTopInset + ch, cw, kScrollBarSize);
    else sb->setGeometry(FFrameWidth + cw, FFrameWidth + FTopInset, kScrollBarSize, ch);
    sb->show();
  }
  ClientResized();
  AlignControls();
}

QScrollBar* TWinControl::ScrollBarWidget(int bar) const {
  return (bar == SB_HORZ || bar == SB_VERT) ? FScrollBars[bar] : nullptr;
}

void TWinControl::ShowScrollBar(int bar, bool show) {
  if (bar == SB_BOTH) {
    ShowScrollBar(SB_HORZ, show);
    ShowScrollBar(SB_VERT, show);
    return;
  }
  if (bar != SB_HORZ && bar != SB_VERT) return;
  if (!FClient) return;
  if (show && !FScrollBars[bar]) {
    auto* sb = new QScrollBar(bar == SB_HORZ ? Qt::Horizontal : Qt::Vertical, FWidget);
    sb->setFocusPolicy(Qt::NoFocus);
    sb->hide();
    FScrollBars[bar] = sb;
    QObject::connect(sb, &QAbstractSlider::actionTriggered, sb, [this, bar, sb](int action) {
      int code = SB_ENDSCROLL;
      switch (action) {
        case QAbstractSlider::SliderSingleStepSub: code = SB_LINEUP; break;
        case QAbstractSlider::SliderSingleStepAdd: code = SB_LINEDOWN; break;
        case QAbstractSlider::SliderPageStepSub: code = SB_PAGEUP; break;
        case QAbstractSlider::SliderPageStepAdd: code = SB_PAGEDOWN; break;
        case QAbstractSlider::SliderToMinimum: code = SB_TOP; break;
        case QAbstractSlider::SliderToMaximum: code = SB_BOTTOM; break;
        case QAbstractSlider::SliderMove: code = SB_THUMBTRACK; break;
      }
      int pos = sb->sliderPosition();
      int old = sb->value();
      sb->setSliderPosition(old);
      Dispatch(this, [&] {
        if (bar == SB_HORZ) WMHScroll(code, pos);
        else WMVScroll(code, pos);
      });
    });
  }
  if (FScrollShown[bar] == show) return;
  FScrollShown[bar] = show;
  LayoutFrame();
}

bool TWinControl::ScrollBarVisible(int bar) const { return (bar == SB_HORZ || bar == SB_VERT) && FScrollShown[bar]; }

void TWinControl::SetScrollRange(int bar, int min, int max, bool) {
  if (bar != SB_HORZ && bar != SB_VERT) return;
  if (!FScrollBars[bar]) {
    ShowScrollBar(bar, true);
    ShowScrollBar(bar, false);
  }
  QScrollBar* sb = FScrollBars[bar];
  if (!sb) return;
  sb->setProperty("vlMin", min);
  sb->setProperty("vlMax", max);
  int page = std::max(0, sb->pageStep());
  sb->setRange(min, std::max(min, max - std::max(page, 1) + 1));
}

void TWinControl::SetScrollPage(int bar, int page, bool) {
  if (bar != SB_HORZ && bar != SB_VERT) return;
  if (!FScrollBars[bar]) {
    ShowScrollBar(bar, true);
    ShowScrollBar(bar, false);
  }
  QScrollBar* sb = FScrollBars[bar];
  if (!sb) return;
  sb->setPageStep(std::max(0, page));
  int min = sb->property("vlMin").isValid() ? sb->property("vlMin").toInt() : sb->minimum();
  int max = sb->property("vlMax").isValid() ? sb->property("vlMax").toInt() : sb->maximum();
  sb->setRange(min, std::max(min, max - std::max(page, 1) + 1));
}

void TWinControl::SetScrollPos(int bar, int pos, bool) {
  if (bar != SB_HORZ && bar != SB_VERT) return;
  if (!FScrollBars[bar]) {
    ShowScrollBar(bar, true);
    ShowScrollBar(bar, false);
  }
  if (QScrollBar* sb = FScrollBars[bar]) {
    QSignalBlocker block(sb);
    sb->setValue(pos);
  }
}

int TWinControl::GetScrollPos(int bar) const {
  QScrollBar* sb = ScrollBarWidget(bar);
  return sb ? sb->value() : 0;
}

void TWinControl::GetScrollRange(int bar, int& min, int& max) const {
  QScrollBar* sb = ScrollBarWidget(bar);
  min = max = 0;
  if (!sb) return;
  min = sb->property("vlMin").isValid() ? sb->property("vlMin").toInt() : sb->minimum();
  max = sb->property("vlMax").isValid() ? sb->property("vlMax").toInt() : sb->maximum();
}

int TWinControl::GetScrollPage(int bar) const {
  QScrollBar* sb = ScrollBarWidget(bar);
  return sb ? sb->pageStep() : 0;
}

void TWinControl::EnableAlign() {
  if (FAlignLevel > 0 && --FAlignLevel == 0) AlignControls();
}

void TWinControl::AlignControls() {
  if (FAligning || FAlignLevel > 0) return;
  FAligning = true;
  TRect r = Rect(0, 0, ClientWidth(), ClientHeight());
  auto pick = [&](TAlign a) {
    std::vector<TControl*> v;
    for (TControl* c : FControls)
      if (c->FAlign == a && c->FVisible) v.push_back(c);
    auto key = [a](TControl* c) {
      switch (a) {
        case alTop: return c->FTop;
        case alBottom: return -(c->FTop + c->FHeight);
        case alLeft: return c->FLeft;
        case alRight: return -(c->FLeft + c->FWidth);
        default: return 0;
      }
    };
    std::stable_sort(v.begin(), v.end(), [&](TControl* x, TControl* y) { return key(x) < key(y); });
    return v;
  };
  for (TControl* c : pick(alTop)) {
    c->SetBounds(r.Left, r.Top, r.Width(), c->FHeight);
    r.Top += c->FHeight;
  }
  for (TControl* c : pick(alBottom)) {
    c->SetBounds(r.Left, r.Bottom - c->FHeight, r.Width(), c->FHeight);
    r.Bottom -= c->FHeight;
  }
  for (TControl* c : pick(alLeft)) {
    c->SetBounds(r.Left, r.Top, c->FWidth, std::max(0, r.Height()));
    r.Left += c->FWidth;
  }
  for (TControl* c : pick(alRight)) {
    c->SetBounds(r.Right - c->FWidth, r.Top, c->FWidth, std::max(0, r.Height()));
    r.Right -= c->FWidth;
  }
  for (TControl* c : pick(alClient)) c->SetBounds(r.Left, r.Top, std::max(0, r.Width()), std::max(0, r.Height()));
  FAligning = false;
  if (auto* f = dynamic_cast<TForm*>(this)) {
    if (f->FMdiArea) f->FMdiArea->setGeometry(r.Left, r.Top, std::max(0, r.Width()), std::max(0, r.Height()));
  }
}

void TWinControl::KeyDown(Word& key, TShiftState shift) {
  if (OnKeyDown) OnKeyDown(this, key, shift);
}
void TWinControl::KeyPress(char& key) {
  if (OnKeyPress) OnKeyPress(this, key);
}
void TWinControl::KeyUp(Word& key, TShiftState shift) {
  if (OnKeyUp) OnKeyUp(this, key, shift);
}
void TWinControl::WMHScroll(int, int) {}
void TWinControl::WMVScroll(int, int) {}
void TWinControl::DoEnter() {
  if (OnEnter) OnEnter(this);
}
void TWinControl::DoExit() {
  if (OnExit) OnExit(this);
}

bool TWinControl::HandleEvent(QWidget* w, QEvent* e) {
  bool native = !dynamic_cast<TQtWidget*>(w);
  switch (e->type()) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease: {
      if (!native) {
        if (w != ClientWidget()) return false;
        // Keys that a focused child left unhandled are not ours.
        QWidget* fw = QApplication::focusWidget();
        if (fw && fw != w && w->isAncestorOf(fw)) return false;
      }
      auto* k = static_cast<QKeyEvent*>(e);
      Word key = Word(VirtualKeyFromQt(k->key()));
      TShiftState shift = ShiftFromQt(k->modifiers(), Qt::NoButton);
      // Tab and Shift+Tab that no handler took move the focus on, as in any dialog.
      const bool tab = (k->key() == Qt::Key_Tab || k->key() == Qt::Key_Backtab) &&
                       !(k->modifiers() & (Qt::ControlModifier | Qt::AltModifier));
      TForm* form = ParentForm();
      bool preview = form && form != this && form->KeyPreview();
      if (e->type() == QEvent::KeyPress) {
        if (FormShortCut(this, key, shift)) return true;
        if (key) {
          if (preview) form->TWinControl::KeyDown(key, shift);
          if (key) KeyDown(key, shift);
          if (!key) return true;
          if (key == VK_F1 && shift == 0 && FormHelpKey(this)) return true;
          if ((key == VK_RETURN || key == VK_ESCAPE) && shift == 0) {
            if (DialogKey(key, true)) return true;
            if (form && FormDialogKey(form, key, this)) return true;
          }
        }
        QString t = k->text();
        if (!t.isEmpty() && t[0].unicode() < 256) {
          char ch = char(t[0].unicode());
          if (preview) form->TWinControl::KeyPress(ch);
          if (ch) KeyPress(ch);
          if (!ch) return true;
        }
        if (tab) return false;
        // In a window that is not one of our forms (a file dialog's panel), Escape and Enter
        // that nothing here took go on to that window.
        if (!form && (key == VK_ESCAPE || key == VK_RETURN) && shift == 0) return false;
      } else if (key) {
        if (preview) form->TWinControl::KeyUp(key, shift);
        if (key) KeyUp(key, shift);
        if (!key) return true;
      }
      return !native;
    }
    case QEvent::FocusIn:
      if (w == ClientWidget()) {
        if (TForm* f = ParentForm()) f->FActiveControl = this;
        DoEnter();
      }
      return false;
    case QEvent::FocusOut:
      if (w == ClientWidget()) DoExit();
      return false;
    case QEvent::Paint:
      if (!native && w == FWidget && FClient && FFrameWidth > 0) {
        QPainter p(w);
        QRect r = w->rect();
        if (FFrameWidth == 1 && FRaisedFrame) {
          // Raised outer edge.
          p.setPen(QtColor(cl3DLight));
          p.drawLine(r.left(), r.top(), r.right(), r.top());
          p.drawLine(r.left(), r.top(), r.left(), r.bottom());
          p.setPen(QtColor(cl3DDkShadow));
          p.drawLine(r.left(), r.bottom(), r.right(), r.bottom());
          p.drawLine(r.right(), r.top(), r.right(), r.bottom());
        } else if (FFrameWidth == 1) {
          p.setPen(QColor(0, 0, 0));
          p.drawRect(r.adjusted(0, 0, -1, -1));
        } else {
          // Sunken client edge (raised when asked).
          QColor dark = FRaisedFrame ? QColor(255, 255, 255) : QColor(128, 128, 128);
          QColor light = FRaisedFrame ? QColor(128, 128, 128) : QColor(255, 255, 255);
          p.setPen(dark);
          p.drawLine(r.left(), r.top(), r.right(), r.top());
          p.drawLine(r.left(), r.top(), r.left(), r.bottom());
          p.setPen(light);
          p.drawLine(r.left(), r.bottom(), r.right(), r.bottom());
          p.drawLine(r.right(), r.top(), r.right(), r.bottom());
          p.setPen(FRaisedFrame ? QColor(223, 223, 223) : QColor(64, 64, 64));
          p.drawLine(r.left() + 1, r.top() + 1, r.right() - 1, r.top() + 1);
          p.drawLine(r.left() + 1, r.top() + 1, r.left() + 1, r.bottom() - 1);
        }
        if (FScrollShown[0] && FScrollShown[1]) {
          p.fillRect(FFrameWidth + ClientWidth(), FFrameWidth + ClientHeight(), kScrollBarSize, kScrollBarSize,
                     QtColor(clBtnFace));
        }
        return true;
      }
      if (!native && w == ClientWidget() && !dynamic_cast<TCustomControl*>(this) && !dynamic_cast<TForm*>(this)) {
        QPainter p(w);
        p.fillRect(w->rect(), QtColor(FColor));
        return true;
      }
      return TControl::HandleEvent(w, e);
    case QEvent::Resize:
      if (!native && w == FWidget && FWidget->isWindow()) {
        QSize s = FWidget->size();
        if (s.width() != FWidth || s.height() != FHeight) {
          bool resized = true;
          FWidth = s.width();
          FHeight = s.height();
          LayoutFrame();
          if (resized) Resize();
        }
      }
      return false;
    default: return TControl::HandleEvent(w, e);
  }
}

// ---------------------------------------------------------------------------------------------
// TCustomControl and TGraphicControl: a persistent surface shown by the paint event

namespace {
void ShowSurface(QWidget* w, TBitmap& surface) {
  QPainter p(w);
  if (surface.Empty() || !surface.Bits()) return;
  QImage img(surface.Bits(), surface.Width(), surface.Height(), int(surface.RowBytes()),
             surface.PixelFormat() == pf1bit ? QImage::Format_Mono : QImage::Format_BGR888);
  if (surface.PixelFormat() == pf1bit) img.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
  p.drawImage(0, 0, img);
}
}  // namespace

bool ResizeSurface(TBitmap& Surface, int Width, int Height) {
  if (Width == Surface.Width() && Height == Surface.Height()) return false;
  // Every caller repaints the whole surface before it shows again, so the old pixels are
  // dropped, not copied: a document window sized to its picture on its way to the frame's
  // size would otherwise copy (and fault in) picture-sized surfaces.
  Surface.SetSize(0, 0);
  Surface.SetSize(Width, Height);
  return true;
}

void RepaintSurface(TBitmap& Surface, bool& NeedPaint, bool& InPaint, const TColor* Back,
                    const std::function<void()>& Paint) {
  if (!NeedPaint || Surface.Empty()) return;
  NeedPaint = false;
  InPaint = true;
  struct Reset {
    bool& f;
    ~Reset() { f = false; }
  } reset{InPaint};
  TCanvas* c = Surface.Canvas();
  c->ResetClipRegion();
  if (Back) {
    c->Brush()->SetStyle(bsSolid);
    c->Brush()->SetColor(*Back);
    c->FillRect(Rect(0, 0, Surface.Width(), Surface.Height()));
  }
  Paint();
}

TCustomControl::TCustomControl(TComponent* owner) : TWinControl(owner) {
  FSurface.SetPixelFormat(pf24bit);
  FControlStyle |= csAcceptsControls;
  CreateFramed(new TQtWidget(this, nullptr, false));
  FSurface.Canvas()->OnChange = [this](TObject*) {
    if (!FInPaint && FClient) FClient->update();
  };
}

TCustomControl::~TCustomControl() = default;

TCanvas* TCustomControl::Canvas() { return FSurface.Canvas(); }

void TCustomControl::ClientResized() {
  if (ResizeSurface(FSurface, ClientWidth(), ClientHeight())) TCustomControl::Invalidate();
}

void TCustomControl::Invalidate() {
  FNeedPaint = true;
  if (FClient) FClient->update();
}

void TCustomControl::PaintNow() {
  RepaintSurface(FSurface, FNeedPaint, FInPaint, (FControlStyle & csOpaque) ? nullptr : &FColor, [this] { Paint(); });
}

void TCustomControl::Update() {
  PaintNow();
  if (FClient) FClient->update();
}

void TCustomControl::SurfacePaint() { PaintNow(); }

void TCustomControl::Paint() {
  if (OnPaint) OnPaint(this);
}

TGraphicControl::TGraphicControl(TComponent* owner) : TControl(owner) {
  FSurface.SetPixelFormat(pf24bit);
  SetWidget(new TQtWidget(this, nullptr, true));
  FSurface.Canvas()->OnChange = [this](TObject*) {
    if (!FInPaint && FWidget) FWidget->update();
  };
}

TGraphicControl::~TGraphicControl() = default;

TCanvas* TGraphicControl::Canvas() { return FSurface.Canvas(); }

void TGraphicControl::SizeChanged() {
  if (ResizeSurface(FSurface, FWidth, FHeight)) TGraphicControl::Invalidate();
}

void TGraphicControl::Invalidate() {
  FNeedPaint = true;
  if (FWidget) FWidget->update();
}

void TGraphicControl::PaintNow() {
  // Graphic controls are drawn over their parent's colour.
  const TColor back = FParent ? FParent->Color() : FColor;
  RepaintSurface(FSurface, FNeedPaint, FInPaint, &back, [this] { Paint(); });
}

void TGraphicControl::Update() {
  PaintNow();
  if (FWidget) FWidget->update();
}

void TGraphicControl::SurfacePaint() { PaintNow(); }
void TGraphicControl::Paint() {}

// The paint event of any surface control.
static bool PaintSurfaceEvent(TControl* c, QWidget* w, TBitmap& surface) {
  c->SurfacePaint();
  ShowSurface(w, surface);
  return true;
}

bool SurfaceEventHook(TControl* c, QWidget* w, QEvent* e) {
  if (e->type() != QEvent::Paint) return false;
  if (auto* cc = dynamic_cast<TCustomControl*>(c)) {
    if (w != cc->ClientWidget()) return false;
    return PaintSurfaceEvent(c, w, *cc->Surface());
  }
  if (auto* gc = dynamic_cast<TGraphicControl*>(c)) return PaintSurfaceEvent(c, w, *gc->Surface());
  if (auto* f = dynamic_cast<TForm*>(c)) {
    if (w != f->ClientWidget()) return false;
    return PaintSurfaceEvent(c, w, *f->Surface());
  }
  return false;
}
