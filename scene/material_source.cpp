#include "scene/material_source.h"

#include <algorithm>

#include "scene/mesh.h"

namespace sphaerix {

TMaterialSource::TMaterialSource(TFmxObject* AOwner) : TFmxObject(AOwner) {}

// The shapes still listening hear of this end through free notification and drop
// their reference; the list itself goes with the source.
TMaterialSource::~TMaterialSource() = default;

void TMaterialSource::AddChangeListener(TShape3D* AShape) {
  if (!AShape) return;
  if (std::find(FListeners.begin(), FListeners.end(), AShape) == FListeners.end())
    FListeners.push_back(AShape);
}

void TMaterialSource::RemoveChangeListener(TShape3D* AShape) {
  FListeners.erase(std::remove(FListeners.begin(), FListeners.end(), AShape), FListeners.end());
}

void TMaterialSource::NotifyChanged() {
  // A copy: a repaint may run code that changes the list.
  const std::vector<TShape3D*> listeners = FListeners;
  for (TShape3D* shape : listeners) shape->Repaint();
}

TMaterial* ValidMaterial(const TMaterialSource* ASource) { return ASource ? ASource->Material() : nullptr; }

}  // namespace sphaerix

namespace sphaerix {

TLightMaterialSource::TLightMaterialSource(TFmxObject* AOwner)
    : TMaterialSource(AOwner), FMaterial(std::make_unique<TLightMaterial>(this)) {
  FTexture.OnChange = [this](TBitmap&) { TextureChanged(); };
}

// The material goes before the texture it points at.
TLightMaterialSource::~TLightMaterialSource() {
  FTexture.OnChange = nullptr;
  FMaterial.reset();
}

void TLightMaterialSource::TextureChanged() {
  if (FTexture.IsEmpty()) return;
  if (FDeviceTexture)
    FDeviceTexture->Refresh();
  else
    FDeviceTexture = std::make_unique<TTexture>(FTexture);
  FMaterial->SetTexture(FDeviceTexture.get());
}

TTextureMaterialSource::TTextureMaterialSource(TFmxObject* AOwner)
    : TMaterialSource(AOwner), FMaterial(std::make_unique<TTextureMaterial>(this)) {
  FTexture.OnChange = [this](TBitmap&) { TextureChanged(); };
}

TTextureMaterialSource::~TTextureMaterialSource() {
  FTexture.OnChange = nullptr;
  FMaterial.reset();
}

void TTextureMaterialSource::TextureChanged() {
  if (FTexture.IsEmpty()) return;
  if (FDeviceTexture)
    FDeviceTexture->Refresh();
  else
    FDeviceTexture = std::make_unique<TTexture>(FTexture);
  FMaterial->SetTexture(FDeviceTexture.get());
}

}  // namespace sphaerix
