#include "scene/material/material_source.h"

#include <algorithm>

#include "scene/nodes/control3d.h"

namespace sphaerix {

TMaterialSource::TMaterialSource(TSceneObject* AOwner) : TSceneObject(AOwner) {}

// The shapes still listening hear of this end through free notification and drop
// their reference; the list itself goes with the source.
TMaterialSource::~TMaterialSource() = default;

void TMaterialSource::AddChangeListener(TControl3D* ANode) {
  if (!ANode) return;
  if (std::find(FListeners.begin(), FListeners.end(), ANode) == FListeners.end())
    FListeners.push_back(ANode);
}

void TMaterialSource::RemoveChangeListener(TControl3D* ANode) {
  FListeners.erase(std::remove(FListeners.begin(), FListeners.end(), ANode), FListeners.end());
}

void TMaterialSource::NotifyChanged() {
  // A copy: a repaint may run code that changes the list.
  const std::vector<TControl3D*> listeners = FListeners;
  for (TControl3D* node : listeners) node->Repaint();
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
