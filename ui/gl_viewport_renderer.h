// The OpenGL viewport renderer a window hands to its viewports: their render targets on
// the window's OpenGL device, their frames put on the window in the window's frame (the
// window has had the scenes drawn first), and their 2D children painted into screenshots.
#pragma once

#include <memory>

#include "scene/view/viewport3d.h"

namespace sphaerix {

class IGLDeviceSource;

class TGLViewportRenderer : public IViewportRenderer {
 public:
  // ADevices (not owned, outlives the renderer): where the render targets find their
  // device, the window's.
  explicit TGLViewportRenderer(IGLDeviceSource& ADevices) : FDevices(ADevices) {}
  std::unique_ptr<TRenderTargetContext> CreateContext(int AWidth, int AHeight, TMultisample AMultisample) override;
  void PaintFrame(TViewport3D& AViewport, TCanvas2D& ACanvas) override;
  void PaintChildren(TViewport3D& AViewport, TBitmap& ABitmap, float AScale) override;

 private:
  IGLDeviceSource& FDevices;
};

}  // namespace sphaerix
