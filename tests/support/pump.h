// Lets the event loop run for a while, as a user's screen would between two steps; or until a
// condition holds (screen tests wait for what they need, never for a fixed time).
#pragma once
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <functional>
#include <memory>
#include <utility>

namespace vltest {

inline void Pump(int ms) {
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
}

// Runs the event loop until Done holds, looking every few milliseconds; false when it still
// doesn't after TimeoutMs (a bound for a stuck run, far above any busy machine's time).
inline bool WaitFor(const std::function<bool()>& Done, int TimeoutMs = 60000) {
  QElapsedTimer t;
  t.start();
  while (!Done()) {
    if (t.elapsed() > TimeoutMs) return false;
    QEventLoop loop;
    QTimer::singleShot(10, &loop, &QEventLoop::quit);
    loop.exec();
  }
  return true;
}

// The widget is on the screen as it draws itself: shown, its window exposed, and the screen's
// pixels where it lies its own (so covered by nothing; of a window larger than the screen, the
// part on the screen). A control that a change of the window's state left unrepainted may
// differ in a few pixels.
inline bool OnScreen(QWidget* w) {
  if (!w || !w->isVisible() || !w->window()->windowHandle() || !w->window()->windowHandle()->isExposed()) return false;
  QScreen* screen = QGuiApplication::primaryScreen();
  const QRect global(w->mapToGlobal(QPoint(0, 0)), w->size());
  const QRect seen = global & screen->geometry();
  if (seen.isEmpty()) return false;
  const QImage shown = screen->grabWindow(0, seen.x(), seen.y(), seen.width(), seen.height())
                           .toImage()
                           .convertToFormat(QImage::Format_RGB32);
  const QImage drawn =
      w->grab(QRect(seen.topLeft() - global.topLeft(), seen.size())).toImage().convertToFormat(QImage::Format_RGB32);
  if (shown.size() != drawn.size()) return false;
  int64_t differ = 0;
  for (int y = 0; y < shown.height(); ++y) {
    const QRgb* a = reinterpret_cast<const QRgb*>(shown.constScanLine(y));
    const QRgb* b = reinterpret_cast<const QRgb*>(drawn.constScanLine(y));
    for (int x = 0; x < shown.width(); ++x) differ += (a[x] & 0xFFFFFF) != (b[x] & 0xFFFFFF);
  }
  return differ * 100 <= int64_t(shown.width()) * shown.height();
}

// Waits until the widget is on the screen as it draws itself and stays so a moment later
// (a window manager's maximising may come after the first showing).
inline bool WaitOnScreen(QWidget* w, int TimeoutMs = 60000) {
  QRect last;
  int same = 0;
  return WaitFor(
      [&] {
        if (!OnScreen(w)) return (same = 0), false;
        const QRect now(w->mapToGlobal(QPoint(0, 0)), w->size());
        same = now == last ? same + 1 : 1;
        last = now;
        return same >= 3;
      },
      TimeoutMs);
}

// For windows that run an event loop of their own (a modal box, a slide show), where a wait of
// the test never gets control: a timer looks every few milliseconds for the widget Find
// returns (null: not yet) and, once it is on the screen as it draws itself a few looks in a
// row, runs Act with it. After TimeoutMs Act runs with null.
inline void WhenOnScreen(std::function<QWidget*()> Find, std::function<void(QWidget*)> Act, int TimeoutMs = 60000) {
  auto* poll = new QTimer;
  auto* started = new QElapsedTimer;
  started->start();
  auto last = std::make_shared<std::pair<int, QRect>>(0, QRect());
  QObject::connect(poll, &QTimer::timeout, [=] {
    QWidget* w = nullptr;
    if (started->elapsed() <= TimeoutMs) {
      w = Find();
      if (!w || !OnScreen(w)) {
        last->first = 0;
        return;
      }
      const QRect now(w->mapToGlobal(QPoint(0, 0)), w->size());
      last->first = now == last->second ? last->first + 1 : 1;
      last->second = now;
      if (last->first < 3) return;
    }
    poll->stop();
    poll->deleteLater();
    delete started;
    Act(w);
  });
  poll->start(20);
}

}  // namespace vltest
