#include "scene/material/material_source.h"

#include <algorithm>

#include "scene/mesh/mesh.h"

namespace sphaerix {

TMaterialSource::TMaterialSource(TSceneObject* AOwner) : TSceneObject(AOwner) {}

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

namespace {

// A new non-empty bitmap reaches the material as its device texture: made on the first
// change, refreshed on later ones. An emptied bitmap leaves the material what it had.
template <class TSomeMaterial>
void HandTexture(TBitmap& ABitmap, bool AMipMaps, std::unique_ptr<TTexture>& ADevice,
                 TSomeMaterial& AMaterial) {
  if (ABitmap.IsEmpty()) return;
  if (ADevice)
    ADevice->Refresh();
  else
    ADevice = std::make_unique<TTexture>(ABitmap);
  ADevice->SetMipMaps(AMipMaps);
  AMaterial.SetTexture(ADevice.get());
}

}  // namespace

TLightMaterialSource::TLightMaterialSource(TSceneObject* AOwner)
    : TMaterialSource(AOwner), FMaterial(std::make_unique<TLightMaterial>(this)) {
  FTexture.OnChange = [this](TBitmap&) { TextureChanged(); };
}

// The material goes before the texture it points at.
TLightMaterialSource::~TLightMaterialSource() {
  FTexture.OnChange = nullptr;
  FMaterial.reset();
}

void TLightMaterialSource::TextureChanged() { HandTexture(FTexture, FMipMaps, FDeviceTexture, *FMaterial); }

void TLightMaterialSource::SetMipMaps(bool AValue) {
  if (FMipMaps == AValue) return;
  FMipMaps = AValue;
  TextureChanged();
}

TTextureMaterialSource::TTextureMaterialSource(TSceneObject* AOwner)
    : TMaterialSource(AOwner), FMaterial(std::make_unique<TTextureMaterial>(this)) {
  FTexture.OnChange = [this](TBitmap&) { TextureChanged(); };
}

TTextureMaterialSource::~TTextureMaterialSource() {
  FTexture.OnChange = nullptr;
  FMaterial.reset();
}

void TTextureMaterialSource::ReleaseDeviceTexture() {
  if (FDeviceTexture) FDeviceTexture->ReleaseHandle();
}

void TTextureMaterialSource::TextureChanged() { HandTexture(FTexture, FMipMaps, FDeviceTexture, *FMaterial); }

void TTextureMaterialSource::SetMipMaps(bool AValue) {
  if (FMipMaps == AValue) return;
  FMipMaps = AValue;
  TextureChanged();
}

}  // namespace sphaerix
