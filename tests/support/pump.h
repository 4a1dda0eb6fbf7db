// Lets the event loop run for a while, as a user's screen would between two steps.
#pragma once
#include <QCoreApplication>
#include <QElapsedTimer>

namespace vltest {

inline void Pump(int ms) {
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
}

}  // namespace vltest
