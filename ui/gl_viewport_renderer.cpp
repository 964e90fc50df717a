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
#include "ui/form.h"

namespace sphaerix {

std::unique_ptr<TRenderTargetContext> TGLViewportRenderer::CreateContext(int AWidth, int AHeight,
                                                                       TMultisample AMultisample) {
  return std::make_unique<TGLRenderContext>(AWidth, AHeight, AMultisample);
}

// The frame is drawn with OpenGL in the middle of the window's paint.
void TGLViewportRenderer::PaintFrame(TViewport3D& AViewport, TCanvas2D& ACanvas) {
  // The form left its fill to this viewport: it paints every pixel of the window.
  const auto* form = dynamic_cast<const TFormBase*>(AViewport.Parent());
  const bool overBlack = form && form->FillCoveredBy() == &AViewport;
  ACanvas.DrawWithOpenGL([&] {
    bool drawn = false;
    AViewport.RenderFrame();
    if (TRenderTargetContext* context = AViewport.RenderContext()) {
      const IControlRoot* root = AViewport.Root();
      const float scale = root ? root->RootScale() : 1.0f;
      const TPointF origin = AViewport.LocalToAbsolute({0, 0});
      const QPaintDevice* device = &ACanvas.Device();
      const int framebufferHeight =
          static_cast<int>(std::lround(device->height() * device->devicePixelRatioF()));
      const int framebufferWidth = static_cast<int>(std::lround(device->width() * device->devicePixelRatioF()));
      // A frame a pixel short of the window, at a scale that rounds so, leaves the rest
      // to the fill.
      if (overBlack && (RoundToEven(origin.X * scale) > 0 || RoundToEven(origin.Y * scale) > 0 ||
                        context->Width() < framebufferWidth || context->Height() < framebufferHeight))
        ClearCurrentWindow(0, 0, 0, 1);  // the fill, where the frame leaves pixels unpainted
      drawn = context->DrawFrame(RoundToEven(origin.X * scale), RoundToEven(origin.Y * scale), context->Width(),
                                 context->Height(), framebufferHeight, AViewport.AbsoluteOpacity(), overBlack);
    }
    if (overBlack && !drawn) ClearCurrentWindow(0, 0, 0, 1);  // no frame yet: the fill the form left out
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
