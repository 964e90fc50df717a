// The drawing context of a viewport's render target: what the frame needs beyond what
// a node needs of a context. It keeps, for the frame in progress, the model and view
// matrices (TDrawContext), the angle of view, the projection (recomputed lazily after the
// start of each scene) and the light list; the device behind it (platform/) supplies
// the render target, clearing, drawing and the copy into the frame.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "scene/material/color.h"
#include "scene/view/context3d.h"
#include "scene/view/frame_damage.h"
#include "scene/material/light.h"

namespace sphaerix {

class TBitmap;

enum class TMultisample { None, TwoSamples, FourSamples };

// Samples per pixel a TMultisample asks of the device: 1, 2 or 4.
int MultisampleCount(TMultisample AValue);

// The window a frame is put on, as the window lays out one frame of its own: the size of
// its drawing surface and the part of it this frame may touch.
struct TWindowTarget {
  int Width = 0, Height = 0;  // physical pixels
  TPixelRect Clip;            // y down from the top; empty: the whole window
};

class TRenderTargetContext : public TDrawContext {
 public:
  TRenderTargetContext(int AWidth, int AHeight, TMultisample AMultisample);

  // Size of the render target in physical pixels.
  int Width() const { return FWidth; }
  int Height() const { return FHeight; }

  TMultisample Multisample() const { return FMultisample; }
  // Frees the device buffers and creates them again with the new sample count.
  void SetMultisample(TMultisample AValue);

  // Starts a scene: the model matrix becomes the identity and the projection is marked
  // for recomputation. False when the device cannot draw now (nothing is drawn then).
  bool BeginScene();
  void EndScene();
  bool InScene() const { return FInScene; }

  // Clears colour (straight ARGB, premultiplied by the device), depth and stencil.
  virtual void Clear(TAlphaColor AColor, float ADepth, std::uint32_t AStencil) = 0;
  // Copies the render target, whole, into the frame: the picture the window paints.
  virtual void CopyToFrame() = 0;
  // Copies only ARect (the rest of the frame is as the target already).
  virtual void CopyToFrame(const TPixelRect& ARect) { CopyToFrame(); }
  // True when the target keeps the last frame's pixels until the next scene draws over
  // them, so that a frame may redraw only part of it (TFrameDamage).
  virtual bool KeepsLastFrame() const { return false; }
  // The rectangle the scissor test (csScissorOn) keeps, y down from the top row.
  virtual void SetScissorRect(const TPixelRect& ARect) {}
  // Whether the target can keep a picture of the background apart (TKeptBackground).
  virtual bool CanKeepBackground() const { return false; }
  // What is drawn from here to EndKeepingBackground goes, over the whole target, into a
  // picture of its own cleared to AClearColor (straight ARGB), which the target keeps;
  // false when it cannot (nothing changes then).
  virtual bool BeginKeepingBackground(TAlphaColor AClearColor) { return false; }
  virtual void EndKeepingBackground() {}
  // Puts the kept picture into ARect of the target, over its colour; false when there is
  // none (the target was made again since).
  virtual bool RestoreBackground(const TPixelRect& ARect) { return false; }
  // Reads the frame back into ABitmap, resized to the target's size, top row first.
  virtual void ReadFrame(TBitmap& ABitmap) = 0;
  // Paints the frame into AWindow's drawing surface inside AAt (physical pixels from its
  // top left), at AOpacity. AUnderFill, when opaque: the window's fill, which was not
  // painted under the frame; the frame is laid over it in the same step. Otherwise the
  // frame blends over what is there. False when there was no frame to paint.
  virtual bool DrawFrame(const TPixelRect& AAt, float AOpacity, const TWindowTarget& AWindow,
                         TAlphaColor AUnderFill) = 0;

  // The light list of the frame in progress (every registered light, enabled or not).
  std::vector<TLightDescription>& Lights() { return FLights; }
  const std::vector<TLightDescription>& Lights() const { return FLights; }

  float AngleOfView() const { return FAngleOfView; }
  void SetCameraAngleOfView(float AValue);
  void SetCameraMatrix(const TMatrix3D& AMatrix) override;

  // CreatePerspectiveFovRH(angle of view, width / height or 1, 1, 1000), computed at
  // most once per scene.
  const TMatrix3D& CurrentProjectionMatrix();
  // The eye in world coordinates: the origin of the view space.
  TPoint3D CurrentEyePosition() const;
  // Model x view x projection for cs3DScene; for cs2DScene the model matrix maps
  // window pixels (x right, y down) straight onto the target.
  TMatrix3D CurrentModelViewProjection();
  bool Is3DScene() const { return FScene3D; }

  void SetContextState(TRenderState AState) override;

 protected:
  virtual bool DoBeginScene() = 0;
  virtual void DoEndScene() = 0;
  // A state the base does not keep itself (depth, blending, culling, scissor).
  virtual void ApplyState(TRenderState AState) = 0;
  virtual void MultisampleChanged() {}
  // Draws what a context keeps back for the end of the scene, after every node has
  // drawn, still inside the scene.
  virtual void DrawDeferred() {}

 private:
  int FWidth;
  int FHeight;
  TMultisample FMultisample;
  bool FInScene = false;
  bool FScene3D = true;
  float FAngleOfView = 45;
  bool FProjectionStale = true;
  TMatrix3D FProjection;
  std::vector<TLightDescription> FLights;
};

// Makes the render targets of viewports: the drawing device.
class IRenderContextFactory {
 public:
  virtual ~IRenderContextFactory() = default;
  virtual std::unique_ptr<TRenderTargetContext> CreateContext(int AWidth, int AHeight,
                                                          TMultisample AMultisample) = 0;
};

}  // namespace sphaerix
