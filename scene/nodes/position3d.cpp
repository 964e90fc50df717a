#include "scene/nodes/position3d.h"

#include <cmath>

namespace sphaerix {

TPosition3D::TPosition3D(TSceneObject* AOwner, const TPoint3D& ADefaultValue)
    : TSceneObject(AOwner), FDefaultValue(ADefaultValue), FX(ADefaultValue.X), FY(ADefaultValue.Y),
      FZ(ADefaultValue.Z) {
  RegisterFloatProperty("X", [this] { return FX; }, [this](float v) { SetX(v); });
  RegisterFloatProperty("Y", [this] { return FY; }, [this](float v) { SetY(v); });
  RegisterFloatProperty("Z", [this] { return FZ; }, [this](float v) { SetZ(v); });
}

void TPosition3D::Changed(const TNotifyEvent& AAxisEvent) {
  if (AAxisEvent)
    AAxisEvent(this);
  else if (OnChange)
    OnChange(this);
}

bool TPosition3D::Refused(float AValue) const { return FIgnoresNonFinite && !std::isfinite(AValue); }

void TPosition3D::SetX(float AValue) {
  if (AValue == FX || Refused(AValue)) return;
  FX = AValue;
  Changed(OnChangeX);
}

void TPosition3D::SetY(float AValue) {
  if (AValue == FY || Refused(AValue)) return;
  FY = AValue;
  Changed(OnChangeY);
}

void TPosition3D::SetZ(float AValue) {
  if (AValue == FZ || Refused(AValue)) return;
  FZ = AValue;
  Changed(OnChangeZ);
}

void TPosition3D::SetPoint(const TPoint3D& AValue) {
  if (!Refused(AValue.X)) FX = AValue.X;
  if (!Refused(AValue.Y)) FY = AValue.Y;
  if (!Refused(AValue.Z)) FZ = AValue.Z;
  if (OnChange) OnChange(this);
}

void TPosition3D::SetPoint3DNoChange(const TPoint3D& AValue) {
  FX = AValue.X;
  FY = AValue.Y;
  FZ = AValue.Z;
}

}  // namespace sphaerix
