// Memory and body switches of the viewer at 1920 x 1080: the resident set (VmRSS) and its
// peak (VmHWM) after start and after visiting all fourteen bodies (twice), each printed
// with its goal, against an empty full-screen OpenGL window measured in the same run;
// and, on the same tour, how long each click takes until the new body is fully shown,
// beyond its two half-second fades (first visits of the ring bodies included).
//
// VmHWM is the peak over the whole run so far, the start's included. The figures are the
// process's own; the X server's memory is not in them.
//
// Needs a display with OpenGL 3.3, for instance a virtual one at 1920 x 1080 with a
// window manager:
//   Xvfb :97 -screen 0 1920x1080x24 -nolisten tcp &  openbox &
//   DISPLAY=:97 LIBGL_ALWAYS_SOFTWARE=1 bench_memory
// Each measurement runs in a child process of its own, so the peaks are not shared.
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <cstring>
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
  std::sort(beyond.begin(), beyond.end());
  std::printf("switch beyond the fades: median %.3f s, worst %.3f s, worst first ring visit %.3f s\n",
              beyond[beyond.size() / 2], beyond.back(), firstRing);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "--child") == 0)
    return std::strcmp(argv[2], "empty") == 0 ? RunEmpty() : RunViewer();
  const QString empty = bench::RunChild(argv[0], {QStringLiteral("empty")});
  const QString viewer = bench::RunChild(argv[0], {QStringLiteral("viewer")});
  if (empty.isEmpty() || viewer.isEmpty()) return 1;
  std::printf("%s%s", empty.toLocal8Bit().constData(), viewer.toLocal8Bit().constData());
  const double base = bench::Figure(empty, "empty window", "resident");
  const double startRss = bench::Figure(viewer, "viewer after start", "resident");
  const double startPeak = bench::Figure(viewer, "viewer after start", "peak");
  const double tourRss = bench::Figure(viewer, "after the 14 bodies again", "resident");
  const double tourPeak = bench::Figure(viewer, "after the 14 bodies again", "peak");
  std::printf("\nthe figures with their goals (empty window resident %.1f MiB):\n", base);
  bench::Goal("resident after start (MiB)", startRss, "MiB", 300);
  bench::Goal("resident after visiting all fourteen bodies (MiB)", tourRss, "MiB", 380);
  bench::Goal("peak / resident after start", startPeak / startRss, "", 1.15);
  bench::Goal("peak / resident after the tour", tourPeak / tourRss, "", 1.15);
  bench::Goal("click to fully shown beyond the fades, median (s)",
              bench::Figure(viewer, "switch beyond the fades", "median"), "s", 0.15);
  bench::Goal("click to fully shown beyond the fades, worst (s)",
              bench::Figure(viewer, "switch beyond the fades", "worst"), "s", 0.15);
  bench::Goal("  of which first visit of a ring body, worst (s)",
              bench::Figure(viewer, "switch beyond the fades", "ring visit"), "s", 0.15);
  return 0;
}
