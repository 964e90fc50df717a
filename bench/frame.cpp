// Processor time per frame of the running viewer while the body spins, at 1920 x 1080
// with the viewer's own textures, mip levels and 4 samples, the whole paint counted: the
// scene into the render target, the resolve, the copy into the window, the 2D overlay
// (title, button panel) and the swap. Frames that redraw only what changed (the default)
// against full redraws of the same scene, in the same process, in alternating blocks so
// that both see the same machine load; for Earth (no ring) and Saturn (ring).
//
// Counts the viewer process's processor time over all its threads; the X server's share
// of showing each frame is not in it.
//
// Needs a display with OpenGL 3.3, for instance a virtual one at 1920 x 1080 with a
// window manager:
//   Xvfb :97 -screen 0 1920x1080x24 -nolisten tcp &  openbox &
//   DISPLAY=:97 LIBGL_ALWAYS_SOFTWARE=1 bench_frame [rounds]
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "bench/harness.h"
#include "scene/view/viewport3d.h"
#include "ui/controls.h"
#include "ui/popup_menu.h"

using namespace sphaerix;

namespace {

// Processor seconds per frame over AMs of spinning.
double CpuPerFrame(int AMs) {
  const unsigned long long frames0 = Form2->Viewport3D1->FrameCount();
  const double cpu0 = bench::CpuSeconds();
  bench::Pump(AMs);
  const unsigned long long frames = Form2->Viewport3D1->FrameCount() - frames0;
  return frames ? (bench::CpuSeconds() - cpu0) / static_cast<double>(frames) : 0;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  bench::TViewerRun viewer;
  if (!viewer.Ok()) return 1;
  viewer.WaitForFlyIn();
  double earthRatio = 0;
  for (int body : {0, 5}) {
    if (CurrentBody != body) Form2->Buttons[body]->Click();
    bench::Pump(500);
    std::vector<double> partly, whole;
    double share = 0;
    for (int r = 0; r < rounds; ++r) {
      Form2->Viewport3D1->SetPartialRedraw(true);
      bench::Pump(100);
      const TPixelRect rect = Form2->Viewport3D1->LastDrawnRect();
      share = static_cast<double>(rect.Width) * rect.Height /
              (static_cast<double>(Form2->Viewport3D1->RenderContext()->Width()) *
               Form2->Viewport3D1->RenderContext()->Height());
      partly.push_back(CpuPerFrame(1500));
      Form2->Viewport3D1->SetPartialRedraw(false);
      bench::Pump(100);
      whole.push_back(CpuPerFrame(1500));
    }
    Form2->Viewport3D1->SetPartialRedraw(true);
    const double p = Median(partly), w = Median(whole);
    std::printf("%s: processor time per spinning frame %.4f s redrawing what changed (%.0f %% of the target), "
                "%.4f s redrawing everything; ratio %.3f (medians of %d rounds)\n",
                body == 0 ? "Earth" : "Saturn", p, share * 100, w, p / w, rounds);
    if (body == 0) earthRatio = p / w;
  }
  // What every paint costs whatever the scene: the window's fill, the frame drawn into
  // the window, the 2D overlay and the swap, with nothing of the scene to redraw.
  Form2->MenuItem1Click(Form2->MenuItem1);  // Auto-rotate off: the body stands still
  bench::Pump(300);
  const unsigned long long frames0 = Form2->Viewport3D1->FrameCount();
  const double cpu0 = bench::CpuSeconds();
  for (int i = 0; i < 30; ++i) {
    Form2->Window()->update();
    bench::Pump(40);
  }
  const unsigned long long paints = Form2->Viewport3D1->FrameCount() - frames0;
  if (paints)
    std::printf("a paint with nothing of the scene to redraw: %.4f s of processor (%llu paints)\n",
                (bench::CpuSeconds() - cpu0) / static_cast<double>(paints), paints);
  std::printf("\nthe figure with its goal:\n");
  bench::Goal("processor time per spinning frame (Earth), against a full redraw", earthRatio, "", 0.6);
  return 0;
}
