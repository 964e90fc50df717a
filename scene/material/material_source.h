// TMaterialSource: a scene-tree component, never drawn, that owns one material (created
// by the subclass) and keeps the list of shapes using it, so that a change of the
// material repaints them.
#pragma once

#include <memory>
#include <vector>

#include "scene/material/bitmap.h"
#include "scene/material/color.h"
#include "scene/material/material.h"
#include "scene/nodes/object.h"

namespace sphaerix {

class TControl3D;

class TMaterialSource : public TSceneObject {
 public:
  explicit TMaterialSource(TSceneObject* AOwner = nullptr);
  ~TMaterialSource() override;

  // The material this source owns; none for the plain base.
  virtual TMaterial* Material() const { return nullptr; }

  // Nodes that repaint when the material changes. A shape registers itself when it
  // takes this source and unregisters when it drops it or is destroyed.
  void AddChangeListener(TControl3D* ANode);
  void RemoveChangeListener(TControl3D* ANode);
  const std::vector<TControl3D*>& ChangeListeners() const { return FListeners; }

  // The material reported a change: every shape in the list repaints.
  void NotifyChanged();

 private:
  std::vector<TControl3D*> FListeners;
};

// A lit, textured material. The four colours and Shininess go straight into the
// material without notification. Texture is owned: a change of a non-empty bitmap
// (loading, assigning) makes the material use that bitmap's texture, also without
// notification; an empty bitmap leaves the material's texture as it was.
class TLightMaterialSource : public TMaterialSource {
 public:
  explicit TLightMaterialSource(TSceneObject* AOwner = nullptr);
  ~TLightMaterialSource() override;

  TMaterial* Material() const override { return FMaterial.get(); }
  TLightMaterial& LightMaterial() const { return *FMaterial; }

  TAlphaColor Diffuse() const { return FMaterial->Diffuse(); }
  void SetDiffuse(TAlphaColor AValue) { FMaterial->SetDiffuse(AValue); }
  TAlphaColor Ambient() const { return FMaterial->Ambient(); }
  void SetAmbient(TAlphaColor AValue) { FMaterial->SetAmbient(AValue); }
  TAlphaColor Emissive() const { return FMaterial->Emissive(); }
  void SetEmissive(TAlphaColor AValue) { FMaterial->SetEmissive(AValue); }
  TAlphaColor Specular() const { return FMaterial->Specular(); }
  void SetSpecular(TAlphaColor AValue) { FMaterial->SetSpecular(AValue); }
  int Shininess() const { return FMaterial->Shininess(); }
  void SetShininess(int AValue) { FMaterial->SetShininess(AValue); }

  TBitmap& Texture() { return FTexture; }
  const TBitmap& Texture() const { return FTexture; }
  // Copies ABitmap into Texture (the change reaches the material as above).
  void SetTexture(const TBitmap& ABitmap) { FTexture.Assign(ABitmap); }
  // Whether the device keeps smaller copies of the texture for when it is seen small.
  bool MipMaps() const { return FMipMaps; }
  void SetMipMaps(bool AValue);

 private:
  void TextureChanged();

  TBitmap FTexture;
  bool FMipMaps = false;
  std::unique_ptr<TTexture> FDeviceTexture;
  std::unique_ptr<TLightMaterial> FMaterial;
};

// An unlit texture material. A change of a non-empty Texture bitmap hands its texture
// to the material, which reports the change: every shape using the source repaints.
class TTextureMaterialSource : public TMaterialSource {
 public:
  explicit TTextureMaterialSource(TSceneObject* AOwner = nullptr);
  ~TTextureMaterialSource() override;

  TMaterial* Material() const override { return FMaterial.get(); }
  TTextureMaterial& TextureMaterial() const { return *FMaterial; }

  TBitmap& Texture() { return FTexture; }
  const TBitmap& Texture() const { return FTexture; }
  void SetTexture(const TBitmap& ABitmap) { FTexture.Assign(ABitmap); }
  bool MipMaps() const { return FMipMaps; }
  void SetMipMaps(bool AValue);
  // The device may free its copy of the texture (nothing shows it); the picture comes
  // back the next time it is drawn.
  void ReleaseDeviceTexture();
  // The texture the material shows, none before the first non-empty bitmap.
  TTexture* DeviceTexture() const { return FDeviceTexture.get(); }

 private:
  void TextureChanged();

  TBitmap FTexture;
  bool FMipMaps = false;
  std::unique_ptr<TTexture> FDeviceTexture;
  std::unique_ptr<TTextureMaterial> FMaterial;
};

// The material of ASource, or none when there is no source.
TMaterial* ValidMaterial(const TMaterialSource* ASource);

}  // namespace sphaerix
