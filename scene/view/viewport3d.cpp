#include "scene/view/viewport3d.h"

#include <algorithm>
#include <cmath>

#include "scene/material/bitmap.h"
#include "scene/mesh/mesh.h"

namespace sphaerix {

namespace {

// Tag of the design camera rig's nodes.
constexpr std::intptr_t kDesignTag = 0xFFFE;

// c x a for a premultiplied pixel, every channel rounded.
std::uint32_t ScalePremultiplied(std::uint32_t c, float a) {
  auto ch = [&](int shift) {
    const float v = static_cast<float>((c >> shift) & 0xFF) * a + 0.5f;
    return static_cast<std::uint32_t>(std::min(255.0f, v)) << shift;
  };
  return ch(24) | ch(16) | ch(8) | ch(0);
}

// The opaque spheres of the tree mark what they hide before anything is drawn: the sky
// behind the body is then never shaded.
void MarkHiddenBehind(const std::vector<TControl3D*>& ANodes, TDrawContext& AContext) {
  for (TControl3D* node : ANodes) {
    if (!node->Visible()) continue;
    if (auto* sphere = dynamic_cast<TSphere*>(node)) sphere->MarkHiddenBehind(&AContext);
    MarkHiddenBehind(node->RenderingList(), AContext);
  }
}

}  // namespace

int RoundToEven(float AValue) { return static_cast<int>(std::nearbyint(AValue)); }

TViewport3D::TViewport3D(TSceneObject* AOwner, IViewportRenderer* ARenderer)
    : TControl(AOwner), FRenderer(ARenderer) {
  SetAutoCapture(true);
  // The initial size is no resize: the render target waits for the first real one.
  FConstructing = true;
  SetSize(100, 100);
  FConstructing = false;
  // The design rig; it never draws at run time and is never stored in a layout.
  FDesignCameraZ = new TDummy(this);
  FDesignCameraZ->SetTag(kDesignTag);
  AddObject(FDesignCameraZ);
  FDesignCameraX = new TDummy(this);
  FDesignCameraX->SetTag(kDesignTag);
  FDesignCameraZ->AddObject(FDesignCameraX);
  FDesignCameraX->RotationAngle().SetX(-20);
  FDesignCamera = new TCamera(this);
  FDesignCamera->SetTag(kDesignTag);
  FDesignCameraX->AddObject(FDesignCamera);
  FDesignCamera->Position().SetPoint({0, 0, -20});
}

// The 3D children leave while this is still a whole viewport: lights deregister and
// no node keeps pointing at it.
TViewport3D::~TViewport3D() {
  if (FCamera) FCamera->RemoveFreeNotify(this);
  FCamera = nullptr;
  for (TSceneObject* child : Children())
    if (auto* node = dynamic_cast<TControl3D*>(child)) node->SetNewViewport(nullptr);
  FRenderingList.clear();
  FLights.clear();
  FContext.reset();
}

// ---------------------------------------------------------------------------------------
// Properties

void TViewport3D::SetCamera(TCamera* AValue) {
  if (AValue == FCamera) return;
  if (FCamera) FCamera->RemoveFreeNotify(this);
  FCamera = AValue;
  if (FCamera) FCamera->AddFreeNotify(this);
  if (FContext && !FUsingDesignCamera) NeedRender();
}

void TViewport3D::SetUsingDesignCamera(bool AValue) {
  if (AValue == FUsingDesignCamera) return;
  FUsingDesignCamera = AValue;
  if (FContext) NeedRender();
}

TCamera* TViewport3D::EffectiveCamera() const {
  return (!FCamera || FUsingDesignCamera) ? FDesignCamera : FCamera;
}

void TViewport3D::SetColor(TAlphaColor AValue) {
  if (AValue == FColor) return;
  FColor = AValue;
  NeedRender();
}

void TViewport3D::SetMultisample(TMultisample AValue) {
  if (AValue == FMultisample) return;
  FMultisample = AValue;
  if (FContext) FContext->SetMultisample(AValue);
}

void TViewport3D::FreeNotification(TSceneObject* AObject) {
  TControl::FreeNotification(AObject);
  if (AObject == FCamera) {
    FCamera = nullptr;
    NeedRender();
  }
}

// ---------------------------------------------------------------------------------------
// Tree, lights, requests

void TViewport3D::NeedRender() {
  if (IsDestroying()) return;
  if (FPaceFrames && FContext && !FDrawing) {
    // Less than this, in pixels, is not worth a frame.
    constexpr float kLeastVisibleMove = 1.0f;
    const TCamera* camera = EffectiveCamera();
    if (camera->AngleOfView() == FContext->AngleOfView()) {
      std::vector<TLightDescription> lights;
      for (const TLight* light : FLights) lights.push_back(light->LightDescription());
      const float move = FDamage.Movement(*FContext, FRenderingList, FColor, camera->CameraMatrix(),
                                          FContext->CurrentProjectionMatrix(), lights);
      if (move < kLeastVisibleMove) return;
    }
  }
  if (IControlRoot* root = Root()) root->InvalidateScene(this);
}

void TViewport3D::SetPaceFrames(bool AValue) { FPaceFrames = AValue; }

void TViewport3D::AddLight(TLight* ALight) {
  if (ALight && std::find(FLights.begin(), FLights.end(), ALight) == FLights.end())
    FLights.push_back(ALight);
}

void TViewport3D::RemoveLight(TLight* ALight) {
  FLights.erase(std::remove(FLights.begin(), FLights.end(), ALight), FLights.end());
}

void TViewport3D::RebuildRenderingList() {
  FRenderingList.clear();
  for (TSceneObject* child : Children())
    if (auto* node = dynamic_cast<TControl3D*>(child)) FRenderingList.push_back(node);
  SortRenderingList(FRenderingList);
}

void TViewport3D::DoAddObject(TSceneObject* AObject) {
  TControl::DoAddObject(AObject);
  if (auto* node = dynamic_cast<TControl3D*>(AObject)) {
    node->SetNewViewport(this);
    node->InvalidateOpacity();
    node->InvalidateAbsolute();
    RebuildRenderingList();
    node->Repaint();
  }
}

void TViewport3D::DoRemoveObject(TSceneObject* AObject) {
  TControl::DoRemoveObject(AObject);
  if (auto* node = dynamic_cast<TControl3D*>(AObject)) {
    node->SetNewViewport(nullptr);
    node->InvalidateOpacity();
    node->InvalidateAbsolute();
    RebuildRenderingList();
    NeedRender();
  }
}

// ---------------------------------------------------------------------------------------
// Render target

int TViewport3D::TargetWidth() const {
  const IControlRoot* root = Root();
  return std::max(0, RoundToEven(Width() * (root ? root->RootScale() : 1.0f)));
}

int TViewport3D::TargetHeight() const {
  const IControlRoot* root = Root();
  return std::max(0, RoundToEven(Height() * (root ? root->RootScale() : 1.0f)));
}

void TViewport3D::Resize() {
  TControl::Resize();
  if (!FConstructing) RecreateContext();
}

void TViewport3D::RecreateContext() {
  FContext.reset();
  FDamage.Invalidate();
  FBackground.Forget();
  if (FRenderer) FContext = FRenderer->CreateContext(TargetWidth(), TargetHeight(), FMultisample);
}

// ---------------------------------------------------------------------------------------
// The frame

void TViewport3D::SetPartialRedraw(bool AValue) { FPartialRedraw = AValue; }

void TViewport3D::DrawScene() {
  TRenderTargetContext& ctx = *FContext;
  const TCamera* camera = EffectiveCamera();
  ctx.SetCameraMatrix(camera->CameraMatrix());
  ctx.SetCameraAngleOfView(camera->AngleOfView());
  ctx.Lights().clear();
  for (const TLight* light : FLights) ctx.Lights().push_back(light->LightDescription());
  // While only some nodes change, only the pixels they cover, before and after, change:
  // the scene is cleared and drawn again inside that rectangle alone.
  TPixelRect rect{0, 0, ctx.Width(), ctx.Height()};
  // Followed in every frame, so that switching partial frames on needs no full frame
  // first, and so that the pace of frames is measured from the frame drawn last.
  const bool partial = FDamage.Partial(ctx, FRenderingList, FColor, ctx.CurrentCameraMatrix(),
                                       ctx.CurrentProjectionMatrix(), ctx.Lights(), rect) &&
                       ctx.KeepsLastFrame() && FPartialRedraw;
  if (!partial) rect = {0, 0, ctx.Width(), ctx.Height()};
  if (partial && rect.Empty()) {
    FDrawnRect = rect;
    return;  // the target holds this very frame already
  }
  // The sky, kept while the camera stands: put back instead of drawn (drawn alone into a
  // picture of its own first, the first time).
  TKeptBackground::TUse background = FBackground.Plan(ctx, FRenderingList, FColor, ctx.CurrentProjectionMatrix());
  const std::vector<TControl3D*> sky(FRenderingList.begin(), FRenderingList.begin() + (FRenderingList.empty() ? 0 : 1));
  if (background == TKeptBackground::TUse::DrawAndKeep) {
    const bool keeping = ctx.BeginKeepingBackground(FColor);
    if (keeping) {
      RenderNodes(sky, &ctx);
      ctx.EndKeepingBackground();
    }
    FBackground.SetKept(keeping);
    background = keeping ? TKeptBackground::TUse::Restore : TKeptBackground::TUse::Draw;
  }
  FDrawnRect = rect;
  if (partial) {
    ctx.SetScissorRect(rect);
    ctx.SetContextState(TRenderState::csScissorOn);
  } else {
    ctx.SetContextState(TRenderState::csScissorOff);
  }
  ctx.Clear(FColor, 1.0f, 0);
  if (background == TKeptBackground::TUse::Restore && !ctx.RestoreBackground(rect)) {
    FBackground.Forget();
    background = TKeptBackground::TUse::Draw;
  }
  if (background == TKeptBackground::TUse::Restore) {
    const std::vector<TControl3D*> rest(FRenderingList.begin() + 1, FRenderingList.end());
    RenderNodes(rest, &ctx);
    return;
  }
  MarkHiddenBehind(FRenderingList, ctx);
  RenderNodes(FRenderingList, &ctx);
}

bool TViewport3D::DrawSceneAhead(TPixelRect& AChanged) {
  if (!RenderFrame() || !FContext) return false;
  const IControlRoot* root = Root();
  const float scale = root ? root->RootScale() : 1.0f;
  const TPointF origin = LocalToAbsolute({0, 0});
  AChanged = FDrawnRect;
  if (!AChanged.Empty()) {
    AChanged.X += RoundToEven(origin.X * scale);
    AChanged.Y += RoundToEven(origin.Y * scale);
  }
  return true;
}

bool TViewport3D::RenderFrame() {
  if (FDrawing) return false;
  if (FContext && (FContext->Width() != TargetWidth() || FContext->Height() != TargetHeight()))
    RecreateContext();
  if (!FContext) return false;
  FDrawing = true;
  try {
    FDrawnRect = {0, 0, FContext->Width(), FContext->Height()};
    if (FContext->BeginScene()) {
      DrawScene();
      FContext->EndScene();
    } else {
      FDamage.Invalidate();
      FBackground.Forget();
    }
    if (FDrawnRect.Width == FContext->Width() && FDrawnRect.Height == FContext->Height())
      FContext->CopyToFrame();
    else if (!FDrawnRect.Empty())
      FContext->CopyToFrame(FDrawnRect);
  } catch (...) {
    // The scene must not stay begun, nor the viewport locked, after a failed draw; the
    // target's content is unknown now.
    FDamage.Invalidate();
    FBackground.Forget();
    if (FContext) FContext->EndScene();
    FDrawing = false;
    throw;
  }
  FDrawing = false;
  ++FFrameCount;
  return true;
}

void TViewport3D::Paint(TCanvas2D& ACanvas) {
  if (FRenderer) FRenderer->PaintFrame(*this, ACanvas);
}

std::unique_ptr<TBitmap> TViewport3D::MakeScreenshot() {
  const IControlRoot* root = Root();
  const float scale = root ? root->RootScale() : 1.0f;
  auto result = std::make_unique<TBitmap>(std::max(0, RoundToEven(Width() * scale)),
                                          std::max(0, RoundToEven(Height() * scale)));
  result->SetBitmapScale(scale);
  if (RenderFrame()) {
    TBitmap frame;
    FContext->ReadFrame(frame);
    const float opacity = AbsoluteOpacity();
    const int w = std::min(frame.Width(), result->Width());
    const int h = std::min(frame.Height(), result->Height());
    for (int y = 0; y < h; ++y) {
      const std::uint32_t* src = frame.Scanline(y);
      std::uint32_t* dst = result->Scanline(y);
      for (int x = 0; x < w; ++x) dst[x] = opacity >= 1 ? src[x] : ScalePremultiplied(src[x], opacity);
    }
    result->BitmapChanged();
  }
  if (FRenderer) FRenderer->PaintChildren(*this, *result, scale);
  return result;
}

}  // namespace sphaerix
