// Processor use of the viewer at rest: after the start's fly-in has ended, with no
// input, the process's processor time as a share of one core, with Auto-rotate on (the
// default: the body spins) and then switched off (the menu's handler), against an empty
// full-screen OpenGL window measured the same way in the same run. Also counts the
// frames painted meanwhile and whether the animation clock's timer is still on: with
// Auto-rotate off the viewer should draw nothing and tick nothing. The X server's own
// processor time (it shows each frame) is not in the figures.
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
#include "scene/animation/clock.h"
#include "scene/view/camera.h"
#include "ui/application.h"
#include "ui/form_window.h"
#include "ui/popup_menu.h"

namespace {

// Runs the event loop for ASeconds and prints the processor share and the frames painted.
void MeasureIdle(QOpenGLWindow* AWindow, double ASeconds, const char* AWho) {
  int frames = 0;
  const QMetaObject::Connection c =
      QObject::connect(AWindow, &QOpenGLWindow::frameSwapped, AWindow, [&frames] { ++frames; });
  QEventLoop loop;
  QTimer::singleShot(static_cast<int>(ASeconds * 1000), &loop, &QEventLoop::quit);
  QElapsedTimer wall;
  const double cpu0 = bench::CpuSeconds();
  wall.start();
  loop.exec();
  const double cpu = bench::CpuSeconds() - cpu0, secs = wall.nsecsElapsed() / 1e9;
  QObject::disconnect(c);
  std::printf("%s: %.3f %% of a core over %.1f s, %d frames painted\n", AWho, 100.0 * cpu / secs, secs, frames);
  std::fflush(stdout);
}

int RunEmpty(double ASeconds) {
  return bench::RunEmptyWindow(1000, [&](QOpenGLWindow& w) { MeasureIdle(&w, ASeconds, "empty window"); });
}

int RunViewer(double ASeconds) {
  using namespace sphaerix;
  bench::TViewerRun viewer;
  if (!viewer.Ok()) return 1;
  viewer.WaitForFlyIn();
  MeasureIdle(Form2->Window(), ASeconds, "viewer, auto-rotate on");
  Form2->MenuItem1Click(Form2->MenuItem1);  // Auto-rotate off
  bench::Pump(500);                         // the last frames of the change
  MeasureIdle(Form2->Window(), ASeconds, "viewer, auto-rotate off");
  const TAniThread* clock = TAniThread::Instance();
  std::printf("animation clock: %s, %zu animations on it\n",
              clock && clock->TimerEnabled() ? "timer on" : "timer off", clock ? clock->Animations().size() : 0);
  return 0;
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
  const QString empty = bench::RunChild(argv[0], {QStringLiteral("empty"), QString::number(secs)},
                                       static_cast<int>(secs * 1000) + 60000);
  const QString viewer = bench::RunChild(argv[0], {QStringLiteral("viewer"), QString::number(secs)},
                                        static_cast<int>(2 * secs * 1000) + 90000);
  if (empty.isEmpty() || viewer.isEmpty()) return 1;
  std::printf("%s%s", empty.toLocal8Bit().constData(), viewer.toLocal8Bit().constData());
  const double e = Share(empty, "empty window"), on = Share(viewer, "viewer, auto-rotate on"),
               off = Share(viewer, "viewer, auto-rotate off");
  std::printf("\nthe figures (empty window %.3f %% of a core):\n", e);
  std::printf("  viewer spinning (auto-rotate on): %.1f %% of a core\n", on);
  bench::Goal("viewer at rest (auto-rotate off), % of a core", off, "%", 1.0);
  return 0;
}
