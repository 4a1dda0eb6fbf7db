#include "platform/gui/messageloop.h"

#include <QApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>

#include "platform/core/system.h"
#include "platform/gui/controls.h"

namespace {

constexpr int kHeartbeatMs = 20;

class TOfferFilter : public QObject {
 public:
  explicit TOfferFilter(const std::function<bool(TMsg&)>& offer) : FOffer(offer) {}

 protected:
  bool eventFilter(QObject* o, QEvent* e) override {
    // Events delivered while an offer runs reach their receivers directly.
    if (FBusy) return false;
    TMsg m;
    m.hwnd = o->isWidgetType() ? static_cast<void*>(o) : nullptr;
    m.message = uint32_t(e->type());
    m.lParam = reinterpret_cast<intptr_t>(e);
    m.time = GetTickCount();
    FBusy = true;
    bool claimed = false;
    try {
      claimed = FOffer(m);
    } catch (...) {
      claimed = false;
    }
    FBusy = false;
    return claimed;
  }

 private:
  const std::function<bool(TMsg&)>& FOffer;
  bool FBusy = false;
};

}  // namespace

void RunMessageLoop(const std::function<bool()>& Continue, const std::function<bool(TMsg&)>& Offer) {
  QCoreApplication* app = QCoreApplication::instance();
  if (!app) return;
  TOfferFilter filter(Offer);
  app->installEventFilter(&filter);
  QTimer heartbeat;
  heartbeat.start(kHeartbeatMs);
  while (Continue() && !(Application && Application->Terminated()))
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents | QEventLoop::AllEvents);
}

bool IsWindow(QWidget* Window) {
  if (!Window || !qobject_cast<QApplication*>(QCoreApplication::instance())) return false;
  return QApplication::allWidgets().contains(Window);
}

void EnableWindow(QWidget* Window, bool Enable) {
  if (IsWindow(Window)) Window->setEnabled(Enable);
}

QWidget* TopLevelWindow(QWidget* Window) { return IsWindow(Window) ? Window->window() : nullptr; }

void FocusWindow(QWidget* Window) {
  if (IsWindow(Window)) Window->setFocus();
}

QWidget* CreateProxyWindow(const std::string& Title) {
  if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return nullptr;
  auto* w = new QWidget(nullptr, Qt::Popup);
  w->setWindowTitle(QString::fromStdString(Title));
  return w;
}

void DestroyProxyWindow(QWidget* Window) {
  if (IsWindow(Window)) delete Window;
}
