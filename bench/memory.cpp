// Peak memory of the viewer: the peak resident set (VmHWM) after start, after visiting
// all fourteen bodies once and after visiting them all a second time, against an empty
// full-screen OpenGL window measured in the same run. The second round must not grow
// the first one's figures: each body's map replaces the last in the same bitmap, and
// textures are replaced in place.
//
// Needs a display with OpenGL 3.3, for instance a virtual one at 1920 x 1080 with a
// window manager:
//   Xvfb :97 -screen 0 1920x1080x24 -nolisten tcp &  openbox &
//   DISPLAY=:97 LIBGL_ALWAYS_SOFTWARE=1 bench_memory
// Each measurement runs in a child process of its own, so the peaks are not shared.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QOpenGLWindow>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "app/Unit1.h"
#include "bench/harness.h"
#include "app/Unit2.h"
#include "scene/bitmap.h"
#include "scene/material_source.h"
#include "ui/application.h"
#include "ui/form_window.h"

namespace {

// A field of /proc/self/status or smaps_rollup, in MB.
double ProcField(const char* AFile, const char* AField) {
  std::ifstream in(AFile);
  std::string line;
  const std::size_t n = std::strlen(AField);
  while (std::getline(in, line))
    if (line.compare(0, n, AField) == 0 && line.size() > n && line[n] == ':')
      return std::stod(line.substr(n + 1)) / 1024.0;
  return -1;
}

void Report(const char* AWhen) {
  std::printf("%-34s peak %7.1f MB   resident %7.1f MB  (anonymous %7.1f, file-backed %6.1f)\n", AWhen,
              ProcField("/proc/self/status", "VmHWM"), ProcField("/proc/self/status", "VmRSS"),
              ProcField("/proc/self/smaps_rollup", "Anonymous"),
              ProcField("/proc/self/status", "RssFile"));
  std::fflush(stdout);
}

double MB(const sphaerix::TBitmap& ABitmap) {
  return static_cast<double>(ABitmap.Width()) * ABitmap.Height() * 4 / (1024.0 * 1024.0);
}

int RunEmpty() {
  return bench::RunEmptyWindow(1500, [&](QOpenGLWindow& w) { Report("empty window"); });
}

int RunViewer() {
  using namespace sphaerix;
  TApplication application;
  application.Initialize();
  application.CreateForm(Form2);
  application.CreateForm(Form1);
  application.CreateQueuedForms();
  if (!Form2) return 1;
  application.ShowMainForm();
  // Through the fly-in, so every frame of the start has been drawn.
  bench::Pump(3500);
  Report("viewer after start");
  for (int round = 1; round <= 2; ++round) {
    for (int body = 1; body <= 14; ++body) {
      SelectBody(body % 14);  // ends on Earth, where it began
      bench::Pump(150);              // a few frames of the new body, its textures uploaded
    }
    Report(round == 1 ? "after visiting the 14 bodies" : "after visiting them again");
  }
  std::printf("bitmaps the window holds: stars %.1f MB, Saturn ring %.1f MB, Uranus ring %.1f MB, "
              "body map %.1f MB\n",
              MB(Form2->TextureMaterialSource3->Texture()), MB(Form2->TextureMaterialSource2->Texture()),
              MB(Form2->TextureMaterialSource1->Texture()), MB(Form2->LightMaterialSource1->Texture()));
  return 0;
}

QString RunChild(const char* AProgram, const char* AMode) {
  QTemporaryDir home;
  QProcess p;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("HOME", home.path());
  p.setProcessEnvironment(env);
  p.setProcessChannelMode(QProcess::SeparateChannels);
  p.start(QString::fromLocal8Bit(AProgram), {QStringLiteral("--child"), QString::fromLatin1(AMode)});
  if (!p.waitForFinished(180000) || p.exitCode() != 0) {
    std::fprintf(stderr, "%s: failed\n%s", AMode, p.readAllStandardError().constData());
    return {};
  }
  return QString::fromLocal8Bit(p.readAllStandardOutput());
}

// The number after AKey on the line that starts with ALine.
double Figure(const QString& AOutput, const char* ALine, const char* AKey) {
  for (const QString& line : AOutput.split('\n'))
    if (line.startsWith(QLatin1String(ALine))) {
      const int at = line.indexOf(QLatin1String(AKey));
      if (at >= 0) return line.mid(at + static_cast<int>(std::strlen(AKey))).trimmed().section(' ', 0, 0).toDouble();
    }
  return -1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "--child") == 0)
    return std::strcmp(argv[2], "empty") == 0 ? RunEmpty() : RunViewer();
  const QString empty = RunChild(argv[0], "empty");
  const QString viewer = RunChild(argv[0], "viewer");
  if (empty.isEmpty() || viewer.isEmpty()) return 1;
  std::printf("%s%s", empty.toLocal8Bit().constData(), viewer.toLocal8Bit().constData());
  const double base = Figure(empty, "empty window", "peak");
  const double start = Figure(viewer, "viewer after start", "peak");
  const double once = Figure(viewer, "after visiting the 14", "peak");
  const double twice = Figure(viewer, "after visiting them again", "peak");
  const double rss1 = Figure(viewer, "after visiting the 14", "resident");
  const double rss2 = Figure(viewer, "after visiting them again", "resident");
  std::printf("ratio of peaks viewer / empty window: after start %.2f, after the bodies %.2f\n", start / base,
              twice / base);
  std::printf("second round against the first: peak %+.1f MB (%.3f), resident %+.1f MB (%.3f)\n", twice - once,
              twice / once, rss2 - rss1, rss2 / rss1);
  return 0;
}
