#include "scene/material/light.h"

namespace sphaerix {

TLight::TLight(TSceneObject* AOwner) : TControl3D(AOwner) { SetHitTest(false); }

// The base destructor no longer reaches this class's SetNewViewport, so the light
// leaves its viewport's list here.
TLight::~TLight() {
  if (IViewport3D* v = Viewport()) v->RemoveLight(this);
}

void TLight::SetNewViewport(IViewport3D* AViewport) {
  IViewport3D* old = Viewport();
  if (old != AViewport) {
    if (old) old->RemoveLight(this);
    if (AViewport) AViewport->AddLight(this);
  }
  TControl3D::SetNewViewport(AViewport);
}

// A light change shows in the next frame whether or not the light node itself is
// visible: lights are never drawn, only used.
void TLight::Changed() {
  if (IViewport3D* v = Viewport(); v && !NodeDestroying()) v->NeedRender();
}

void TLight::SetEnabled(bool AValue) {
  if (FEnabled == AValue) return;
  FEnabled = AValue;
  Changed();
}

void TLight::SetColor(TAlphaColor AValue) {
  if (FColor == AValue) return;
  FColor = AValue;
  Changed();
}

void TLight::SetLightType(TLightType AValue) {
  if (FLightType == AValue) return;
  FLightType = AValue;
  if (AValue == TLightType::Point) {
    FSpotCutOff = 180;
    FSpotExponent = 0;
  } else if (AValue == TLightType::Spot) {
    FSpotCutOff = 60;
    FSpotExponent = 4;
  }
  Changed();
}

void TLight::SetSpotCutOff(float AValue) {
  if (FSpotCutOff == AValue) return;
  FSpotCutOff = AValue;
  Changed();
}

void TLight::SetSpotExponent(float AValue) {
  if (FSpotExponent == AValue) return;
  FSpotExponent = AValue;
  Changed();
}

TLightDescription TLight::LightDescription() const {
  const TMatrix3D m = AbsoluteMatrix();
  TLightDescription d;
  d.Enabled = FEnabled;
  d.Color = FColor;
  d.LightType = FLightType;
  d.SpotCutOff = FSpotCutOff;
  d.SpotExponent = FSpotExponent;
  d.Position = {m.m[3][0], m.m[3][1], m.m[3][2]};
  d.Direction = {m.m[2][0], m.m[2][1], m.m[2][2]};
  return d;
}

}  // namespace sphaerix
