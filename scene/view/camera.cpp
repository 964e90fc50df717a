#include "scene/view/camera.h"

#include <algorithm>
#include <cmath>

namespace sphaerix {

TCamera::TCamera(TSceneObject* AOwner) : TControl3D(AOwner) {
  SetHitTest(false);
  Position().SetPoint({0, 0, -5});
}

TCamera::~TCamera() {
  if (FTarget) FTarget->RemoveFreeNotify(this);
}

void TCamera::SetAngleOfView(float AValue) {
  if (AValue == FAngleOfView) return;
  // Not a number clamps to the lower bound rather than poisoning the projection.
  FAngleOfView = std::isnan(AValue) ? 1.0f : std::min(179.0f, std::max(1.0f, AValue));
  RebuildLocalMatrix();
}

void TCamera::SetTarget(TControl3D* AValue) {
  if (AValue == FTarget) return;
  if (FTarget) FTarget->RemoveFreeNotify(this);
  FTarget = AValue;
  if (FTarget) FTarget->AddFreeNotify(this);
  RebuildLocalMatrix();
}

void TCamera::FreeNotification(TSceneObject* AObject) {
  TControl3D::FreeNotification(AObject);
  if (AObject == FTarget) {
    FTarget = nullptr;
    if (!NodeDestroying()) RebuildLocalMatrix();
  }
}

TMatrix3D TCamera::CameraMatrix() const {
  const TPoint3D eye = AbsolutePosition().ToPoint3D();
  const TVector3D up = AbsoluteUp();
  const TPoint3D upDir(-up.X, -up.Y, -up.Z);
  if (FTarget) {
    const TPoint3D target = FTarget->AbsolutePosition().ToPoint3D();
    return TMatrix3D::CreateLookAtDirRH(eye, eye - target, upDir);
  }
  const TVector3D dir = AbsoluteDirection();
  return TMatrix3D::CreateLookAtDirRH(eye, TPoint3D(-dir.X, -dir.Y, -dir.Z), upDir);
}

}  // namespace sphaerix
