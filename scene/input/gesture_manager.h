// The gesture manager a control names in Touch.GestureManager: it owns the sensitivity with
// which stroke gestures are matched. Zoom and double tap do not depend on it.
#pragma once

#include <stdexcept>

#include "scene/nodes/object.h"

namespace sphaerix {

// Raised when a gesture setting is given a value outside its range.
class EGestureError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TGestureManager : public TSceneObject {
 public:
  static constexpr int MinSensitivity = 1;
  static constexpr int MaxSensitivity = 100;
  static constexpr int MaxErrorMargin = 100;

  explicit TGestureManager(TSceneObject* AOwner);

  float Sensitivity() const { return static_cast<float>(FSensitivity); }
  // Takes the value to the nearest integer (halves to even); outside 1..100 it raises
  // EGestureError and the old value stays.
  void SetSensitivity(float AValue);

  // How much a stroke gesture's error margin widens: (100 - s)^2 / 100, to the nearest integer.
  int ErrorMarginWidening() const;
  // A stroke gesture's margin after widening, capped at 100.
  int EffectiveErrorMargin(int ABaseMargin) const;

 private:
  int FSensitivity = 80;
};

}  // namespace sphaerix
