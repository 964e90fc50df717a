// Pieces the viewer benchmarks share: each measurement runs in a child process of its
// own, against an empty full-screen OpenGL window measured the same way.
#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QOpenGLWindow>
#include <QThread>
#include <functional>

namespace bench {

// Dispatches events for AMs milliseconds.
inline void Pump(int AMs) {
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < AMs) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(2);
  }
}

// The baseline: an empty full-screen OpenGL window, left to settle for ASettleMs, then
// AMeasure runs on it.
inline int RunEmptyWindow(int ASettleMs, const std::function<void(QOpenGLWindow&)>& AMeasure) {
  int argc = 1;
  char name[] = "empty";
  char* argv[] = {name, nullptr};
  QGuiApplication app(argc, argv);
  QOpenGLWindow window;
  window.showFullScreen();
  Pump(ASettleMs);
  AMeasure(window);
  return 0;
}

}  // namespace bench
