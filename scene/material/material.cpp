#include "scene/material/material.h"

#include <algorithm>
#include <atomic>
#include <cmath>

#include "scene/material/bitmap.h"
#include "scene/material/light.h"
#include "scene/material/material_source.h"

namespace sphaerix {

namespace {

constexpr float kPi = 3.14159265358979f;

std::uint64_t NextTextureRevision() {
  static std::atomic<std::uint64_t> counter{0};
  return ++counter;
}

TVector3D Slot4(const TPoint3D& p, float w) { return {p.X, p.Y, p.Z, w}; }

TPoint3D Xyz(const TVector3D& v) { return {v.X, v.Y, v.Z}; }

// v x the upper 3 x 3 part of M (a direction, no translation).
TPoint3D TransformNormal(const TPoint3D& v, const TMatrix3D& M) {
  return {v.X * M.m[0][0] + v.Y * M.m[1][0] + v.Z * M.m[2][0],
          v.X * M.m[0][1] + v.Y * M.m[1][1] + v.Z * M.m[2][1],
          v.X * M.m[0][2] + v.Y * M.m[1][2] + v.Z * M.m[2][2]};
}

TPoint3D Mul(const TPoint3D& a, const TPoint3D& b) { return {a.X * b.X, a.Y * b.Y, a.Z * b.Z}; }

float Clamp01(float v) { return std::min(1.0f, std::max(0.0f, v)); }

int ProgramSlots(int AEnabledLights) {
  if (AEnabledLights == 0) return 0;
  if (AEnabledLights <= 2) return 2;
  if (AEnabledLights <= 4) return 4;
  return 8;
}

// The premultiplied pixel at (AX, AY), in pixels from the picture's top left corner,
// between pixel centres linearly as a device samples it; channels 0 .. 255.
void SampleLinear(const TBitmap& ABitmap, float AX, float AY, float AOut[4]) {
  const float fx = std::clamp(AX - 0.5f, 0.0f, static_cast<float>(ABitmap.Width() - 1));
  const float fy = std::clamp(AY - 0.5f, 0.0f, static_cast<float>(ABitmap.Height() - 1));
  const int x0 = static_cast<int>(fx), y0 = static_cast<int>(fy);
  const int x1 = std::min(x0 + 1, ABitmap.Width() - 1), y1 = std::min(y0 + 1, ABitmap.Height() - 1);
  const float tx = fx - static_cast<float>(x0), ty = fy - static_cast<float>(y0);
  const std::uint32_t p[4] = {ABitmap.Scanline(y0)[x0], ABitmap.Scanline(y0)[x1], ABitmap.Scanline(y1)[x0],
                              ABitmap.Scanline(y1)[x1]};
  for (int c = 0; c < 4; ++c) {
    auto ch = [&](int i) { return static_cast<float>((p[i] >> (8 * c)) & 0xFF); };
    AOut[c] = (ch(0) * (1 - tx) + ch(1) * tx) * (1 - ty) + (ch(2) * (1 - tx) + ch(3) * tx) * ty;
  }
}

// Whether ABitmap is a picture of circles round its centre, and how far from the centre,
// in texture coordinates, anything shows. Every circle out to there is sampled at evenly
// spread angles; its samples may differ by a level or two, and by as much as the picture
// changes within a pixel along the radius there: a sample between pixels falls a
// fraction of a pixel nearer or farther, which at a sharp edge is most of the step.
void MeasureRoundness(const TBitmap& ABitmap, bool& ARound, float& AClearBeyond) {
  ARound = false;
  AClearBeyond = 1;
  const int size = ABitmap.Width();
  if (size < 8 || ABitmap.Height() != size || !ABitmap.Bits()) return;
  const float centre = static_cast<float>(size) / 2;
  // The farthest pixel with any alpha: in each row the first and the last.
  float farthest = 0;
  for (int y = 0; y < size; ++y) {
    const std::uint32_t* row = ABitmap.Scanline(y);
    int first = 0, last = size - 1;
    while (first < size && (row[first] >> 24) == 0) ++first;
    if (first == size) continue;
    while ((row[last] >> 24) == 0) --last;
    const float dy = static_cast<float>(y) + 0.5f - centre;
    for (int x : {first, last}) {
      const float dx = static_cast<float>(x) + 0.5f - centre;
      farthest = std::max(farthest, std::sqrt(dx * dx + dy * dy));
    }
  }
  if (farthest + 1 >= centre) return;  // reaches the edge: a square, not circles
  // Circles round the centre are their own mirror images across both middle lines, to
  // the pixel: a spot or a shift anywhere breaks that.
  auto near = [](std::uint32_t A, std::uint32_t B) {
    if (A == B) return true;
    for (int shift = 0; shift < 32; shift += 8)
      if (std::abs(static_cast<int>((A >> shift) & 0xFF) - static_cast<int>((B >> shift) & 0xFF)) > 2) return false;
    return true;
  };
  for (int y = 0; y < size; ++y) {
    const std::uint32_t* row = ABitmap.Scanline(y);
    const std::uint32_t* opposite = ABitmap.Scanline(size - 1 - y);
    for (int x = 0; x < size; ++x)
      if (!near(row[x], row[size - 1 - x]) || !near(row[x], opposite[x])) return;
  }
  constexpr int kAngles = 48;
  constexpr float kLevels = 2;
  float cosines[kAngles], sines[kAngles];
  for (int k = 0; k < kAngles; ++k) {
    const float a = 2 * kPi * (static_cast<float>(k) + 0.5f) / kAngles;
    cosines[k] = std::cos(a);
    sines[k] = std::sin(a);
  }
  for (float r = 1.5f; r < farthest + 1; r += 1) {
    float low[4] = {255, 255, 255, 255}, high[4] = {0, 0, 0, 0}, step[4] = {0, 0, 0, 0};
    for (int k = 0; k < kAngles; ++k) {
      float in[4], at[4], out[4];
      SampleLinear(ABitmap, centre + (r - 1) * cosines[k], centre + (r - 1) * sines[k], in);
      SampleLinear(ABitmap, centre + r * cosines[k], centre + r * sines[k], at);
      SampleLinear(ABitmap, centre + (r + 1) * cosines[k], centre + (r + 1) * sines[k], out);
      for (int c = 0; c < 4; ++c) {
        low[c] = std::min(low[c], at[c]);
        high[c] = std::max(high[c], at[c]);
        step[c] = std::max({step[c], std::abs(at[c] - in[c]), std::abs(out[c] - at[c])});
      }
    }
    for (int c = 0; c < 4; ++c)
      if (high[c] - low[c] > kLevels + step[c]) return;
  }
  ARound = true;
  AClearBeyond = (farthest + 1) / static_cast<float>(size);
}

}  // namespace

TVector3D ColorToVector(TAlphaColor AColor) {
  return {RedOf(AColor) / 255.0f, GreenOf(AColor) / 255.0f, BlueOf(AColor) / 255.0f,
          AlphaOf(AColor) / 255.0f};
}

float LightingPow(float AX, float AE) {
  if (AE == 0) return 1;
  if (AX <= 0) return 0;
  return std::pow(AX, AE);
}

TTexture::TTexture(TBitmap& ABitmap) : FBitmap(ABitmap) { Refresh(); }

void TTexture::SetMipMaps(bool AValue) {
  if (FMipMaps == AValue) return;
  FMipMaps = AValue;
  FRevision = NextTextureRevision();
}

void TTexture::RefreshFromDevice(int AWidth, int AHeight, bool AOpaque) {
  FWidth = AWidth;
  FHeight = AHeight;
  FRevision = NextTextureRevision();
  FOpaque = AOpaque;
  FRound = false;
  FClearBeyond = 1;
}

void TTexture::Refresh() {
  FWidth = FBitmap.Width();
  FHeight = FBitmap.Height();
  FRevision = NextTextureRevision();
  FOpaque = FBitmap.Bits() != nullptr;
  for (int y = 0; y < FHeight && FOpaque; ++y) {
    // Row by row without a branch per pixel: the maps are millions of pixels.
    std::uint32_t all = 0xFF000000u;
    const std::uint32_t* row = FBitmap.Scanline(y);
    for (int x = 0; x < FWidth; ++x) all &= row[x];
    FOpaque = (all >> 24) == 0xFF;
  }
  MeasureRoundness(FBitmap, FRound, FClearBeyond);
}

bool DrawsOpaque(const TMaterial* AMaterial) {
  struct Opacity : IMaterialShading {
    bool Opaque = true;
    void Shade(const TLightMaterial& AMaterial) override { Take(AMaterial.Texture()); }
    void Shade(const TTextureMaterial& AMaterial) override { Take(AMaterial.Texture()); }
    void Take(const TTexture* ATexture) { Opaque = !ATexture || ATexture->Opaque(); }
  } opacity;
  if (AMaterial) AMaterial->ShadeWith(opacity);
  return opacity.Opaque;
}

void TMaterial::DoChange() {
  if (FSource) FSource->NotifyChanged();
}

void TTextureMaterial::SetTexture(const TTexture* AValue) {
  FTexture = AValue;
  DoChange();
}

TLightMaterialUniforms LightMaterialUniforms(const TLightMaterial& AMaterial,
                                             const std::vector<TLightDescription>& ALights,
                                             const TPoint3D& AEyePos, float AOpacity) {
  TLightMaterialUniforms u;
  int enabled = 0;
  for (const TLightDescription& l : ALights)
    if (l.Enabled) ++enabled;
  u.SlotCount = ProgramSlots(std::min(enabled, MaxLightCount));

  u.MaterialDiffuse = ColorToVector(AMaterial.Diffuse());
  u.MaterialSpecular = ColorToVector(AMaterial.Specular());
  u.MaterialAmbient = ColorToVector(AMaterial.Ambient());
  u.MaterialEmission = ColorToVector(AMaterial.Emissive());
  u.MaterialOpts = {static_cast<float>(AMaterial.Shininess()), 0, 0, 0};
  u.EyePos = Slot4(AEyePos, 1);

  int slot = 0;
  for (const TLightDescription& l : ALights) {
    if (slot >= u.SlotCount) break;
    if (!l.Enabled) continue;
    TLightSlot& s = u.Lights[slot++];
    const float code = l.LightType == TLightType::Directional ? LightSlotDirectional
                       : l.LightType == TLightType::Point     ? LightSlotPoint
                                                               : LightSlotSpot;
    s.Opts = {code, std::cos(l.SpotCutOff * kPi / 180), l.SpotExponent, 0};
    s.Pos = Slot4(l.Position, 1);
    s.Dir = Slot4(l.Direction, 1);
    s.Color = ColorToVector(l.Color);
  }

  u.Opacity = AOpacity;
  const TTexture* tex = AMaterial.Texture();
  const bool textured = tex && static_cast<long long>(tex->Width()) * tex->Height() != 0;
  u.Modulation = textured ? 2.0f : 0.0f;
  u.Texture = textured ? tex : nullptr;
  return u;
}

TVector3D LightVertexColor(const TLightMaterialUniforms& U, const TMatrix3D& AModel,
                           const TPoint3D& APosition, const TPoint3D& ANormal) {
  const TPoint3D emission = Xyz(U.MaterialEmission), ambient = Xyz(U.MaterialAmbient);
  if (U.SlotCount == 0) {
    // The program without lights: emission and ambient added in all four channels,
    // unclamped.
    const TPoint3D c = emission + ambient;
    return {c.X, c.Y, c.Z, 1 + U.MaterialAmbient.W};
  }
  const TMatrix3D modelIT = AModel.Inverse().Transpose();
  const TPoint3D P = APosition * AModel;
  const TPoint3D N = TransformNormal(ANormal.Normalize(), modelIT).Normalize();
  const TPoint3D V = (P - Xyz(U.EyePos)).Normalize();
  const float shininess = U.MaterialOpts.X;

  TPoint3D D;
  float S = 0;
  for (int i = 0; i < U.SlotCount; ++i) {
    const TLightSlot& slot = U.Lights[i];
    const TPoint3D color = Xyz(slot.Color);
    if (slot.Opts.X == LightSlotDirectional) {
      const TPoint3D L = Xyz(slot.Dir);
      const TPoint3D n = -N;
      const float k = std::max(0.0f, n.DotProduct(L));
      D = D + color * k;
      if (k > 0) S += LightingPow(std::max(0.0f, n.DotProduct((L + V).Normalize())), shininess);
    } else if (slot.Opts.X == LightSlotPoint || slot.Opts.X == LightSlotSpot) {
      const TPoint3D l = -(P - Xyz(slot.Pos)).Normalize();
      float f = 1;
      if (slot.Opts.X == LightSlotSpot) {
        const float s = (-l).DotProduct(Xyz(slot.Dir));
        f = s > slot.Opts.Y ? LightingPow(s, slot.Opts.Z) : 0;
      }
      const float k = std::max(0.0f, N.DotProduct(l));
      D = D + color * (k * f);
      if (k > 0) S += LightingPow(std::max(0.0f, N.DotProduct((l - V).Normalize())), shininess) * f;
    }
  }
  const TPoint3D c =
      emission + ambient + Mul(D, Xyz(U.MaterialDiffuse)) + Xyz(U.MaterialSpecular) * S;
  return {Clamp01(c.X), Clamp01(c.Y), Clamp01(c.Z), 1};
}

}  // namespace sphaerix
