// Processor use of the idle viewer: after the start's fly-in has ended, with Auto-rotate
// switched off (the menu's handler) and no input, the process's processor time over
// 10 s as a share of one core, against an empty full-screen OpenGL window measured the
// same way in the same run. Also counts the frames painted meanwhile and whether the
// animation clock's timer is still on: an idle viewer should draw nothing and tick
// nothing.
//
// Needs a display with OpenGL 3.3, for instance a virtual one at 1920 x 1080 with a
// window manager:
//   Xvfb :97 -screen 0 1920x1080x24 -nolisten tcp &  openbox &
//   DISPLAY=:97 LIBGL_ALWAYS_SOFTWARE=1 bench_idle_cpu [seconds]
// Each measurement runs in a child process of its own.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QGuiApplication>
#include <QOpenGLWindow>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/Unit1.h"
#include "bench/harness.h"
#include "app/Unit2.h"
#include "scene/animation.h"
#include "scene/camera.h"
#include "ui/application.h"
#include "ui/form_window.h"
#include "ui/popup_menu.h"

namespace {

double CpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Runs the event loop for ASeconds and prints the processor share and the frames painted.
void MeasureIdle(QOpenGLWindow* AWindow, double ASeconds, const char* AWho) {
  int frames = 0;
  const QMetaObject::Connection c =
      QObject::connect(AWindow, &QOpenGLWindow::frameSwapped, AWindow, [&frames] { ++frames; });
  QEventLoop loop;
  QTimer::singleShot(static_cast<int>(ASeconds * 1000), &loop, &QEventLoop::quit);
  QElapsedTimer wall;
  const double cpu0 = CpuSeconds();
  wall.start();
  loop.exec();
  const double cpu = CpuSeconds() - cpu0, secs = wall.nsecsElapsed() / 1e9;
  QObject::disconnect(c);
  std::printf("%s: %.3f %% of a core over %.1f s, %d frames painted\n", AWho, 100.0 * cpu / secs, secs, frames);
  std::fflush(stdout);
}

int RunEmpty(double ASeconds) {
  return bench::RunEmptyWindow(1000, [&](QOpenGLWindow& w) { MeasureIdle(&w, ASeconds, "empty window"); });
}

int RunViewer(double ASeconds) {
  using namespace sphaerix;
  TApplication application;
  application.Initialize();
  application.CreateForm(Form2);
  application.CreateForm(Form1);
  application.CreateQueuedForms();
  if (!Form2) return 1;
  application.ShowMainForm();
  QElapsedTimer t;
  t.start();
  while (Form2->Camera1->Position().Z() != -15.0f && t.elapsed() < 20000) bench::Pump(50);
  Form2->MenuItem1Click(Form2->MenuItem1);  // Auto-rotate off
  bench::Pump(500);                                // the last frames of the change
  MeasureIdle(Form2->Window(), ASeconds, "viewer");
  const TAniThread* clock = TAniThread::Instance();
  std::printf("animation clock: %s, %zu animations on it\n",
              clock && clock->TimerEnabled() ? "timer on" : "timer off", clock ? clock->Animations().size() : 0);
  return 0;
}

QString RunChild(const char* AProgram, const char* AMode, double ASeconds) {
  QTemporaryDir home;
  QProcess p;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("HOME", home.path());
  p.setProcessEnvironment(env);
  p.start(QString::fromLocal8Bit(AProgram),
          {QStringLiteral("--child"), QString::fromLatin1(AMode), QString::number(ASeconds)});
  if (!p.waitForFinished(static_cast<int>(ASeconds * 1000) + 60000) || p.exitCode() != 0) {
    std::fprintf(stderr, "%s: failed\n%s", AMode, p.readAllStandardError().constData());
    return {};
  }
  return QString::fromLocal8Bit(p.readAllStandardOutput());
}

double Share(const QString& AOutput, const char* AWho) {
  for (const QString& line : AOutput.split('\n'))
    if (line.startsWith(QLatin1String(AWho) + QLatin1Char(':')))
      return line.section(':', 1).trimmed().section(' ', 0, 0).toDouble();
  return -1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "--child") == 0) {
    const double secs = std::atof(argv[3]);
    return std::strcmp(argv[2], "empty") == 0 ? RunEmpty(secs) : RunViewer(secs);
  }
  const double secs = argc > 1 ? std::max(1.0, std::atof(argv[1])) : 10.0;
  const QString empty = RunChild(argv[0], "empty", secs);
  const QString viewer = RunChild(argv[0], "viewer", secs);
  if (empty.isEmpty() || viewer.isEmpty()) return 1;
  std::printf("%s%s", empty.toLocal8Bit().constData(), viewer.toLocal8Bit().constData());
  const double e = Share(empty, "empty window"), v = Share(viewer, "viewer");
  std::printf("idle viewer: %.3f %% of a core (target <= 1 %%); empty window %.3f %%; ", v, e);
  if (e > 0)
    std::printf("ratio %.2f\n", v / e);
  else
    std::printf("difference %+.3f points (the empty window used no measurable time)\n", v - e);
  return 0;
}
