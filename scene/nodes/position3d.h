// TPosition3D: the X, Y, Z triple a node owns for its Position, Scale, RotationAngle and
// RotationCenter. A TSceneObject so that property paths such as "RotationAngle.Y" resolve
// to its float properties X, Y and Z.
#pragma once

#include <functional>

#include "scene/nodes/math3d.h"
#include "scene/nodes/object.h"

namespace sphaerix {

class TPosition3D : public TSceneObject {
 public:
  using TNotifyEvent = std::function<void(TSceneObject* Sender)>;

  TPosition3D(TSceneObject* AOwner, const TPoint3D& ADefaultValue);

  float X() const { return FX; }
  float Y() const { return FY; }
  float Z() const { return FZ; }
  // An equal value does nothing; another is stored, then OnChangeX (Y, Z) runs when
  // assigned, otherwise OnChange.
  void SetX(float AValue);
  void SetY(float AValue);
  void SetZ(float AValue);

  TPoint3D Point() const { return {FX, FY, FZ}; }
  // Stores all three without comparing and runs OnChange only.
  void SetPoint(const TPoint3D& AValue);
  // Stores all three and runs no event.
  void SetPoint3DNoChange(const TPoint3D& AValue);

  const TPoint3D& DefaultValue() const { return FDefaultValue; }
  // All three exactly 0.
  bool Empty() const { return FX == 0 && FY == 0 && FZ == 0; }

  // When set, a write of a value that is not finite (NaN, an infinity) leaves that
  // component exactly as it was and raises nothing: an angle like that turns nothing and
  // must not end up stored, where it would spread into the saved angles.
  bool IgnoresNonFinite() const { return FIgnoresNonFinite; }
  void SetIgnoresNonFinite(bool AValue) { FIgnoresNonFinite = AValue; }

  TNotifyEvent OnChange;
  TNotifyEvent OnChangeX;
  TNotifyEvent OnChangeY;
  TNotifyEvent OnChangeZ;

 private:
  void Changed(const TNotifyEvent& AAxisEvent);
  bool Refused(float AValue) const;

  TPoint3D FDefaultValue;
  float FX, FY, FZ;
  bool FIgnoresNonFinite = false;
};

}  // namespace sphaerix
