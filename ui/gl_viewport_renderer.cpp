#include "ui/gl_viewport_renderer.h"

#include <QImage>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/gl_context.h"
#include "platform/gl_device.h"
#include "scene/material/bitmap.h"
#include "scene/view/viewport3d.h"
#include "ui/canvas.h"

namespace sphaerix {

std::unique_ptr<TRenderTargetContext> TGLViewportRenderer::CreateContext(int AWidth, int AHeight,
                                                                       TMultisample AMultisample) {
  return std::make_unique<TGLRenderContext>(FDevices, AWidth, AHeight, AMultisample);
}

// The window's frame has had the scene drawn already; here it is put on the window.
void TGLViewportRenderer::PaintFrame(TViewport3D& AViewport, TCanvas2D& ACanvas) {
  const TWindowFrame* frame = ACanvas.Frame();
  if (!frame || !frame->Device) {
    // Outside a window's frame there is nothing to put it on, but a paint draws a frame.
    AViewport.RenderFrame();
    return;
  }
  TGLDevice& device = *frame->Device;
  const bool takesFill = frame->FillTakenBy == &AViewport;
  ACanvas.DrawWithOpenGL([&] {
    bool drawn = false;
    if (TRenderTargetContext* context = AViewport.RenderContext()) {
      const IControlRoot* root = AViewport.Root();
      const float scale = root ? root->RootScale() : 1.0f;
      const TPointF origin = AViewport.LocalToAbsolute({0, 0});
      const TPixelRect at{RoundToEven(origin.X * scale), RoundToEven(origin.Y * scale), context->Width(),
                          context->Height()};
      // A frame a pixel short of the window, at a scale that rounds so, leaves the rest
      // to the fill.
      if (takesFill && (at.X > 0 || at.Y > 0 || at.X + at.Width < frame->Target.Width ||
                        at.Y + at.Height < frame->Target.Height))
        device.ClearWindow(frame->Target, frame->Fill);
      drawn = context->DrawFrame(at, AViewport.AbsoluteOpacity(), frame->Target, takesFill ? frame->Fill : claNull);
    }
    if (takesFill && !drawn) device.ClearWindow(frame->Target, frame->Fill);  // no frame yet: the fill
  });
}

// The children paint in window coordinates; the image they paint into is as large as
// the window up to the viewport's far corner, so their positions need no translation,
// and the viewport's part is copied out afterwards.
void TGLViewportRenderer::PaintChildren(TViewport3D& AViewport, TBitmap& ABitmap, float AScale) {
  std::vector<TControl*> children;
  for (TControl* c : AViewport.Controls())
    if (c->Visible()) children.push_back(c);
  if (children.empty() || ABitmap.IsEmpty()) return;
  const TPointF origin = AViewport.LocalToAbsolute({0, 0});
  const int ox = std::max(0, RoundToEven(origin.X * AScale));
  const int oy = std::max(0, RoundToEven(origin.Y * AScale));
  const int w = ABitmap.Width(), h = ABitmap.Height();
  QImage image(ox + w, oy + h, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  for (int y = 0; y < h; ++y)
    std::memcpy(image.scanLine(oy + y) + ox * 4, ABitmap.Scanline(y), static_cast<std::size_t>(w) * 4);
  image.setDevicePixelRatio(AScale);
  {
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    TCanvas2D canvas(painter);
    for (TControl* c : children) c->PaintTree(canvas);
  }
  for (int y = 0; y < h; ++y)
    std::memcpy(ABitmap.Scanline(y), image.constScanLine(oy + y) + ox * 4, static_cast<std::size_t>(w) * 4);
  ABitmap.BitmapChanged();
}

}  // namespace sphaerix
