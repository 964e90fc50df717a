// Memory and body switches of the viewer at 1920 x 1080: the resident set (VmRSS) and its
// peak (VmHWM) after start and after visiting all fourteen bodies (twice), each printed
// with its goal, against an empty full-screen OpenGL window measured in the same run;
// and, on the same tour, how long each click takes until the new body is fully shown,
// beyond its two half-second fades (first visits of the ring bodies included).
//
// With --burst, the impatient user instead: after a calm tour of the fourteen bodies, a
// click every 0.2 s on Mars and Earth alternately for 40 s, faster than the fades; the
// peak during the burst (VmHWM, reset before it) and the level once it has settled are
// printed against the calm tour's level from the same process.
//
// Each peak (VmHWM) is the one since the level before it: the start's from nothing, the
// tour's from the level after start (the peak is reset there), and Saturn's, shown after
// the tour, from the level after the tour; each is printed against the level it rises
// from. The figures are the process's own; the X server's memory is not in them.
//
// Needs a display with OpenGL 3.3, for instance a virtual one at 1920 x 1080 with a
// window manager:
//   Xvfb :97 -screen 0 1920x1080x24 -nolisten tcp &  openbox &
//   DISPLAY=:97 LIBGL_ALWAYS_SOFTWARE=1 bench_memory
// Each measurement runs in a child process of its own, so the peaks are not shared.
#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <vector>

#include "bench/harness.h"
#include "ui/controls.h"

namespace {

void Report(const char* AWhen) {
  std::printf("%-30s peak %7.1f MiB   resident %7.1f MiB  (anonymous %7.1f, file-backed %6.1f)\n", AWhen,
              bench::ProcField("/proc/self/status", "VmHWM"), bench::ProcField("/proc/self/status", "VmRSS"),
              bench::ProcField("/proc/self/smaps_rollup", "Anonymous"),
              bench::ProcField("/proc/self/status", "RssFile"));
  std::fflush(stdout);
}

// Forgets the peak so far: VmHWM starts again from the present level.
void ResetPeak() {
  std::FILE* f = std::fopen("/proc/self/clear_refs", "w");
  if (!f) return;
  std::fputs("5", f);
  std::fclose(f);
}

int RunEmpty() {
  return bench::RunEmptyWindow(1500, [&](QOpenGLWindow&) { Report("empty window"); });
}

int RunViewer() {
  using namespace sphaerix;
  bench::TViewerRun viewer;
  if (!viewer.Ok()) return 1;
  // Through the fly-in, so every frame of the start has been drawn.
  viewer.WaitForFlyIn();
  bench::Pump(300);
  Report("viewer after start");
  ResetPeak();
  std::vector<double> beyond;
  double firstRing = 0;
  for (int round = 1; round <= 2; ++round) {
    for (int body = 1; body <= 14; ++body) {
      const int index = body % 14;  // ends on Earth, where it began
      QElapsedTimer t;
      t.start();
      Form2->Buttons[index]->Click();  // returns once the body has faded in
      const double extra = t.nsecsElapsed() / 1e9 - 1.0;
      beyond.push_back(extra);
      if (round == 1 && (index == 5 || index == 6)) firstRing = std::max(firstRing, extra);
      bench::Pump(150);  // a few frames of the new body
    }
    Report(round == 1 ? "after the 14 bodies" : "after the 14 bodies again");
  }
  ResetPeak();
  Form2->Buttons[5]->Click();
  bench::Pump(300);
  Report("with Saturn shown");
  std::sort(beyond.begin(), beyond.end());
  std::printf("switch beyond the fades: median %.3f s, worst %.3f s, worst first ring visit %.3f s\n",
              beyond[beyond.size() / 2], beyond.back(), firstRing);
  return 0;
}

int RunBurst() {
  using namespace sphaerix;
  bench::TViewerRun viewer;
  if (!viewer.Ok()) return 1;
  viewer.WaitForFlyIn();
  for (int body = 1; body <= 14; ++body) Form2->Buttons[body % 14]->Click();
  bench::Pump(1000);
  Report("after a calm tour");
  ResetPeak();
  QElapsedTimer t;
  t.start();
  int clicks = 0;
  // Each click from a timer of its own: the running switch's wait must not hold it back.
  std::function<void()> click = [&] {
    if (t.elapsed() > 40000) return;
    QTimer::singleShot(200, click);
    Form2->Buttons[clicks++ % 2 == 0 ? 1 : 0]->Click();
  };
  QTimer::singleShot(0, click);
  while (t.elapsed() < 120000 && (t.elapsed() <= 40000 || Form2->Maps().SelectionRunning())) bench::Pump(50);
  bench::Pump(1000);
  Report("after the burst");
  std::printf("burst: %d clicks\n", clicks);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "--child") == 0)
    return std::strcmp(argv[2], "empty") == 0 ? RunEmpty()
           : std::strcmp(argv[2], "burst") == 0 ? RunBurst()
                                                : RunViewer();
  if (argc == 2 && std::strcmp(argv[1], "--burst") == 0) {
    const QString burst = bench::RunChild(argv[0], {QStringLiteral("burst")});
    if (burst.isEmpty()) return 1;
    std::printf("%s", burst.toLocal8Bit().constData());
    const double calm = bench::Figure(burst, "after a calm tour", "resident");
    std::printf("\nthe figures with their goals (against the calm tour's level, %.1f MiB):\n", calm);
    bench::Goal("peak during the burst / calm level", bench::Figure(burst, "after the burst", "peak") / calm, "", 1.3);
    bench::Goal("settled after the burst / calm level", bench::Figure(burst, "after the burst", "resident") / calm, "",
                1.02);
    return 0;
  }
  const QString empty = bench::RunChild(argv[0], {QStringLiteral("empty")});
  const QString viewer = bench::RunChild(argv[0], {QStringLiteral("viewer")});
  if (empty.isEmpty() || viewer.isEmpty()) return 1;
  std::printf("%s%s", empty.toLocal8Bit().constData(), viewer.toLocal8Bit().constData());
  const double base = bench::Figure(empty, "empty window", "resident");
  const double startRss = bench::Figure(viewer, "viewer after start", "resident");
  const double startPeak = bench::Figure(viewer, "viewer after start", "peak");
  const double tourRss = bench::Figure(viewer, "after the 14 bodies again", "resident");
  const double tourPeak = bench::Figure(viewer, "after the 14 bodies again", "peak");
  const double saturnRss = bench::Figure(viewer, "with Saturn shown", "resident");
  const double saturnPeak = bench::Figure(viewer, "with Saturn shown", "peak");
  std::printf("\nthe figures with their goals (empty window resident %.1f MiB):\n", base);
  bench::Goal("resident after start (MiB)", startRss, "MiB", 220);
  bench::Goal("resident after visiting all fourteen bodies (MiB)", tourRss, "MiB", 250);
  bench::Goal("resident with Saturn shown (MiB)", saturnRss, "MiB", 270);
  bench::Goal("peak of the start / resident after start", startPeak / startRss, "", 1.10);
  bench::Goal("peak of the tour / resident after start", tourPeak / startRss, "", 1.10);
  bench::Goal("peak of Saturn / resident after the tour", saturnPeak / tourRss, "", 1.10);
  bench::Goal("click to fully shown beyond the fades, median (s)",
              bench::Figure(viewer, "switch beyond the fades", "median"), "s", 0.15);
  bench::Goal("click to fully shown beyond the fades, worst (s)",
              bench::Figure(viewer, "switch beyond the fades", "worst"), "s", 0.15);
  bench::Goal("  of which first visit of a ring body, worst (s)",
              bench::Figure(viewer, "switch beyond the fades", "ring visit"), "s", 0.15);
  return 0;
}
