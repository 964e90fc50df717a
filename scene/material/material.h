// Materials: what decides the colour of every pixel a mesh shape draws.
//
// TLightMaterial is lit per vertex by the lights of the frame and textured;
// TTextureMaterial shows its texture unlit. The uniforms a device program needs are
// computed here, in plain C++, from the material, the frame's light list and the
// camera, so that every rule of the shading is testable without a device; the device
// only uploads them. LightVertexColor evaluates the lit vertex program on the CPU with
// exactly the equations the device programs use.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "scene/material/color.h"
#include "scene/nodes/math3d.h"

namespace sphaerix {

class TBitmap;
class TMaterialSource;
struct TLightDescription;

// A colour as a shader sees it: (red, green, blue, alpha) / 255.
TVector3D ColorToVector(TAlphaColor AColor);

// What a device keeps for a texture (its own texture object); released with the texture.
class TTextureHandle {
 public:
  virtual ~TTextureHandle() = default;
};

// A texture made from a bitmap: the bitmap's size and pixels (BGRA, premultiplied, top
// row first), one level unless MipMaps asks the device for the smaller ones too (for a
// picture seen much smaller than it is, which would shimmer otherwise). The device copies the pixels on first use and again whenever
// Revision changes, so an unchanged bitmap is uploaded once.
class TTexture {
 public:
  explicit TTexture(TBitmap& ABitmap);
  TTexture(const TTexture&) = delete;
  TTexture& operator=(const TTexture&) = delete;

  // The bitmap the pixels come from; the device may drop its pixels once it holds them
  // (see TBitmap::ReleasePixels) and have them decoded again.
  TBitmap& Bitmap() const { return FBitmap; }
  // Size as of the last refresh.
  int Width() const { return FWidth; }
  int Height() const { return FHeight; }
  // Unique across the process; a new value after every refresh.
  std::uint64_t Revision() const { return FRevision; }
  // The bitmap's pixels changed: take its size and a new revision.
  void Refresh();
  // The device was handed a picture of AWidth x AHeight filled without the bitmap (strip
  // by strip): its size, whether it is opaque, and a new revision; not round.
  void RefreshFromDevice(int AWidth, int AHeight, bool AOpaque);
  bool MipMaps() const { return FMipMaps; }
  // A change is uploaded again, like new pixels.
  void SetMipMaps(bool AValue);
  // Every pixel fully opaque, as of the last refresh.
  bool Opaque() const { return FOpaque; }
  // As of the last refresh: the picture is square and the same turned by any angle about
  // its centre (circles round it, such as a ring's), as far as its pixels can show, and
  // clear (no alpha) farther from the centre than ClearBeyond, in texture coordinates.
  // A flat mesh mapped onto it looks the same turned about that centre.
  bool Round() const { return FRound; }
  float ClearBeyond() const { return FClearBeyond; }

  TTextureHandle* Handle() const { return FHandle.get(); }
  void SetHandle(std::unique_ptr<TTextureHandle> AHandle) const { FHandle = std::move(AHandle); }
  // Lets the device release its copy (a texture nobody shows); it is made again from the
  // bitmap, or from the bitmap's origin, when the texture is drawn next.
  void ReleaseHandle() const { FHandle.reset(); }

 private:
  TBitmap& FBitmap;
  int FWidth = 0;
  int FHeight = 0;
  std::uint64_t FRevision = 0;
  bool FMipMaps = false;
  bool FOpaque = false;
  bool FRound = false;
  float FClearBeyond = 1;
  mutable std::unique_ptr<TTextureHandle> FHandle;
};

class TLightMaterial;
class TTextureMaterial;

// What draws with (or looks at) a material: each kind of material hands itself to the
// call for its kind, so no caller asks which kind it has.
class IMaterialShading {
 public:
  virtual ~IMaterialShading() = default;
  virtual void Shade(const TLightMaterial& AMaterial) = 0;
  virtual void Shade(const TTextureMaterial& AMaterial) = 0;
};

class TMaterial {
 public:
  virtual ~TMaterial() = default;
  TMaterial(const TMaterial&) = delete;
  TMaterial& operator=(const TMaterial&) = delete;

  TMaterialSource* Source() const { return FSource; }
  // Reports a change to the source: every shape using it repaints.
  void DoChange();
  // Calls AShading's Shade for this material's kind.
  virtual void ShadeWith(IMaterialShading& AShading) const = 0;

 protected:
  explicit TMaterial(TMaterialSource* ASource) : FSource(ASource) {}

 private:
  TMaterialSource* FSource;
};

class TLightMaterial : public TMaterial {
 public:
  explicit TLightMaterial(TMaterialSource* ASource = nullptr) : TMaterial(ASource) {}
  void ShadeWith(IMaterialShading& AShading) const override { AShading.Shade(*this); }

  // The colour and shininess setters store without any notification: a new value
  // shows in the next frame drawn for another reason.
  TAlphaColor Diffuse() const { return FDiffuse; }
  void SetDiffuse(TAlphaColor AValue) { FDiffuse = AValue; }
  TAlphaColor Ambient() const { return FAmbient; }
  void SetAmbient(TAlphaColor AValue) { FAmbient = AValue; }
  TAlphaColor Emissive() const { return FEmissive; }
  void SetEmissive(TAlphaColor AValue) { FEmissive = AValue; }
  TAlphaColor Specular() const { return FSpecular; }
  void SetSpecular(TAlphaColor AValue) { FSpecular = AValue; }
  int Shininess() const { return FShininess; }
  void SetShininess(int AValue) { FShininess = AValue; }
  // Not owned (the source owns it); none draws the lit colour alone.
  const TTexture* Texture() const { return FTexture; }
  void SetTexture(const TTexture* AValue) { FTexture = AValue; }

 private:
  TAlphaColor FDiffuse = 0xFFFFFFFF;
  TAlphaColor FAmbient = 0xFF202020;
  TAlphaColor FEmissive = claNull;
  TAlphaColor FSpecular = 0xFF606060;
  int FShininess = 30;
  const TTexture* FTexture = nullptr;
};

class TTextureMaterial : public TMaterial {
 public:
  explicit TTextureMaterial(TMaterialSource* ASource = nullptr) : TMaterial(ASource) {}
  void ShadeWith(IMaterialShading& AShading) const override { AShading.Shade(*this); }

  const TTexture* Texture() const { return FTexture; }
  // A different texture is stored and reported as a change.
  void SetTexture(const TTexture* AValue);

 private:
  const TTexture* FTexture = nullptr;
};

// The most lights a draw takes into account.
constexpr int MaxLightCount = 8;

// Type codes of a light slot's Opts.x.
constexpr float LightSlotEmpty = 0, LightSlotDirectional = 1, LightSlotPoint = 2, LightSlotSpot = 3;

// One light slot of the lit vertex program. Opts = (type code, cos(cut-off), spot
// exponent, 0); Pos = (position, 1); Dir = (direction, 1); Color = the light's colour.
// An empty slot is all zero and contributes nothing.
struct TLightSlot {
  TVector3D Opts{0, 0, 0, 0};
  TVector3D Pos{0, 0, 0, 0};
  TVector3D Dir{0, 0, 0, 0};
  TVector3D Color{0, 0, 0, 0};
};

// Everything the light material's programs take for one draw, matrices aside.
struct TLightMaterialUniforms {
  // The vertex program: 0 (no lights), 2, 4 or 8 slots.
  int SlotCount = 0;
  TVector3D MaterialDiffuse, MaterialSpecular, MaterialAmbient, MaterialEmission;
  TVector3D MaterialOpts{0, 0, 0, 0};  // x = Shininess
  TVector3D EyePos{0, 0, 0, 1};
  TLightSlot Lights[MaxLightCount];
  float Opacity = 1;
  // 0: the lit colour; 1: the texel; 2: their product.
  float Modulation = 0;
  const TTexture* Texture = nullptr;
};

// Whether every pixel AMaterial draws at full opacity is opaque: its texture is, or it
// has none (a plain colour, or white in place of a missing texture).
bool DrawsOpaque(const TMaterial* AMaterial);

// The uniforms of one draw: the enabled lights of ALights in order fill the slots (at
// most MaxLightCount; disabled ones take none), the program is the smallest of 2, 4 or
// 8 slots that holds them. AEyePos is the eye in world coordinates.
TLightMaterialUniforms LightMaterialUniforms(const TLightMaterial& AMaterial,
                                             const std::vector<TLightDescription>& ALights,
                                             const TPoint3D& AEyePos, float AOpacity);

// The lit vertex program on the CPU: the colour (r, g, b, a) of a vertex at APosition
// with normal ANormal (model coordinates) drawn with the model matrix AModel.
TVector3D LightVertexColor(const TLightMaterialUniforms& AUniforms, const TMatrix3D& AModel,
                           const TPoint3D& APosition, const TPoint3D& ANormal);

// x ^ e as every lighting program computes it: 1 for e = 0, 0 for x <= 0, so that no
// program depends on how a device raises a negative or zero base.
float LightingPow(float AX, float AE);

}  // namespace sphaerix
