// The OpenGL viewport renderer a window hands to its viewports: their render targets on
// the OpenGL device, their frames drawn into the window inside its QPainter paint, and
// their 2D children painted into screenshots.
#pragma once

#include <memory>

#include "scene/view/viewport3d.h"

namespace sphaerix {

class TGLViewportRenderer : public IViewportRenderer {
 public:
  std::unique_ptr<TRenderTargetContext> CreateContext(int AWidth, int AHeight, TMultisample AMultisample) override;
  void PaintFrame(TViewport3D& AViewport, TCanvas2D& ACanvas) override;
  void PaintChildren(TViewport3D& AViewport, TBitmap& ABitmap, float AScale) override;
};

}  // namespace sphaerix
