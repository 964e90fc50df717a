// TViewport3D: the 2D control that draws the 3D scene of its children.
//
// It owns an off-screen render target (its context), and for each frame clears it,
// takes the view from its effective camera, hands its lights to the context, draws its
// 3D children in rendering-list order and copies the result into its frame. The window
// paints that frame into the viewport's rectangle and the 2D children over it.
//
// How a frame is drawn: a change of the scene only asks for a frame (NeedRender -> the
// window's invalidation). The window begins its frame by having the scene drawn
// (DrawSceneAhead -> RenderFrame: the scene's nodes issue their draws on the render
// target's context), then paints its controls in z-order; the viewport's Paint hands
// itself to the renderer it was created with, which puts the frame on the window. Any
// number of requests between two paints gives one frame.
#pragma once

#include <memory>
#include <vector>

#include "scene/view/camera.h"
#include "scene/input/control.h"
#include "scene/nodes/control3d.h"
#include "scene/view/frame_damage.h"
#include "scene/view/kept_background.h"
#include "scene/material/light.h"
#include "scene/view/viewport3d_context.h"
#include "scene/view/viewport3d_intf.h"

namespace sphaerix {

class TBitmap;
class TViewport3D;

// What draws and shows a viewport's frames, handed to the viewport when it is created:
// the device that makes its render target, and the window's 2D side that puts a frame on
// the window and the 2D children over a screenshot. The window that holds the viewport
// supplies it; tests supply fakes.
class IViewportRenderer : public IRenderContextFactory {
 public:
  // Draws a new frame of AViewport (RenderFrame) and paints it into the viewport's
  // rectangle on ACanvas at the viewport's absolute opacity.
  virtual void PaintFrame(TViewport3D& AViewport, TCanvas2D& ACanvas) = 0;
  // Paints the visible 2D children of AViewport over ABitmap, which stands for the
  // viewport's rectangle at AScale physical pixels per logical pixel.
  virtual void PaintChildren(TViewport3D& AViewport, TBitmap& ABitmap, float AScale) = 0;
};

class TViewport3D : public TControl, public IViewport3D {
 public:
  // ARenderer (not owned) must outlive the viewport; none: a viewport that never gets a
  // render target and draws nothing (a tree without a window).
  TViewport3D(TSceneObject* AOwner, IViewportRenderer* ARenderer);
  ~TViewport3D() override;

  // Not owned; becomes none when the camera is destroyed.
  TCamera* Camera() const { return FCamera; }
  void SetCamera(TCamera* AValue);
  // True: draw through the design camera even when Camera is set.
  bool UsingDesignCamera() const { return FUsingDesignCamera; }
  void SetUsingDesignCamera(bool AValue);
  // The design camera when Camera is none or UsingDesignCamera, else Camera.
  TCamera* EffectiveCamera() const;
  // Clear colour of every frame; claNull clears to transparent.
  TAlphaColor Color() const { return FColor; }
  void SetColor(TAlphaColor AValue);
  TMultisample Multisample() const { return FMultisample; }
  void SetMultisample(TMultisample AValue);

  // The design camera rig, built by every viewport: FDesignCameraZ (its first child),
  // FDesignCameraX inside it turned -20 about X, FDesignCamera at (0, 0, -20) in that.
  TDummy* DesignCameraZ() const { return FDesignCameraZ; }
  TDummy* DesignCameraX() const { return FDesignCameraX; }
  TCamera* DesignCamera() const { return FDesignCamera; }

  // IViewport3D
  void NeedRender() override;
  TDrawContext* Context() const override { return FContext.get(); }
  void AddLight(TLight* ALight) override;
  void RemoveLight(TLight* ALight) override;

  TRenderTargetContext* RenderContext() const { return FContext.get(); }
  const std::vector<TLight*>& Lights() const { return FLights; }
  const std::vector<TControl3D*>& RenderingList() const { return FRenderingList; }

  // Draws a frame into the render target and copies it into the frame. False when
  // there is nothing to draw into yet (no resize has happened) or a frame is already
  // being drawn. A render target whose size no longer matches the viewport's size at
  // the window's scale is created again first.
  bool RenderFrame();
  // The window begins a frame: the scene is drawn now (RenderFrame), and AChanged is the
  // part of the window it changed.
  bool HasScene() const override { return true; }
  bool DrawSceneAhead(TPixelRect& AChanged) override;
  // The frame laid over an opaque fill covers the rectangle wholly.
  bool CanTakeWindowFill() const override { return true; }
  // Frames drawn so far.
  unsigned long long FrameCount() const { return FFrameCount; }
  // Whether a frame may redraw only the part of the target that changed, where the
  // target keeps the last frame (the pixels are those of a full frame either way). On
  // by default.
  bool PartialRedraw() const { return FPartialRedraw; }
  void SetPartialRedraw(bool AValue);
  // Whether a change that would move the picture by less than a pixel against the frame
  // on screen waits for more before asking for a frame: a body turning a few pixels a
  // second under a clock that ticks a hundred times a second needs a frame every few
  // ticks, not at each. Anything but a move (a fade, the camera, a material) asks at
  // once, and any frame drawn for another reason shows the latest state. On by default.
  bool PaceFrames() const { return FPaceFrames; }
  void SetPaceFrames(bool AValue);
  // The part of the target the last frame drew (the whole target for a full frame).
  const TPixelRect& LastDrawnRect() const { return FDrawnRect; }
  bool Drawing() const { return FDrawing; }

  // A new bitmap, owned by the caller, of Round(Width x s) by Round(Height x s) pixels
  // with bitmap scale s (the window's scale), holding a fresh frame at the viewport's
  // opacity and the visible 2D children over it; pixels nothing was drawn on stay
  // transparent.
  std::unique_ptr<TBitmap> MakeScreenshot();

  // The window's paint: the renderer draws a frame and puts it on ACanvas.
  void Paint(TCanvas2D& ACanvas) override;

 protected:
  void Resize() override;
  void DoAddObject(TSceneObject* AObject) override;
  void DoRemoveObject(TSceneObject* AObject) override;
  void FreeNotification(TSceneObject* AObject) override;

 private:
  void RecreateContext();
  void RebuildRenderingList();
  int TargetWidth() const;
  int TargetHeight() const;
  void DrawScene();

  TCamera* FCamera = nullptr;
  bool FUsingDesignCamera = true;
  TAlphaColor FColor = claWhite;
  TMultisample FMultisample = TMultisample::FourSamples;
  TDummy* FDesignCameraZ = nullptr;
  TDummy* FDesignCameraX = nullptr;
  TCamera* FDesignCamera = nullptr;
  std::vector<TLight*> FLights;
  std::vector<TControl3D*> FRenderingList;
  std::unique_ptr<TRenderTargetContext> FContext;
  IViewportRenderer* FRenderer;
  bool FDrawing = false;
  bool FConstructing = false;
  unsigned long long FFrameCount = 0;
  bool FPartialRedraw = true;
  bool FPaceFrames = true;
  TFrameDamage FDamage;
  TKeptBackground FBackground;
  TPixelRect FDrawnRect;
};

// Rounds to the nearest integer, halves to the even one (the render target's size).
int RoundToEven(float AValue);

}  // namespace sphaerix
