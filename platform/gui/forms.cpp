// Forms, timers, the application, the screen and the modal service.
#include <QApplication>
#include <QCursor>
#include <QDesktopServices>
#include <QUrl>
#include <QEvent>
#include <QIcon>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLayout>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QMessageBox>
#include <QPointer>
#include <QScreen>
#include <QStyle>
#include <QTimer>
#include <QWindowStateChangeEvent>
#include <algorithm>
#include <csignal>
#include <cstdio>

#include "platform/core/stream.h"
#include "platform/core/system.h"
#include "platform/gui/controls.h"
#include "platform/gui/menus.h"
#include "platform/gui/qtwidget.h"

namespace {
TModalAnswer gModalAnswer;

// Sizes an MDI frame so that the form's widget inside it is w x h. A sizeable window is never
// made smaller than its title bar and buttons need, so its caption stays readable.
void FitFrame(QMdiSubWindow* sub, QWidget* form, int w, int h) {
  const QMargins m = sub->contentsMargins();
  const QSize least = sub->minimumSizeHint();
  sub->resize(std::max(std::max(w, 0) + m.left() + m.right(), least.width()),
              std::max(std::max(h, 0) + m.top() + m.bottom(), least.height()));
  if (QLayout* l = sub->layout()) {
    l->invalidate();
    l->activate();
  }
  form->setGeometry(sub->contentsRect());
}

// A document frame's title bar finds the button under a press from the last mouse move it saw.
// When the pointer came to rest there while another window had the mouse (a box that just
// closed), no move came, and the press would be lost: it gets a move of its own first.
class TTitleBarPointer : public QObject {
 public:
  using QObject::QObject;

 protected:
  bool eventFilter(QObject* o, QEvent* e) override {
    if (e->type() != QEvent::MouseButtonPress || !o->isWidgetType()) return false;
    auto* press = static_cast<QMouseEvent*>(e);
    QMouseEvent move(QEvent::MouseMove, press->position(), press->globalPosition(), Qt::NoButton, Qt::NoButton,
                     press->modifiers());
    QCoreApplication::sendEvent(o, &move);
    return false;
  }
};

THelpService gHelpService;
THelpRequest gLastHelp;

// A modal window can't be minimised (forms, message boxes, the platform's dialogs): a window
// manager that does it anyway gets it straight back, or the program would wait on a window
// nobody sees and answer no click.
class TModalKeeper : public QObject {
 public:
  using QObject::QObject;

 protected:
  bool eventFilter(QObject* o, QEvent* e) override {
    if (e->type() != QEvent::WindowStateChange || !o->isWidgetType()) return false;
    auto* w = static_cast<QWidget*>(o);
    if (!w->isWindow() || !w->isModal() || !(w->windowState() & Qt::WindowMinimized)) return false;
    const Qt::WindowStates before = static_cast<QWindowStateChangeEvent*>(e)->oldState() & ~Qt::WindowMinimized;
    QPointer<QWidget> top(w);
    QTimer::singleShot(0, w, [top, before] {
      if (!top || !top->isModal() || !top->isMinimized()) return;
      top->setWindowState(before);
      top->show();
      top->raise();
      top->activateWindow();
    });
    return false;
  }
};

// Moves and, if need be, shrinks a window in its normal state so that it lies inside the
// screen's free area, its frame included.
void KeepOnScreen(QWidget* top) {
  if (!top->isVisible() || (top->windowState() & (Qt::WindowMaximized | Qt::WindowMinimized | Qt::WindowFullScreen)))
    return;
  QScreen* screen = top->screen();
  if (!screen) return;
  const QRect room = screen->availableGeometry(), frame = top->frameGeometry(), inner = top->geometry();
  const int mw = frame.width() - inner.width(), mh = frame.height() - inner.height();
  const QSize size(std::min(inner.width(), room.width() - mw), std::min(inner.height(), room.height() - mh));
  if (size != inner.size()) top->resize(size);
  const QPoint at(std::clamp(frame.x(), room.left(), std::max(room.left(), room.right() + 1 - top->width() - mw)),
                  std::clamp(frame.y(), room.top(), std::max(room.top(), room.bottom() + 1 - top->height() - mh)));
  if (at != frame.topLeft()) top->move(at);
}

// A window brought back to its normal size (from maximised or minimised) lies inside the
// screen: a form laid out for the whole screen is taller than it with its title bar. The
// window manager gives the normal size back a moment after the state changes, in steps, so
// the window is looked at again whenever its size changes; the user still moves it freely.
class TScreenKeeper : public QObject {
 public:
  using QObject::QObject;

 protected:
  bool eventFilter(QObject* o, QEvent* e) override {
    const QEvent::Type t = e->type();
    if ((t != QEvent::WindowStateChange && t != QEvent::Resize) || !o->isWidgetType()) return false;
    auto* w = static_cast<QWidget*>(o);
    if (!w->isWindow()) return false;
    if (t == QEvent::WindowStateChange) {
      const Qt::WindowStates big = Qt::WindowMaximized | Qt::WindowMinimized | Qt::WindowFullScreen;
      if (!(static_cast<QWindowStateChangeEvent*>(e)->oldState() & big) || (w->windowState() & big)) return false;
      w->setProperty(kRestoring, true);
    } else if (!w->property(kRestoring).toBool()) {
      return false;
    }
    QPointer<QWidget> top(w);
    QTimer::singleShot(0, w, [top] {
      if (top) KeepOnScreen(top);
    });
    return false;
  }

 private:
  static constexpr const char* kRestoring = "vlRestoring";
};

// Watches every window of the program from its start.
void InstallModalKeeper() {
  qApp->installEventFilter(new TModalKeeper(qApp));
  qApp->installEventFilter(new TScreenKeeper(qApp));
}
Q_COREAPP_STARTUP_FUNCTION(InstallModalKeeper)
}  // namespace

// ---------------------------------------------------------------------------------------------
// TForm

TForm::TForm(TComponent* owner) : TWinControl(owner) {
  FVisible = false;
  FControlStyle |= csAcceptsControls;
  auto* outer = new TQtWidget(this, nullptr, false);
  outer->setWindowFlag(Qt::Window, true);
  outer->setAttribute(Qt::WA_DeleteOnClose, false);
  FSurface.SetPixelFormat(pf24bit);
  FSurface.Canvas()->OnChange = [this](TObject*) {
    if (!FInPaint && FClient) FClient->update();
  };
  CreateFramed(outer);
  FWidth = 0;
  FHeight = 0;
  SetBounds(0, 0, 320, 240);
  Screen->AddForm(this);
}

void TForm::BeforeDestruction() {
  TWinControl::BeforeDestruction();
  if (!FReleasing && OnDestroy) Dispatch(this, [this] { OnDestroy(this); });
  FReleasing = true;
}

TForm::~TForm() {
  if (!FReleasing && OnDestroy) Dispatch(this, [this] { OnDestroy(this); });
  Screen->RemoveForm(this);
  if (Application && Application->FMainForm == this) Application->FMainForm = nullptr;
  // Child controls go while the form is whole; then the MDI window that holds the widget.
  while (!FControls.empty()) {
    TControl* c = FControls.back();
    RemoveControl(c);
    c->Free();
  }
  SetWindowMenu(nullptr);
  // MDI children keep their forms; their windows leave the area before it goes.
  if (FMdiArea) {
    for (TForm* f : std::vector<TForm*>(Screen->FForms)) {
      if (!f->FSubWindow || f->FSubWindow->mdiArea() != FMdiArea) continue;
      QMdiSubWindow* sub = f->FSubWindow;
      f->FSubWindow = nullptr;
      f->FVisible = false;
      if (f->FWidget) {
        f->FWidget->hide();
        f->FWidget->setParent(nullptr);
      }
      delete sub;
    }
  }
  if (FSubWindow) {
    QMdiSubWindow* sub = FSubWindow;
    FSubWindow = nullptr;
    if (FWidget) FWidget->setParent(nullptr);
    delete sub;
    if (TForm* frame = MdiFrame()) frame->UpdateWindowMenu();
  }
}

void TForm::DoCreate() {
  if (OnCreate) OnCreate(this);
}

void TForm::Notification(TComponent* component, TOperation operation) {
  TWinControl::Notification(component, operation);
  if (operation == opRemove && component == FMenu) {
    FMenu = nullptr;
    FMenuBar = nullptr;
    FTopInset = 0;
    LayoutFrame();
  }
  if (operation == opRemove && component == FActiveControl) FActiveControl = nullptr;
  if (operation == opRemove && component == FWindowMenu) {
    FWindowMenu = nullptr;
    FWindowList.clear();
  }
}

void TForm::SetMenu(TMainMenu* m) {
  if (FMenu) FMenu->RemoveFreeNotification(this);
  FMenu = m;
  if (FMenuBar) {
    FMenuBar->hide();
    FMenuBar->setParent(nullptr);
    FMenuBar = nullptr;
  }
  FTopInset = 0;
  if (m) {
    m->FreeNotification(this);
    QMenuBar* bar = m->MenuBar();
    m->Rebuild();
    bar->setParent(FWidget);
    FMenuBar = bar;
    FTopInset = std::max(1, bar->sizeHint().height());
    bar->setGeometry(0, 0, FWidth, FTopInset);
    bar->show();
  }
  LayoutFrame();
}

void TForm::ClientResized() {
  if (FMenuBar) FMenuBar->setGeometry(0, 0, FWidth, FTopInset);
  if (ResizeSurface(FSurface, ClientWidth(), ClientHeight())) TForm::Invalidate();
}

void TForm::Invalidate() {
  FNeedPaint = true;
  if (FClient) FClient->update();
}

void TForm::SurfacePaint() {
  RepaintSurface(FSurface, FNeedPaint, FInPaint, &FColor, [this] { Paint(); });
}

void TForm::Update() {
  SurfacePaint();
  if (FClient) FClient->update();
}

void TForm::Paint() {
  if (OnPaint) OnPaint(this);
}

void TForm::SetActiveControl(TWinControl* c) {
  FActiveControl = c;
  if (c && c->CanFocus()) c->SetFocus();
}

void TForm::ApplyWindowFlags() {
  if (!FWidget || FSubWindow || FParent) return;
  Qt::WindowFlags f = Qt::Window;
  switch (FBorderStyle) {
    case bsNone: f |= Qt::FramelessWindowHint; break;
    case bsDialog: f = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint; break;
    case bsToolWindow:
    case bsSizeToolWin: f = Qt::Tool; break;
    default:
      f |= Qt::CustomizeWindowHint | Qt::WindowTitleHint;
      if (FBorderIcons & biSystemMenu) f |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
      // A modal window that went out of sight would leave a program that answers nothing.
      if ((FBorderIcons & biMinimize) && !FModal) f |= Qt::WindowMinimizeButtonHint;
      if (FBorderIcons & biMaximize) f |= Qt::WindowMaximizeButtonHint;
      if (FBorderIcons & biHelp) f |= Qt::WindowContextHelpButtonHint;
      break;
  }
  if (FFormStyle == fsStayOnTop) f |= Qt::WindowStaysOnTopHint;
  bool shown = FWidget->isVisible();
  FWidget->setWindowFlags(f);
  if (FBorderStyle == bsSingle || FBorderStyle == bsDialog || FBorderStyle == bsToolWindow)
    FWidget->setFixedSize(FWidth, FHeight);
  else FWidget->setMinimumSize(0, 0), FWidget->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
  if (shown) FWidget->show();
}

void TForm::SetBorderStyle(TBorderStyle s) {
  if (s == FBorderStyle) return;
  FBorderStyle = s;
  ApplyWindowFlags();
}

void TForm::SetBorderIcons(TBorderIcons b) {
  FBorderIcons = b;
  ApplyWindowFlags();
}

void TForm::SetFormStyle(TFormStyle s) {
  if (s == FFormStyle) return;
  FFormStyle = s;
  if (s == fsMDIForm && !FMdiArea) {
    FMdiArea = new QMdiArea(ClientWidget());
    FMdiArea->setBackground(QtColor(clAppWorkSpace));
    // Children that reach past the client area can be scrolled to.
    FMdiArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    FMdiArea->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    // A window that goes (a failed load, a closed document) hands the activation back to the
    // one active before it, not to the next one made.
    FMdiArea->setActivationOrder(QMdiArea::ActivationHistoryOrder);
    FMdiArea->show();
    QObject::connect(FMdiArea, &QMdiArea::subWindowActivated, FMdiArea, [this](QMdiSubWindow* w) {
      Dispatch(this, [&] {
        for (TForm* f : std::vector<TForm*>(Screen->FForms))
          if (w && f->FSubWindow == w) {
            Screen->SetActiveForm(f);
            f->DoActivate();
          }
        UpdateWindowMenu();
      });
    });
    AlignControls();
  }
  if (s == fsMDIChild) {
    FPosition = poDefault;
    if (FVisible) AttachToMdi();
  }
  ApplyWindowFlags();
}

void TForm::AttachToMdi() {
  if (FSubWindow) return;
  TForm* frame = Application ? Application->MainForm() : nullptr;
  if (!frame || !frame->FMdiArea || frame == this)
    throw EInvalidOperation("Cannot create form. No MDI forms are currently active");
  int w = FWidth, h = FHeight;
  FSubWindow = new QMdiSubWindow();
  FSubWindow->setAttribute(Qt::WA_DeleteOnClose, false);
  FWidget->setWindowFlags(Qt::Widget);
  FSubWindow->setWidget(FWidget);
  // A document's title bar shows a picture icon, not the toolkit's own logo.
  FSubWindow->setWindowIcon(QIcon::fromTheme("image-x-generic", frame->FWidget->windowIcon()));
  frame->FMdiArea->addSubWindow(FSubWindow);
  QObject::connect(
      FSubWindow, &QMdiSubWindow::windowStateChanged, FSubWindow, [this](Qt::WindowStates, Qt::WindowStates n) {
        FWindowState = (n & Qt::WindowMinimized) ? wsMinimized : (n & Qt::WindowMaximized) ? wsMaximized : wsNormal;
      });
  auto* filter = new TNativeFilter(this);
  filter->setParent(FSubWindow);
  FSubWindow->installEventFilter(filter);
  FSubWindow->installEventFilter(new TTitleBarPointer(FSubWindow));
  if (FPosition == poDesigned) {
    ApplyGeometry();
  } else {
    // The default place: a step down and across from the windows already open, from the top
    // left, as a cascade lays them; the size is the form's.
    int k = 0;
    for (TForm* f : Screen->FForms)
      if (f != this && f->FSubWindow && f->FVisible && f->FSubWindow->mdiArea() == frame->FMdiArea &&
          !f->FSubWindow->isMinimized())
        ++k;
    FPlacingFrame = true;
    FitFrame(FSubWindow, FWidget, w, h);
    QPoint place = frame->CascadePlace(k, FSubWindow);
    FCascadeSpot = place;
    // A window that would run past the area there starts again at the top left.
    const QSize area = frame->FMdiArea->viewport()->size();
    if (place.x() + FSubWindow->width() > area.width() || place.y() + FSubWindow->height() > area.height())
      place = QPoint(0, 0);
    FSubWindow->move(place);
    FPlacingFrame = false;
    FLeft = FSubWindow->x();
    FTop = FSubWindow->y();
    // The frame may have been kept wider than asked.
    if (FWidget->width() != w || FWidget->height() != h) {
      FWidth = FWidget->width();
      FHeight = FWidget->height();
      LayoutFrame();
      Resize();
    }
  }
}

TForm* TForm::MdiFrame() const {
  TForm* frame = Application ? Application->MainForm() : nullptr;
  return frame && frame != this && frame->FMdiArea ? frame : nullptr;
}

QPoint TForm::CascadePlace(int k, QMdiSubWindow* sub) const {
  // One title bar down and across per window; past half the area's height it starts again.
  const int step = std::max(8, sub->style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, sub));
  const int rows = std::max(1, FMdiArea->viewport()->height() / 2 / step + 1);
  k %= rows;
  return QPoint(k * step, k * step);
}

void TForm::ApplyGeometry() {
  if (!FSubWindow) {
    // A maximised window keeps the screen: the form's controls are laid out for the size asked,
    // the window stays as it is (resizing it would take it out of its maximised state).
    if (FWidget && FWidget->isWindow() && FWidget->isVisible() &&
        (FWidget->windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen)))
      return;
    // A window of fixed size takes the new one as its fixed size.
    if (FWidget && FWidget->isWindow() && FWidget->minimumSize() == FWidget->maximumSize())
      FWidget->setFixedSize(std::max(FWidth, 0), std::max(FHeight, 0));
    TWinControl::ApplyGeometry();
    return;
  }
  QMdiSubWindow* sub = FSubWindow;
  if (!sub->isMaximized() && !sub->isMinimized()) {
    const int left = FLeft, top = FTop, w = FWidth, h = FHeight;
    FPlacingFrame = true;
    FitFrame(sub, FWidget, w, h);
    sub->move(left, top);
    FPlacingFrame = false;
  }
  // What the frame allowed (a maximized window keeps its place and size).
  FLeft = sub->x();
  FTop = sub->y();
  FWidth = FWidget->width();
  FHeight = FWidget->height();
}

int TForm::MDIChildCount() const {
  if (!FMdiArea) return 0;
  int n = 0;
  for (TForm* f : Screen->FForms)
    if (f->FSubWindow && f->FVisible) ++n;
  return n;
}

TForm* TForm::MDIChildren(int i) const {
  if (!FMdiArea) return nullptr;
  // Most recently activated first, as the platform lists them.
  auto list = FMdiArea->subWindowList(QMdiArea::ActivationHistoryOrder);
  std::reverse(list.begin(), list.end());
  int k = 0;
  for (QMdiSubWindow* w : list)
    for (TForm* f : Screen->FForms)
      if (f->FSubWindow == w && f->FVisible) {
        if (k == i) return f;
        ++k;
      }
  return nullptr;
}

TForm* TForm::ActiveMDIChild() const {
  if (!FMdiArea) return nullptr;
  QMdiSubWindow* w = FMdiArea->activeSubWindow();
  if (!w) w = FMdiArea->currentSubWindow();
  for (TForm* f : Screen->FForms)
    if (w && f->FSubWindow == w && f->FVisible) return f;
  return nullptr;
}

void TForm::Cascade() {
  if (!FMdiArea) return;
  QMdiSubWindow* active = FMdiArea->activeSubWindow();
  auto list = FMdiArea->subWindowList(QMdiArea::ActivationHistoryOrder);
  // The active window goes last, on top.
  if (active) {
    list.removeAll(active);
    list.append(active);
  }
  const QSize area = FMdiArea->viewport()->size();
  int k = 0;
  for (QMdiSubWindow* sub : list) {
    if (!sub->isVisible() || sub->isMinimized()) continue;
    if (sub->isMaximized()) sub->showNormal();
    const QPoint p = CascadePlace(k++, sub);
    const QSize least = sub->minimumSizeHint();
    const int w = std::max(least.width(), std::min(sub->width(), area.width() - p.x()));
    const int h = std::max(least.height(), std::min(sub->height(), area.height() - p.y()));
    sub->setGeometry(p.x(), p.y(), w, h);
    sub->raise();
  }
  if (active) FMdiArea->setActiveSubWindow(active);
}
void TForm::Tile() {
  if (FMdiArea) FMdiArea->tileSubWindows();
}
void TForm::ArrangeIcons() {}
void TForm::Next() {
  if (FMdiArea) FMdiArea->activateNextSubWindow();
}
void TForm::Previous() {
  if (FMdiArea) FMdiArea->activatePreviousSubWindow();
}
void TForm::AlignControls() { TWinControl::AlignControls(); }

namespace {
// Takes the window list out of its menu. The actions go later: one of them may be running.
void DropWindowList(QMenu* menu, std::vector<QPointer<QAction>>& list) {
  for (QAction* a : list)
    if (a) {
      menu->removeAction(a);
      a->deleteLater();
    }
  list.clear();
}
}  // namespace

void TForm::SetWindowMenu(TMenuItem* m) {
  if (m == FWindowMenu) return;
  if (FWindowMenu) {
    DropWindowList(FWindowMenu->SubMenu(), FWindowList);
    if (FMdiArea) QObject::disconnect(FWindowMenu->SubMenu(), &QMenu::aboutToShow, FMdiArea, nullptr);
    FWindowMenu->RemoveFreeNotification(this);
  }
  FWindowMenu = m;
  if (!m) return;
  m->FreeNotification(this);
  // The area is the hook's context: the hook goes with the frame.
  if (FMdiArea)
    QObject::connect(m->SubMenu(), &QMenu::aboutToShow, FMdiArea,
                     [this] { Dispatch(this, [this] { UpdateWindowMenu(); }); });
  UpdateWindowMenu();
}

void TForm::UpdateWindowMenu() {
  if (!FWindowMenu || !FMdiArea || Destroying()) return;
  QMenu* menu = FWindowMenu->SubMenu();
  DropWindowList(menu, FWindowList);
  std::vector<TForm*> children;
  for (QMdiSubWindow* w : FMdiArea->subWindowList(QMdiArea::CreationOrder))
    for (TForm* f : Screen->FForms)
      if (f->FSubWindow == w && f->FVisible) children.push_back(f);
  if (children.empty()) return;
  auto* sep = new QAction(menu);
  sep->setSeparator(true);
  menu->addAction(sep);
  FWindowList.emplace_back(sep);
  TForm* active = ActiveMDIChild();
  for (size_t i = 0; i < children.size(); ++i) {
    TForm* f = children[i];
    QString caption = QString::fromStdString(f->Caption()).replace("&", "&&");
    QString number = QString::number(i + 1);
    if (i < 9) number.prepend('&');
    auto* a = new QAction(number + " " + caption, menu);
    // Only the active window carries a mark.
    a->setCheckable(f == active);
    a->setChecked(f == active);
    QObject::connect(a, &QAction::triggered, a, [this, f] {
      Dispatch(this, [&] {
        auto& forms = Screen->FForms;
        if (std::find(forms.begin(), forms.end(), f) == forms.end() || !f->FSubWindow) return;
        if (f->WindowState() == wsMinimized) f->SetWindowState(wsNormal);
        f->BringToFront();
      });
    });
    menu->addAction(a);
    FWindowList.emplace_back(a);
  }
}

TWindowState TForm::WindowState() const { return FWindowState; }

void TForm::SetWindowState(TWindowState s) {
  FWindowState = s;
  QWidget* w = FSubWindow ? static_cast<QWidget*>(FSubWindow.data()) : FWidget.data();
  if (!w || !FVisible) return;
  if (s == wsMinimized) w->showMinimized();
  else if (s == wsMaximized) w->showMaximized();
  else w->showNormal();
}

bool TForm::Active() const { return Screen->ActiveForm() == this; }

void TForm::PlaceOnShow() {
  if (FPlaced || FSubWindow) return;
  FPlaced = true;
  // A maximised window takes the screen wherever it was placed.
  if (FWindowState == wsMaximized) return;
  int sw = Screen->Width(), sh = Screen->Height();
  switch (FPosition) {
    case poScreenCenter:
    case poDesktopCenter: SetBounds((sw - FWidth) / 2, (sh - FHeight) / 2, FWidth, FHeight); break;
    case poMainFormCenter:
    case poOwnerFormCenter: {
      TForm* c = dynamic_cast<TForm*>(Owner());
      if (FPosition == poMainFormCenter || !c) c = Application->MainForm();
      if (c && c != this)
        SetBounds(c->Left() + (c->Width() - FWidth) / 2, c->Top() + (c->Height() - FHeight) / 2, FWidth, FHeight);
      else SetBounds((sw - FWidth) / 2, (sh - FHeight) / 2, FWidth, FHeight);
      break;
    }
    default: break;
  }
}

void TForm::SetVisible(bool v) {
  if (v == FVisible && (!v || (FWidget && (FSubWindow ? FSubWindow->isVisible() : FWidget->isVisible())))) return;
  if (FParent) {
    TWinControl::SetVisible(v);
    return;
  }
  FVisible = v;
  if (v) {
    if (FFormStyle == fsMDIChild) AttachToMdi();
    PlaceOnShow();
    ApplyWindowFlags();
    if (FSubWindow) {
      FSubWindow->show();
      FWidget->show();
      if (FWindowState == wsMaximized) FSubWindow->showMaximized();
      else if (FWindowState == wsMinimized) FSubWindow->showMinimized();
      if (TForm* frame = Application->MainForm(); frame && frame->FMdiArea)
        frame->FMdiArea->setActiveSubWindow(FSubWindow);
    } else {
      if (FWindowState == wsMaximized) FWidget->showMaximized();
      else if (FWindowState == wsMinimized) FWidget->showMinimized();
      else FWidget->show();
    }
    if (OnShow) OnShow(this);
    DoActivate();
  } else {
    if (OnHide) OnHide(this);
    if (FSubWindow) FSubWindow->hide();
    else if (FWidget) FWidget->hide();
    DoDeactivate();
  }
  if (FSubWindow)
    if (TForm* frame = MdiFrame()) frame->UpdateWindowMenu();
}

void TForm::SetText(const std::string& s) {
  FText = s;
  if (FWidget) FWidget->setWindowTitle(QString::fromStdString(s));
  if (FSubWindow) {
    FSubWindow->setWindowTitle(QString::fromStdString(s));
    if (TForm* frame = MdiFrame()) frame->UpdateWindowMenu();
  }
}

void TForm::DoActivate() {
  if (Screen->ActiveForm() == this) return;
  TForm* old = Screen->ActiveForm();
  if (old && old != this) old->DoDeactivate();
  Screen->SetActiveForm(this);
  if (OnActivate) OnActivate(this);
}

void TForm::DoDeactivate() {
  if (Screen->ActiveForm() != this) return;
  if (OnDeactivate) OnDeactivate(this);
  Screen->SetActiveForm(nullptr);
}

void TForm::BringToFront() {
  if (FSubWindow) {
    if (TForm* frame = Application->MainForm(); frame && frame->FMdiArea)
      frame->FMdiArea->setActiveSubWindow(FSubWindow);
  } else if (FWidget) {
    FWidget->raise();
    FWidget->activateWindow();
  }
  DoActivate();
}

bool TForm::CloseQuery() {
  if (FFormStyle == fsMDIForm) {
    for (TForm* f : std::vector<TForm*>(Screen->FForms))
      if (f->FSubWindow && f->FVisible && !f->CloseQuery()) return false;
  }
  bool can = true;
  if (OnCloseQuery) OnCloseQuery(this, can);
  return can;
}

void TForm::Close() {
  if (FModal) {
    FModalResult = mrCancel;
    return;
  }
  if (!CloseQuery()) return;
  TCloseAction a = FFormStyle == fsMDIChild ? caMinimize : caHide;
  if (OnClose) OnClose(this, a);
  if (a == caNone) return;
  if (Application && Application->MainForm() == this) {
    Hide();
    Application->Terminate();
    return;
  }
  switch (a) {
    case caHide: Hide(); break;
    case caMinimize: SetWindowState(wsMinimized); break;
    case caFree: Release(); break;
    default: break;
  }
}

void TForm::Release() {
  Hide();
  if (FReleasing) return;
  if (!QCoreApplication::instance()) return;
  QMetaObject::invokeMethod(
      QCoreApplication::instance(),
      [this] {
        auto& forms = Screen->FForms;
        if (std::find(forms.begin(), forms.end(), this) != forms.end()) Free();
      },
      Qt::QueuedConnection);
}

// The end of a modal run: the close question and OnClose may keep the form up.
void TForm::CloseModal() {
  bool can = CloseQuery();
  TCloseAction a = caHide;
  if (can && OnClose) OnClose(this, a);
  if (!can || a == caNone) FModalResult = mrNone;
}

namespace {
bool RunShortCut(TForm* form, Word key, TShiftState shift);

bool DialogKeyOf(TWinControl* w, Word key) {
  for (int i = 0; i < w->ControlCount(); ++i) {
    TControl* c = w->Controls(i);
    if (!c->Visible() || !c->Enabled()) continue;
    if (c->DialogKey(key, false)) return true;
    if (auto* cw = dynamic_cast<TWinControl*>(c); cw && DialogKeyOf(cw, key)) return true;
  }
  return false;
}

// A window opened with nothing focused would not see its keys (Escape, Enter) until a click:
// the first control the Tab key reaches takes the focus. A field focused as the window opens
// has its text selected, as Tab leaves it, so what is typed replaces it.
void FocusFirstControl(QWidget* window, QWidget* client) {
  QWidget* focus = window->focusWidget();
  if (!focus || focus == client || !window->isAncestorOf(focus)) {
    focus = nullptr;
    for (QWidget* w = window->nextInFocusChain(); w && w != window; w = w->nextInFocusChain())
      if (window->isAncestorOf(w) && (w->focusPolicy() & Qt::TabFocus) && w->isEnabled() && w->isVisibleTo(window)) {
        w->setFocus(Qt::TabFocusReason);
        focus = w;
        break;
      }
  }
  if (auto* edit = qobject_cast<QLineEdit*>(focus)) edit->selectAll();
}
}  // namespace

TModalResult TForm::ShowModal() {
  if (FModal || (FVisible && FWidget && FWidget->isVisible()))
    throw EInvalidOperation("Cannot make a visible window modal");
  FModalResult = mrNone;
  FModal = true;
  TForm* before = Screen->ActiveForm();
  struct Done {
    TForm* f;
    ~Done() { f->FModal = false; }
  } done{this};
  if (FWidget && !FParent) FWidget->setWindowModality(Qt::ApplicationModal);
  Show();
  if (FWidget && !FParent) FocusFirstControl(FWidget, FClient);
  TModalRequest r;
  r.Kind = mkForm;
  r.Form = this;
  r.Caption = FText;
  if (HasModalAnswer()) {
    int res = RunModal(r);
    if (res != mrNone) FModalResult = res;
    if (FModalResult == mrNone) FModalResult = mrCancel;
    CloseModal();
  } else if (HeadlessPlatform()) {
    std::fprintf(stderr, "modal form \"%s\" not answered: cancelled\n", FText.c_str());
    FModalResult = mrCancel;
  } else {
    for (;;) {
      QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
      if (Application->Terminated() && FModalResult == mrNone) FModalResult = mrCancel;
      if (FModalResult != mrNone) {
        CloseModal();
        if (FModalResult != mrNone || Application->Terminated()) break;
      }
    }
  }
  TModalResult result = FModalResult;
  Hide();
  if (FWidget && !FParent) FWidget->setWindowModality(Qt::NonModal);
  if (before && before != this) {
    auto& forms = Screen->FForms;
    if (std::find(forms.begin(), forms.end(), before) != forms.end()) before->DoActivate();
  }
  return result;
}

bool TForm::HandleEvent(QWidget* w, QEvent* e) {
  // With no control focused the keys come to the window itself: its menu's shortcuts still work.
  if (w == FWidget && !FParent && e->type() == QEvent::KeyPress) {
    auto* k = static_cast<QKeyEvent*>(e);
    const Word key = Word(VirtualKeyFromQt(k->key()));
    const TShiftState shift = ShiftFromQt(k->modifiers(), Qt::NoButton);
    if (key && RunShortCut(this, key, shift)) return true;
    // Escape and Enter that no control took go to the Cancel and default buttons.
    if ((key == VK_ESCAPE || key == VK_RETURN) && (shift & (ssShift | ssCtrl | ssAlt)) == 0 && DialogKeyOf(this, key))
      return true;
  }
  if (w == FWidget || w == FSubWindow) {
    switch (e->type()) {
      case QEvent::Close:
        e->ignore();
        Close();
        return true;
      case QEvent::WindowActivate: DoActivate(); return false;
      case QEvent::WindowStateChange:
        // A window shown again right after it was hidden can be taken out of its maximised
        // state by the window manager. Without a maximise button the user can't do that, so
        // it goes back.
        if (w == FWidget && !FSubWindow && FVisible && FWindowState == wsMaximized && !(FBorderIcons & biMaximize) &&
            !(FWidget->windowState() & (Qt::WindowMaximized | Qt::WindowMinimized | Qt::WindowFullScreen))) {
          QWidget* top = FWidget;
          QTimer::singleShot(0, top, [this, top] {
            if (FVisible && FWindowState == wsMaximized && top->isVisible() && !top->isMaximized()) top->showMaximized();
          });
        }
        return false;
      default: break;
    }
    if (w == FSubWindow) {
      if ((e->type() == QEvent::Resize || e->type() == QEvent::Move) && !FPlacingFrame) {
        FLeft = FSubWindow->x();
        FTop = FSubWindow->y();
      }
      return false;
    }
  }
  if (w == FWidget && e->type() == QEvent::Resize && FSubWindow) {
    if (FPlacingFrame) return false;
    QSize s = FWidget->size();
    if (s.width() != FWidth || s.height() != FHeight) {
      FWidth = s.width();
      FHeight = s.height();
      LayoutFrame();
      Resize();
    }
    return false;
  }
  return TWinControl::HandleEvent(w, e);
}

namespace {
bool RunShortCut(TForm* form, Word key, TShiftState shift) {
  TShortCut sc = ShortCut(key, shift & (ssShift | ssCtrl | ssAlt));
  if (form->Menu() && form->Menu()->IsShortCut(sc)) return true;
  if (form->FormStyle() == fsMDIChild && Application->MainForm() && Application->MainForm() != form &&
      Application->MainForm()->Menu() && Application->MainForm()->Menu()->IsShortCut(sc))
    return true;
  return false;
}
}  // namespace

void TForm::KeyDown(Word& key, TShiftState shift) { TWinControl::KeyDown(key, shift); }
void TForm::KeyPress(char& key) { TWinControl::KeyPress(key); }
void TForm::KeyUp(Word& key, TShiftState shift) { TWinControl::KeyUp(key, shift); }

// Menu shortcuts come before the key events of the focused control.
bool FormShortCut(TControl* c, Word key, TShiftState shift) {
  TForm* f = c->ParentForm();
  return f && key && RunShortCut(f, key, shift);
}

// ---------------------------------------------------------------------------------------------
// TTimer

TTimer::TTimer(TComponent* owner) : TComponent(owner) { UpdateTimer(); }
TTimer::~TTimer() { delete FTimer; }

void TTimer::SetEnabled(bool v) {
  if (v == FEnabled) return;
  FEnabled = v;
  UpdateTimer();
}

void TTimer::SetInterval(unsigned ms) {
  if (ms == FInterval) return;
  FInterval = ms;
  UpdateTimer();
}

void TTimer::UpdateTimer() {
  if (!QCoreApplication::instance()) return;
  if (!FTimer) {
    FTimer = new QTimer();
    QObject::connect(FTimer, &QTimer::timeout, FTimer, [this] { Dispatch(this, [this] { Timer(); }); });
  }
  FTimer->stop();
  if (FEnabled && FInterval > 0) FTimer->start(int(FInterval));
}

void TTimer::Timer() {
  if (OnTimer) OnTimer(this);
}

// ---------------------------------------------------------------------------------------------
// Services

TPlatformServices& PlatformServices() {
  static TPlatformServices s;
  return s;
}

TShiftState MouseButtonsDown() {
  if (PlatformServices().MouseButtons) return PlatformServices().MouseButtons();
  if (!QGuiApplication::instance()) return 0;
  return ShiftFromQt(Qt::NoModifier, QGuiApplication::mouseButtons());
}

bool ShellOpen(const std::string& target) {
  if (PlatformServices().ShellOpen) return PlatformServices().ShellOpen(target);
  if (HeadlessPlatform()) return false;
  QString t = QString::fromStdString(target);
  QUrl url = QUrl::fromUserInput(t);
  return QDesktopServices::openUrl(url);
}

void SetHelpService(THelpService s) { gHelpService = std::move(s); }
const THelpRequest& LastHelpRequest() { return gLastHelp; }

void SetModalAnswer(TModalAnswer a) { gModalAnswer = std::move(a); }
bool HasModalAnswer() { return bool(gModalAnswer); }

namespace {
int DefaultAnswer(const TModalRequest& r) {
  if (r.Kind == mkMessage || r.Kind == mkError) {
    if (r.Buttons == 0 || (r.Buttons & mbOK)) return mrOk;
    if (r.Buttons & mbCancel) return mrCancel;
    if (r.Buttons & mbNo) return mrNo;
    return mrCancel;
  }
  return mrCancel;
}

int RealMessageBox(const TModalRequest& r) {
  QMessageBox box;
  box.setWindowTitle(QString::fromStdString(r.Caption));
  box.setText(QString::fromStdString(r.Text));
  switch (r.DlgType) {
    case mtWarning: box.setIcon(QMessageBox::Warning); break;
    case mtError: box.setIcon(QMessageBox::Critical); break;
    case mtInformation: box.setIcon(QMessageBox::Information); break;
    case mtConfirmation: box.setIcon(QMessageBox::Question); break;
    default: break;
  }
  struct B {
    unsigned bit;
    QMessageBox::StandardButton qt;
    int result;
  };
  const B map[] = {{mbYes, QMessageBox::Yes, mrYes},
                   {mbNo, QMessageBox::No, mrNo},
                   {mbOK, QMessageBox::Ok, mrOk},
                   {mbCancel, QMessageBox::Cancel, mrCancel},
                   {mbAbort, QMessageBox::Abort, mrAbort},
                   {mbRetry, QMessageBox::Retry, mrRetry},
                   {mbIgnore, QMessageBox::Ignore, mrIgnore},
                   {mbAll, QMessageBox::YesToAll, mrAll},
                   {mbNoToAll, QMessageBox::NoToAll, mrNoToAll},
                   {mbYesToAll, QMessageBox::YesToAll, mrYesToAll},
                   {mbHelp, QMessageBox::Help, 0}};
  unsigned buttons = r.Buttons ? r.Buttons : unsigned(mbOK);
  for (auto& b : map)
    if (buttons & b.bit) box.addButton(b.qt);
  int q = box.exec();
  for (auto& b : map)
    if (q == b.qt) return b.result;
  return mrCancel;
}
}  // namespace

int RunModal(TModalRequest& r) {
  if (gModalAnswer) return gModalAnswer(r);
  if (HeadlessPlatform()) {
    std::fprintf(stderr, "modal request \"%s\" / \"%s\" not answered\n", r.Caption.c_str(), r.Text.c_str());
    return DefaultAnswer(r);
  }
  switch (r.Kind) {
    case mkMessage:
    case mkError: return RealMessageBox(r);
    case mkInputQuery: {
      bool ok = false;
      QString v = QInputDialog::getText(nullptr, QString::fromStdString(r.Caption), QString::fromStdString(r.Text),
                                        QLineEdit::Normal, QString::fromStdString(r.Value), &ok);
      if (ok) r.Value = v.toStdString();
      return ok ? mrOk : mrCancel;
    }
    default: return mrCancel;
  }
}

namespace {
std::string DlgCaption(TMsgDlgType t) {
  switch (t) {
    case mtWarning: return "Warning";
    case mtError: return "Error";
    case mtInformation: return "Information";
    case mtConfirmation: return "Confirm";
    default: return Application ? Application->Title() : std::string();
  }
}
}  // namespace

int MessageDlg(const std::string& msg, TMsgDlgType type, TMsgDlgButtons buttons, int helpCtx) {
  TModalRequest r;
  r.Kind = mkMessage;
  r.Caption = DlgCaption(type);
  r.Text = msg;
  r.DlgType = type;
  r.Buttons = buttons;
  r.HelpContext = helpCtx;
  return RunModal(r);
}

void ShowMessage(const std::string& msg) {
  TModalRequest r;
  r.Kind = mkMessage;
  r.Caption = Application ? Application->Title() : std::string();
  r.Text = msg;
  r.Buttons = mbOK;
  RunModal(r);
}

bool InputQuery(const std::string& caption, const std::string& prompt, std::string& value) {
  TModalRequest r;
  r.Kind = mkInputQuery;
  r.Caption = caption;
  r.Text = prompt;
  r.Value = value;
  int res = RunModal(r);
  if (res == mrOk) value = r.Value;
  return res == mrOk;
}

std::string InputBox(const std::string& caption, const std::string& prompt, const std::string& def) {
  std::string v = def;
  return InputQuery(caption, prompt, v) ? v : def;
}

// ---------------------------------------------------------------------------------------------
// TApplication

TApplication::TApplication(TComponent* owner) : TComponent(owner) {
  // A save past the file-size limit fails as a write error instead of ending the program.
  std::signal(SIGXFSZ, SIG_IGN);
}
TApplication::~TApplication() = default;

void TApplication::SetHint(const std::string& h) {
  if (h == FHint) return;
  FHint = h;
  if (OnHint) Dispatch(this, [this] { OnHint(this); });
}

namespace {
// Help at a context of a file: the help service shows it, else the user is told that the
// file is not there to be shown.
bool ShowHelp(const std::string& file, int context) {
  THelpRequest r{file, context};
  gLastHelp = r;
  if (gHelpService && gHelpService(r)) return true;
  if (Application && !file.empty())
    Application->MessageBox("Help file " + ExtractFileName(file) + " is not installed.", Application->Title(),
                            MB_OK | MB_ICONINFORMATION);
  return false;
}
}  // namespace

bool TApplication::HelpContext(int context) { return ShowHelp(FHelpFile, context); }

// F1: help at the context of the control, else of the nearest parent that has one (the form
// last), in the form's help file, else the application's.
bool FormHelpKey(TControl* c) {
  int context = 0;
  for (TControl* p = c; p && !context; p = p->Parent()) context = p->HelpContext();
  if (!context || !Application) return false;
  TForm* f = c->ParentForm();
  ShowHelp(f && !f->HelpFile().empty() ? f->HelpFile() : Application->HelpFile(), context);
  return true;
}

bool TApplication::HelpCommand(int, int data) { return HelpContext(data); }

void TApplication::ShowException(const std::exception& e) {
  std::string msg = e.what();
  // The class library ends the message with a period.
  if (!msg.empty() && msg.back() > '.') msg += '.';
  TModalRequest r;
  r.Kind = mkError;
  r.Caption = FTitle;
  r.Text = msg;
  r.DlgType = mtError;
  r.Buttons = mbOK;
  RunModal(r);
}

void TApplication::HandleException(TObject* sender) {
  std::exception_ptr p = std::current_exception();
  if (!p) return;
  try {
    std::rethrow_exception(p);
  } catch (const EAbort&) {
    // The silent exception.
  } catch (const std::exception& e) {
    if (OnException) OnException(sender, e);
    else ShowException(e);
  } catch (...) {
    Exception e("Unknown exception");
    if (OnException) OnException(sender, e);
    else ShowException(e);
  }
}

void TApplication::ProcessMessages() {
  if (QCoreApplication::instance()) QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void TApplication::Run() {
  if (!QCoreApplication::instance()) return;
  if (FMainForm) FMainForm->Show();
  while (!FTerminated) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents | QEventLoop::AllEvents);
}

void TApplication::Terminate() {
  FTerminated = true;
  if (QCoreApplication::instance()) QCoreApplication::postEvent(QCoreApplication::instance(), new QEvent(QEvent::User));
}

int TApplication::MessageBox(const std::string& text, const std::string& caption, int flags) {
  TModalRequest r;
  r.Kind = mkMessage;
  r.Caption = caption;
  r.Text = text;
  switch (flags & 0xF) {
    case MB_OKCANCEL: r.Buttons = mbOK | mbCancel; break;
    case MB_YESNOCANCEL: r.Buttons = mbYes | mbNo | mbCancel; break;
    case MB_YESNO: r.Buttons = mbYes | mbNo; break;
    default: r.Buttons = mbOK; break;
  }
  switch (flags & 0xF0) {
    case MB_ICONERROR: r.DlgType = mtError; break;
    case MB_ICONQUESTION: r.DlgType = mtConfirmation; break;
    case MB_ICONWARNING: r.DlgType = mtWarning; break;
    case MB_ICONINFORMATION: r.DlgType = mtInformation; break;
    default: break;
  }
  return RunModal(r);
}

void TApplication::BringToFront() {
  if (FMainForm) FMainForm->BringToFront();
}

// ---------------------------------------------------------------------------------------------
// TScreen

TScreen::TScreen(TComponent* owner) : TComponent(owner) {}

int TScreen::Width() const {
  if (PlatformServices().ScreenSize) return PlatformServices().ScreenSize().cx;
  if (QGuiApplication::instance() && QGuiApplication::primaryScreen())
    return QGuiApplication::primaryScreen()->size().width();
  return 1024;
}

int TScreen::Height() const {
  if (PlatformServices().ScreenSize) return PlatformServices().ScreenSize().cy;
  if (QGuiApplication::instance() && QGuiApplication::primaryScreen())
    return QGuiApplication::primaryScreen()->size().height();
  return 768;
}

int TScreen::PixelsPerInch() const { return ScreenPixelsPerInch(); }

void TScreen::SetCursor(TCursor c) {
  if (c == FCursor) return;
  bool had = FCursor != crDefault;
  FCursor = c;
  if (!QGuiApplication::instance()) return;
  if (had) QGuiApplication::restoreOverrideCursor();
  if (c != crDefault) QGuiApplication::setOverrideCursor(QtCursor(c));
}

void TScreen::SetCursorImage(TCursor id, const QCursor& c) {
  for (auto& e : FCursors)
    if (e.first == id) {
      e.second = std::make_shared<QCursor>(c);
      return;
    }
  FCursors.push_back({id, std::make_shared<QCursor>(c)});
}

bool TScreen::HasCursor(TCursor id) const {
  if (id <= 0 && id >= crSizeAll) return true;
  for (auto& e : FCursors)
    if (e.first == id) return true;
  return false;
}

QCursor TScreen::QtCursor(TCursor id) const {
  for (auto& e : FCursors)
    if (e.first == id) return *e.second;
  switch (id) {
    case crNone: return QCursor(Qt::BlankCursor);
    case crCross: return QCursor(Qt::CrossCursor);
    case crIBeam: return QCursor(Qt::IBeamCursor);
    case crSizeNESW: return QCursor(Qt::SizeBDiagCursor);
    case crSizeNS: return QCursor(Qt::SizeVerCursor);
    case crSizeNWSE: return QCursor(Qt::SizeFDiagCursor);
    case crSizeWE: return QCursor(Qt::SizeHorCursor);
    case crUpArrow: return QCursor(Qt::UpArrowCursor);
    case crHourGlass:
    case crSQLWait: return QCursor(Qt::WaitCursor);
    case crDrag:
    case crMultiDrag: return QCursor(Qt::DragCopyCursor);
    case crNoDrop:
    case crNo: return QCursor(Qt::ForbiddenCursor);
    case crHSplit: return QCursor(Qt::SplitHCursor);
    case crVSplit: return QCursor(Qt::SplitVCursor);
    case crAppStart: return QCursor(Qt::BusyCursor);
    case crHelp: return QCursor(Qt::WhatsThisCursor);
    case crHandPoint: return QCursor(Qt::PointingHandCursor);
    case crSizeAll: return QCursor(Qt::SizeAllCursor);
    default: return QCursor(Qt::ArrowCursor);
  }
}

TPoint TScreen::CursorPos() const {
  if (PlatformServices().CursorPos) return PlatformServices().CursorPos();
  if (!QGuiApplication::instance()) return {};
  QPoint p = QCursor::pos();
  return {p.x(), p.y()};
}

void TScreen::SetActiveForm(TForm* f) {
  if (f == FActiveForm) return;
  FActiveForm = f;
  if (OnActiveFormChange) Dispatch(this, [this] { OnActiveFormChange(this); });
}

void TScreen::AddForm(TForm* f) { FForms.push_back(f); }

void TScreen::RemoveForm(TForm* f) {
  std::erase(FForms, f);
  if (FActiveForm == f) {
    FActiveForm = nullptr;
    if (OnActiveFormChange) Dispatch(this, [this] { OnActiveFormChange(this); });
  }
}
