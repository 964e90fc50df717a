// Waiting in tests: for a condition, never for a fixed time where a condition exists.
// Both dispatch this process's events meanwhile when it has a toolkit application.
#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <functional>

namespace sphaerix::testing {

// Dispatches events until ADone() holds or ATimeoutMs passed; returns ADone(). The
// limit is generous: on a busy machine one software-rendered frame can take half a second.
inline bool WaitFor(const std::function<bool()>& ADone, int ATimeoutMs = 10000) {
  QElapsedTimer t;
  t.start();
  while (!ADone() && t.elapsed() < ATimeoutMs) {
    if (QCoreApplication::instance())
      QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(2);
  }
  return ADone();
}

// Dispatches events for AMs: only for what has no condition to wait on (the double-click
// interval of the platform running out).
inline void Pump(int AMs) {
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < AMs) {
    if (QCoreApplication::instance())
      QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(2);
  }
}

}  // namespace sphaerix::testing
