#include "scene/input/gesture_manager.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace sphaerix {

TGestureManager::TGestureManager(TSceneObject* AOwner) : TSceneObject(AOwner) {
  RegisterFloatProperty("Sensitivity", [this] { return Sensitivity(); }, [this](float v) { SetSensitivity(v); });
}

void TGestureManager::SetSensitivity(float AValue) {
  // nearbyint rounds halves to even under the default rounding mode; NaN and values far
  // outside any int are rejected before the conversion.
  const double rounded = std::nearbyint(static_cast<double>(AValue));
  if (!(rounded >= MinSensitivity && rounded <= MaxSensitivity)) {
    char message[64];
    std::snprintf(message, sizeof message, "Value must be between %d and %d", MinSensitivity, MaxSensitivity);
    throw EGestureError(message);
  }
  FSensitivity = static_cast<int>(rounded);
}

int TGestureManager::ErrorMarginWidening() const {
  const int slack = MaxSensitivity - FSensitivity;
  return static_cast<int>(std::lround(slack * slack / 100.0));
}

int TGestureManager::EffectiveErrorMargin(int ABaseMargin) const {
  return std::min(MaxErrorMargin, ABaseMargin + ErrorMarginWidening());
}

}  // namespace sphaerix
