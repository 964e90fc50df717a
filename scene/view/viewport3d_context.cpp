#include "scene/view/viewport3d_context.h"

namespace sphaerix {

namespace {

constexpr float kPi = 3.14159265358979f;

}  // namespace

int MultisampleCount(TMultisample AValue) {
  switch (AValue) {
    case TMultisample::None: return 1;
    case TMultisample::TwoSamples: return 2;
    case TMultisample::FourSamples: return 4;
  }
  return 1;
}

TRenderTargetContext::TRenderTargetContext(int AWidth, int AHeight, TMultisample AMultisample)
    : FWidth(AWidth < 0 ? 0 : AWidth), FHeight(AHeight < 0 ? 0 : AHeight), FMultisample(AMultisample) {}

void TRenderTargetContext::SetMultisample(TMultisample AValue) {
  if (AValue == FMultisample) return;
  FMultisample = AValue;
  MultisampleChanged();
}

bool TRenderTargetContext::BeginScene() {
  if (FInScene) return false;
  SetMatrix(TMatrix3D::Identity());
  FProjectionStale = true;
  FScene3D = true;
  FInScene = DoBeginScene();
  return FInScene;
}

void TRenderTargetContext::EndScene() {
  if (!FInScene) return;
  DrawDeferred();
  FInScene = false;
  DoEndScene();
}

void TRenderTargetContext::SetCameraAngleOfView(float AValue) {
  if (AValue == FAngleOfView) return;
  FAngleOfView = AValue;
  FProjectionStale = true;
}

void TRenderTargetContext::SetCameraMatrix(const TMatrix3D& AMatrix) { TDrawContext::SetCameraMatrix(AMatrix); }

const TMatrix3D& TRenderTargetContext::CurrentProjectionMatrix() {
  if (FProjectionStale) {
    const float aspect = FHeight == 0 ? 1.0f : static_cast<float>(FWidth) / static_cast<float>(FHeight);
    FProjection = TMatrix3D::CreatePerspectiveFovRH(FAngleOfView * kPi / 180, aspect, 1, 1000);
    FProjectionStale = false;
  }
  return FProjection;
}

TPoint3D TRenderTargetContext::CurrentEyePosition() const {
  const TMatrix3D& inv = CurrentCameraInvMatrix();
  return {inv.m[3][0], inv.m[3][1], inv.m[3][2]};
}

TMatrix3D TRenderTargetContext::CurrentModelViewProjection() {
  if (FScene3D) return CurrentMatrix() * CurrentCameraMatrix() * CurrentProjectionMatrix();
  // Window pixels: x 0..width to -1..1, y 0..height to 1..-1, z kept (0 is the near end).
  TMatrix3D screen;
  screen.m[0][0] = FWidth > 0 ? 2.0f / FWidth : 1;
  screen.m[1][1] = FHeight > 0 ? -2.0f / FHeight : 1;
  screen.m[3][0] = -1;
  screen.m[3][1] = 1;
  return CurrentMatrix() * screen;
}

void TRenderTargetContext::SetContextState(TRenderState AState) {
  if (AState == TRenderState::cs3DScene)
    FScene3D = true;
  else if (AState == TRenderState::cs2DScene)
    FScene3D = false;
  else
    ApplyState(AState);
}

}  // namespace sphaerix
