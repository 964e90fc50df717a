// TLight: a light node of the 3D scene, and TLightDescription, the light as the
// materials see it in one frame.
//
// A light registers with the viewport whose tree it joins and leaves that viewport's
// list when it leaves the tree; the viewport hands every registered light to the
// context at the start of each frame. A light draws nothing at run time.
#pragma once

#include "scene/material/color.h"
#include "scene/nodes/control3d.h"
#include "scene/nodes/math3d.h"

namespace sphaerix {

enum class TLightType { Directional, Point, Spot };

// One light in one frame. Position is the light's AbsolutePosition, Direction its
// AbsoluteDirection: its own +z axis in world terms, scaled with the node and its
// ancestors and not normalised. A light shines along Direction.
struct TLightDescription {
  bool Enabled = true;
  TAlphaColor Color = claWhite;
  TLightType LightType = TLightType::Directional;
  float SpotCutOff = 180;
  float SpotExponent = 0;
  TPoint3D Position;
  TPoint3D Direction;
};

class TLight : public TControl3D {
 public:
  explicit TLight(TSceneObject* AOwner = nullptr);
  ~TLight() override;

  // A disabled light is skipped by the materials. Switching it asks for a new frame.
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool AValue);
  // Red, green and blue scale the light; its alpha is not used.
  TAlphaColor Color() const { return FColor; }
  void SetColor(TAlphaColor AValue);
  // Point resets the cone to 180 / 0, Spot sets 60 / 4, Directional leaves it.
  TLightType LightType() const { return FLightType; }
  void SetLightType(TLightType AValue);
  // Cone half-angle in degrees and fall-off exponent, used by Spot.
  float SpotCutOff() const { return FSpotCutOff; }
  void SetSpotCutOff(float AValue);
  float SpotExponent() const { return FSpotExponent; }
  void SetSpotExponent(float AValue);

  // The light as it stands now, for the frame being drawn.
  TLightDescription LightDescription() const;

  // Registers with the new viewport and leaves the old one.
  void SetNewViewport(IViewport3D* AViewport) override;

 private:
  void Changed();

  bool FEnabled = true;
  TAlphaColor FColor = claWhite;
  TLightType FLightType = TLightType::Directional;
  float FSpotCutOff = 180;
  float FSpotExponent = 0;
};

}  // namespace sphaerix
