// Start-up: the processor seconds (all threads) and the wall time from exec to the main
// window's first frame on screen, for the viewer and for an empty full-screen Qt OpenGL
// window measured in the same run, runs interleaved; the processor-time ratio is the
// figure, printed with its goal. The X server's own time is not counted. Each run has a
// home of its own, so the driver's shader cache is empty, as on a user's first start.
//
// Needs a display with OpenGL 3.3, for instance a virtual one at 1920 x 1080 with a
// window manager:
//   Xvfb :97 -screen 0 1920x1080x24 -nolisten tcp &  openbox &
//   DISPLAY=:97 LIBGL_ALWAYS_SOFTWARE=1 bench_startup [runs]
//
//   bench_startup [runs]      medians of both and the ratios viewer / empty window
//   bench_startup --phases    one viewer start broken into its steps
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFunctions_3_3_Core>
#include <QOpenGLVersionFunctionsFactory>
#include <QOpenGLWindow>
#include <QProcess>
#include <chrono>
#include <thread>
#include <QTemporaryDir>
#include <QTimer>
#include <sys/resource.h>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "bench/harness.h"
#include "platform/bitmap_codecs.h"
#include "platform/gl_check.h"
#include "platform/resource_stream.h"
#include "scene/material/bitmap.h"
#include "ui/application.h"
#include "ui/form_window.h"

namespace {

void ReportFirstFrame(QOpenGLWindow* AWindow, const std::function<void()>& AQuit) {
  QObject::connect(AWindow, &QOpenGLWindow::frameSwapped, AWindow, [AQuit] {
    std::printf("painted, processor %.3f s\n", bench::CpuSeconds());
    std::fflush(stdout);
    AQuit();
  });
}

int RunEmpty() {
  return bench::RunEmptyWindow(
      -1, [](QOpenGLWindow& AWindow) { ReportFirstFrame(&AWindow, [] { QCoreApplication::exit(0); }); });
}

int RunViewer() {
  using namespace sphaerix;
  bench::TViewerRun viewer(false);
  // Posted before the loop runs, so it is connected before the window is first painted.
  QTimer::singleShot(0, [] {
    if (Form2) ReportFirstFrame(Form2->Window(), [] { Application->Terminate(); });
  });
  return viewer.Run();
}

// ---- The steps of one start

using TClock = std::chrono::steady_clock;
TClock::time_point PhaseStart;
TClock::time_point PhaseLast;
double PhaseLastCpu = 0;

// Processor time of the calling (user-interface) thread.
double ThreadCpu() {
  rusage u{};
  getrusage(RUSAGE_THREAD, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

void Phase(const char* AName) {
  const TClock::time_point now = TClock::now();
  const double cpu = ThreadCpu();
  std::printf("  %-50s %7.3f s  (this thread busy %.3f s)  at %.3f s\n", AName,
              std::chrono::duration<double>(now - PhaseLast).count(), cpu - PhaseLastCpu,
              std::chrono::duration<double>(now - PhaseStart).count());
  std::fflush(stdout);
  PhaseLast = now;
  PhaseLastCpu = cpu;
}

double DecodeSeconds(const char* AResource) {
  const TClock::time_point t0 = TClock::now();
  sphaerix::TResourceStream stream(AResource);
  sphaerix::TBitmap bitmap;
  bitmap.LoadFromStream(stream);
  return std::chrono::duration<double>(TClock::now() - t0).count();
}

// What the first frame spends on the two textures it needs (the star map and the Earth
// map): the upload and the mip levels, each timed to its end (glFinish) in a context of
// its own.
void TimeTextureUploads() {
  using namespace sphaerix;
  QOffscreenSurface surface;
  surface.setFormat(GLSurfaceFormat());
  surface.create();
  QOpenGLContext context;
  context.setFormat(GLSurfaceFormat());
  if (!context.create() || !context.makeCurrent(&surface)) {
    std::printf("    (no OpenGL context for the upload timing)\n");
    return;
  }
  auto* gl = QOpenGLVersionFunctionsFactory::get<QOpenGLFunctions_3_3_Core>(&context);
  if (!gl) return;
  for (const char* name : {"Stars", "JpgImage_1"}) {
    TResourceStream stream(name);
    TBitmap bitmap;
    bitmap.LoadFromStream(stream);
    GLuint texture = 0;
    gl->glGenTextures(1, &texture);
    gl->glBindTexture(GL_TEXTURE_2D, texture);
    gl->glFinish();
    const TClock::time_point t0 = TClock::now();
    gl->glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, bitmap.Width(), bitmap.Height(), 0, GL_BGRA, GL_UNSIGNED_BYTE,
                     bitmap.Bits());
    gl->glFinish();
    const TClock::time_point t1 = TClock::now();
    gl->glGenerateMipmap(GL_TEXTURE_2D);
    gl->glFinish();
    const TClock::time_point t2 = TClock::now();
    // The same levels made on the processor (2 x 2 box filter of the premultiplied
    // pixels), each uploaded as it is.
    std::vector<std::uint32_t> level(bitmap.Bits(), bitmap.Bits() + static_cast<std::size_t>(bitmap.Width()) * bitmap.Height());
    int w = bitmap.Width(), h = bitmap.Height();
    for (int n = 1; w > 1 || h > 1; ++n) {
      const int nw = std::max(1, w / 2), nh = std::max(1, h / 2);
      std::vector<std::uint32_t> next(static_cast<std::size_t>(nw) * nh);
      for (int y = 0; y < nh; ++y) {
        const std::uint32_t* r0 = &level[static_cast<std::size_t>(std::min(2 * y, h - 1)) * w];
        const std::uint32_t* r1 = &level[static_cast<std::size_t>(std::min(2 * y + 1, h - 1)) * w];
        for (int x = 0; x < nw; ++x) {
          const int x0 = std::min(2 * x, w - 1), x1 = std::min(2 * x + 1, w - 1);
          std::uint32_t out = 0;
          for (int c = 0; c < 32; c += 8) {
            const std::uint32_t sum = ((r0[x0] >> c) & 255) + ((r0[x1] >> c) & 255) + ((r1[x0] >> c) & 255) +
                                      ((r1[x1] >> c) & 255) + 2;
            out |= (sum / 4) << c;
          }
          next[static_cast<std::size_t>(y) * nw + x] = out;
        }
      }
      gl->glTexImage2D(GL_TEXTURE_2D, n, GL_RGBA8, nw, nh, 0, GL_BGRA, GL_UNSIGNED_BYTE, next.data());
      level.swap(next);
      w = nw;
      h = nh;
    }
    gl->glFinish();
    const TClock::time_point t3 = TClock::now();
    std::printf("    %s %dx%d: upload %.3f s, mip levels by the driver %.3f s, on the processor and uploaded %.3f s\n",
                name, bitmap.Width(), bitmap.Height(), std::chrono::duration<double>(t1 - t0).count(),
                std::chrono::duration<double>(t2 - t1).count(), std::chrono::duration<double>(t3 - t2).count());
    gl->glDeleteTextures(1, &texture);
  }
  context.doneCurrent();
}

// The viewer's main window, marking the end of its construction (the scene and its
// layout images) before the creation handler runs.
class TTimedForm2 : public sphaerix::TForm2 {
 public:
  explicit TTimedForm2(sphaerix::TSceneObject* AOwner) : TForm2(AOwner) {
    sphaerix::Form2 = this;
    Phase("main window built (scene, layout images)");
    auto create = OnCreate;
    OnCreate = [create](sphaerix::TSceneObject* ASender) {
      create(ASender);
      Phase("creation handler (streams, Earth and the stars decoded)");
    };
  }
};

int RunPhases() {
  using namespace sphaerix;
  PhaseStart = PhaseLast = TClock::now();
  PhaseLastCpu = ThreadCpu();
  std::printf("one start of the viewer, step by step:\n");
  // The windows are only asked for here; they are made when the loop starts.
  TTimedForm2* form = nullptr;
  bench::TViewerRun viewer(false, [&form](TApplication& AApplication) { AApplication.CreateForm(form); });
  Phase("toolkit, codecs (the OpenGL check runs beside)");
  {
    // The decodes alone, before the window repeats them (the resource pages are then
    // warm for the window, which is what a second start sees as well).
    const double stars = DecodeSeconds("Stars"), saturn = DecodeSeconds("SaturnRing"),
                 uranus = DecodeSeconds("UranusRing"), earth = DecodeSeconds("JpgImage_1");
    Phase("decodes and uploads alone (not part of a start)");
    std::printf("    Stars 6000x3000 JPEG %.3f s, SaturnRing 4096x4096 PNG %.3f s, UranusRing %.3f s, "
                "Earth JPEG %.3f s\n",
                stars, saturn, uranus, earth);
    // The three layout pictures side by side, one thread each, as far as the machine's
    // cores allow.
    const TClock::time_point t0 = TClock::now();
    std::thread a([] { TQtBitmapCodecs codecs; TResourceStream s("Stars"); TBitmap b;
                       codecs.LoadFromMemory(b, static_cast<const std::uint8_t*>(s.Memory()), s.Size()); });
    std::thread b([] { TQtBitmapCodecs codecs; TResourceStream s("SaturnRing"); TBitmap b;
                       codecs.LoadFromMemory(b, static_cast<const std::uint8_t*>(s.Memory()), s.Size()); });
    std::thread c([] { TQtBitmapCodecs codecs; TResourceStream s("UranusRing"); TBitmap b;
                       codecs.LoadFromMemory(b, static_cast<const std::uint8_t*>(s.Memory()), s.Size()); });
    a.join();
    b.join();
    c.join();
    std::printf("    the three layout pictures on three threads: %.3f s (%u cores)\n",
                std::chrono::duration<double>(TClock::now() - t0).count(), std::thread::hardware_concurrency());
    TimeTextureUploads();
    PhaseLast = TClock::now();
    PhaseLastCpu = ThreadCpu();
  }
  int frames = 0;
  QTimer::singleShot(0, [&] {
    QObject::connect(Form2->Window(), &QOpenGLWindow::frameSwapped, Form2->Window(), [&] {
      ++frames;
      Phase(frames == 1 ? "first frame on screen" : "second frame on screen");
      if (frames == 1)
        Form2->Window()->update();
      else
        Application->Terminate();
    });
  });
  return viewer.Run();
}

struct TStart {
  double Wall = -1, Cpu = -1;
};

TStart TimeChild(const char* AProgram, const char* AMode) {
  QTemporaryDir home;
  QProcess p;
  QElapsedTimer t;
  t.start();
  bench::StartChild(p, home, AProgram, {QString::fromLatin1(AMode)});
  QByteArray out;
  while (p.waitForReadyRead(60000)) {
    out += p.readAll();
    if (out.contains("painted")) {
      TStart s;
      s.Wall = t.nsecsElapsed() / 1e9;
      s.Cpu = bench::Figure(QString::fromLocal8Bit(out), "painted", "processor");
      p.waitForFinished(10000);
      return s;
    }
  }
  std::fprintf(stderr, "%s: no first frame\n", AMode);
  return {};
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "--phases") == 0) return RunPhases();
  if (argc == 3 && std::strcmp(argv[1], "--child") == 0)
    return std::strcmp(argv[2], "empty") == 0 ? RunEmpty() : RunViewer();
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  std::vector<double> emptyWall, emptyCpu, viewerWall, viewerCpu;
  // Interleaved, so both see the same machine load.
  for (int i = 0; i < runs; ++i) {
    const TStart e = TimeChild(argv[0], "empty"), v = TimeChild(argv[0], "viewer");
    emptyWall.push_back(e.Wall);
    emptyCpu.push_back(e.Cpu);
    viewerWall.push_back(v.Wall);
    viewerCpu.push_back(v.Cpu);
  }
  const double ec = Median(emptyCpu), vc = Median(viewerCpu), ew = Median(emptyWall), vw = Median(viewerWall);
  std::printf("empty window: median %.3f s of processor, %.3f s wall to the first frame\n", ec, ew);
  std::printf("viewer:       median %.3f s of processor, %.3f s wall to the first frame\n", vc, vw);
  std::printf("\nthe figure with its goal (%d interleaved runs):\n", runs);
  bench::Goal("processor seconds to the first frame, viewer / empty window", vc / ec, "", 5.0);
  bench::Goal("wall seconds to the first frame, viewer", vw, "s", 0.5);
  return 0;
}
