// Pieces the viewer benchmarks share: starting the viewer as the program does, the
// empty full-screen OpenGL window every figure is compared with, running each
// measurement in a child process of its own, and the process's own accounting.
#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QOpenGLWindow>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>
#include <sys/resource.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <string>

#include "app/Unit1.h"
#include "app/Unit2.h"
#include "scene/view/camera.h"
#include "ui/application.h"
#include "ui/form_window.h"

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

// Processor seconds of the whole process (every thread) so far.
inline double CpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// A field of /proc/self/status or smaps_rollup, in MiB.
inline double ProcField(const char* AFile, const char* AField) {
  std::ifstream in(AFile);
  std::string line;
  const std::size_t n = std::strlen(AField);
  while (std::getline(in, line))
    if (line.compare(0, n, AField) == 0 && line.size() > n && line[n] == ':')
      return std::stod(line.substr(n + 1)) / 1024.0;
  return -1;
}

// The viewer as the program starts it: the application, both windows asked for in their
// order (ACreateMain asks for the main one; a benchmark may put a subclass in its place),
// then created and the main window shown, or left to Run() as the program does.
struct TViewerRun {
  std::unique_ptr<sphaerix::TApplication> Application;

  explicit TViewerRun(bool AStart = true,
                      const std::function<void(sphaerix::TApplication&)>& ACreateMain = nullptr) {
    using namespace sphaerix;
    Application = std::make_unique<TApplication>();
    Application->Initialize();
    if (ACreateMain)
      ACreateMain(*Application);
    else
      Application->CreateForm(Form2);
    Application->CreateForm(Form1);
    if (AStart) Start();
  }
  // Creates the windows asked for and shows the main one.
  void Start() {
    Application->CreateQueuedForms();
    if (sphaerix::Form2) Application->ShowMainForm();
  }
  // The program's own loop: creates the windows, shows the main one, runs until the end.
  int Run() { return Application->Run(); }
  bool Ok() const { return sphaerix::Form2 != nullptr; }
  // Until the start's fly-in has ended (the camera still from then on).
  void WaitForFlyIn() const {
    QElapsedTimer t;
    t.start();
    while (sphaerix::Form2->Camera1->Position().Z() != -15.0f && t.elapsed() < 30000) Pump(50);
  }
};

// The baseline: an empty full-screen OpenGL window, left to settle for ASettleMs, then
// AMeasure runs on it. With a negative ASettleMs AMeasure runs before the window is
// shown and the event loop then runs until it is told to end.
inline int RunEmptyWindow(int ASettleMs, const std::function<void(QOpenGLWindow&)>& AMeasure) {
  int argc = 1;
  char name[] = "empty";
  char* argv[] = {name, nullptr};
  QGuiApplication app(argc, argv);
  QOpenGLWindow window;
  if (ASettleMs < 0) {
    AMeasure(window);
    window.showFullScreen();
    return app.exec();
  }
  window.showFullScreen();
  Pump(ASettleMs);
  AMeasure(window);
  return 0;
}

// Starts AProgram --child AArgs... with AHome as its home, so no run sees another's files:
// the OpenGL driver's shader cache among them, which starts empty, as on a first start.
inline void StartChild(QProcess& AProcess, const QTemporaryDir& AHome, const char* AProgram,
                       const QStringList& AArgs) {
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("HOME", AHome.path());
  env.insert("XDG_CACHE_HOME", AHome.path() + "/.cache");
  env.remove("MESA_SHADER_CACHE_DIR");
  AProcess.setProcessEnvironment(env);
  AProcess.setProcessChannelMode(QProcess::SeparateChannels);
  AProcess.start(QString::fromLocal8Bit(AProgram), QStringList{QStringLiteral("--child")} + AArgs);
}

// Runs AProgram --child AArgs... in a fresh home and returns what it printed (empty on
// failure, with its errors on stderr).
inline QString RunChild(const char* AProgram, const QStringList& AArgs, int ATimeoutMs = 180000) {
  QTemporaryDir home;
  QProcess p;
  StartChild(p, home, AProgram, AArgs);
  if (!p.waitForFinished(ATimeoutMs) || p.exitCode() != 0) {
    std::fprintf(stderr, "%s: failed\n%s", AArgs.join(' ').toLocal8Bit().constData(),
                 p.readAllStandardError().constData());
    return {};
  }
  return QString::fromLocal8Bit(p.readAllStandardOutput());
}

// The number after AKey on the first line of AOutput that starts with ALine; -1 if none.
inline double Figure(const QString& AOutput, const char* ALine, const char* AKey) {
  for (const QString& line : AOutput.split('\n'))
    if (line.startsWith(QLatin1String(ALine))) {
      const int at = line.indexOf(QLatin1String(AKey));
      if (at >= 0)
        return line.mid(at + static_cast<int>(std::strlen(AKey))).trimmed().section(' ', 0, 0).toDouble();
    }
  return -1;
}

// One line of a result table: the figure, its goal and whether it is met.
inline void Goal(const char* AWhat, double AValue, const char* AUnit, double AGoal, bool ALowerIsBetter = true) {
  const bool met = ALowerIsBetter ? AValue <= AGoal : AValue >= AGoal;
  std::printf("  %-58s %9.3f %-6s goal %s %.3f  %s\n", AWhat, AValue, AUnit, ALowerIsBetter ? "<=" : ">=", AGoal,
              met ? "met" : "NOT met");
}

}  // namespace bench
