// Materials and lights: slot filling, the lit vertex equations, the sources' texture and
// notification rules, the light's type side effects and registration.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "scene/material/bitmap.h"
#include "scene/material/light.h"
#include "scene/material/material.h"
#include "scene/material/material_source.h"
#include "scene/mesh/mesh.h"
#include "scene/view/viewport3d.h"
#include "tests/support/scene_fakes.h"
#include "tests/support/viewport_fakes.h"

namespace sphaerix {
namespace {

TLightDescription Directional(TPoint3D ADirection, TAlphaColor AColor = claWhite, bool AEnabled = true) {
  TLightDescription d;
  d.Enabled = AEnabled;
  d.Color = AColor;
  d.Direction = ADirection;
  return d;
}

// The viewer's planet: grey diffuse, brighter ambient, no emission, no specular.
void MakePlanet(TLightMaterial& m) {
  m.SetDiffuse(0xFFA4A4A4);
  m.SetAmbient(0xFF585858);
  m.SetEmissive(claNull);
  m.SetSpecular(claNull);
  m.SetShininess(30);
}

TEST(LightSlots, ProgramSizeFollowsEnabledLights) {
  const struct {
    int Enabled;
    int Slots;
  } cases[] = {{0, 0}, {1, 2}, {2, 2}, {3, 4}, {4, 4}, {5, 8}, {8, 8}, {9, 8}};
  for (const auto& c : cases) {
    std::vector<TLightDescription> lights;
    for (int i = 0; i < c.Enabled; ++i) {
      lights.push_back(Directional({0, 0, 1}));
      lights.push_back(Directional({0, 0, 1}, claWhite, false));
    }
    const TLightMaterialUniforms u = LightMaterialUniforms(TLightMaterial(), lights, {}, 1);
    EXPECT_EQ(u.SlotCount, c.Slots) << c.Enabled << " enabled lights";
  }
}

TEST(LightSlots, DisabledLightsTakeNoSlotAndOnlyTheFirstEightCount) {
  std::vector<TLightDescription> lights;
  lights.push_back(Directional({0, 0, 100}, claWhite, false));
  for (int i = 0; i < 9; ++i) {
    TLightDescription d = Directional({0, 0, 1});
    d.Position = {static_cast<float>(i), 0, 0};
    lights.push_back(d);
  }
  const TLightMaterialUniforms u = LightMaterialUniforms(TLightMaterial(), lights, {}, 1);
  ASSERT_EQ(u.SlotCount, 8);
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(u.Lights[i].Pos.X, i) << "slot " << i;
    EXPECT_EQ(u.Lights[i].Dir.Z, 1);
    EXPECT_EQ(u.Lights[i].Opts.X, LightSlotDirectional);
  }
}

TEST(LightSlots, SlotContentAndEmptySlots) {
  TLightDescription spot;
  spot.LightType = TLightType::Spot;
  spot.SpotCutOff = 60;
  spot.SpotExponent = 4;
  spot.Color = 0x80FF8000;
  spot.Position = {1, 2, 3};
  spot.Direction = {0, 2, 0};
  const TLightMaterialUniforms u = LightMaterialUniforms(TLightMaterial(), {spot}, {}, 0.25f);
  ASSERT_EQ(u.SlotCount, 2);
  EXPECT_EQ(u.Lights[0].Opts.X, LightSlotSpot);
  EXPECT_NEAR(u.Lights[0].Opts.Y, 0.5f, 1e-6);
  EXPECT_EQ(u.Lights[0].Opts.Z, 4);
  EXPECT_TRUE((u.Lights[0].Pos == TVector3D{1, 2, 3, 1}));
  EXPECT_TRUE((u.Lights[0].Dir == TVector3D{0, 2, 0, 1}));
  EXPECT_NEAR(u.Lights[0].Color.X, 1, 1e-6);
  EXPECT_NEAR(u.Lights[0].Color.Y, 128 / 255.0f, 1e-6);
  EXPECT_NEAR(u.Lights[0].Color.W, 128 / 255.0f, 1e-6);
  EXPECT_TRUE((u.Lights[1].Opts == TVector3D{0, 0, 0, 0}));
  EXPECT_EQ(u.Opacity, 0.25f);
  EXPECT_EQ(u.Modulation, 0);  // no texture
}

TEST(LightMaterial, ViewerPlanetVertexColours) {
  TLightMaterial planet;
  MakePlanet(planet);
  // Light1 shines along the rig's +z, toward the planet.
  const TLightMaterialUniforms u = LightMaterialUniforms(planet, {Directional({0, 0, 1})}, {0, 0, -15}, 1);
  const struct {
    TPoint3D Position, Normal;
    float Grey;
  } cases[] = {
      {{0, 0, -0.5f}, {0, 0, -1}, 0.988235f},  // facing the light
      {{0, 0, 0.5f}, {0, 0, 1}, 0.345098f},    // far side
      {{0.5f, 0, 0}, {1, 0, 0}, 0.345098f},    // silhouette
  };
  for (const auto& c : cases) {
    const TVector3D colour = LightVertexColor(u, TMatrix3D::Identity(), c.Position, c.Normal);
    EXPECT_NEAR(colour.X, c.Grey, 1e-5);
    EXPECT_NEAR(colour.Y, c.Grey, 1e-5);
    EXPECT_NEAR(colour.Z, c.Grey, 1e-5);
    EXPECT_EQ(colour.W, 1);
  }
}

TEST(LightMaterial, LightAlphaIsIgnored) {
  TLightMaterial m;
  m.SetAmbient(claNull);
  const TPoint3D normal = TPoint3D(0.3f, 0, -1).Normalize();
  const auto colourWith = [&](TAlphaColor ALight) {
    const auto u = LightMaterialUniforms(m, {Directional({0, 0, 1}, ALight)}, {0, 0, -15}, 1);
    return LightVertexColor(u, TMatrix3D::Identity(), {0, 0, -0.5f}, normal);
  };
  const TVector3D half = colourWith(0x80FF0000), full = colourWith(0xFFFF0000);
  EXPECT_GT(full.X, 0.5f);
  EXPECT_EQ(half.X, full.X);
  EXPECT_EQ(half.Y, full.Y);
  EXPECT_EQ(half.Z, full.Z);
}

TEST(LightMaterial, ScaledLightDoublesItsDiffuseTerm) {
  TLightMaterial m;
  m.SetAmbient(claNull);
  m.SetSpecular(claNull);
  TDummy rig;
  TLight* light = new TLight(&rig);
  rig.AddObject(light);
  const TPoint3D normal = TPoint3D(0, 0.954f, -0.3f).Normalize();  // k = 0.3 at scale 1
  const auto diffuse = [&] {
    const auto u = LightMaterialUniforms(m, {light->LightDescription()}, {0, 0, -15}, 1);
    return LightVertexColor(u, TMatrix3D::Identity(), {}, normal).X;
  };
  const float single = diffuse();
  rig.Scale().SetPoint({2, 2, 2});
  EXPECT_NEAR(light->LightDescription().Direction.Z, 2, 1e-6);
  EXPECT_NEAR(diffuse(), 2 * single, 1e-5);
  EXPECT_LT(2 * single, 1);  // below the clamp
}

TEST(LightMaterial, PointAndSpotLights) {
  TLightMaterial m;
  m.SetAmbient(claNull);
  m.SetSpecular(claNull);
  TLightDescription point;
  point.LightType = TLightType::Point;
  point.Position = {0, 0, -10};
  TLightDescription spot = point;
  spot.LightType = TLightType::Spot;
  spot.SpotCutOff = 60;
  spot.SpotExponent = 4;
  spot.Direction = {0, 0, 1};
  const auto lit = [&](const TLightDescription& l, TPoint3D p, TPoint3D n) {
    return LightVertexColor(LightMaterialUniforms(m, {l}, {0, 0, -15}, 1), TMatrix3D::Identity(), p, n).X;
  };
  EXPECT_NEAR(lit(point, {0, 0, 0}, {0, 0, -1}), 1, 1e-6);   // no attenuation with distance
  EXPECT_NEAR(lit(point, {0, 0, 0}, {0, 0, 1}), 0, 1e-6);    // facing away
  EXPECT_NEAR(lit(spot, {0, 0, 0}, {0, 0, -1}), 1, 1e-6);    // on the axis: s = 1
  // 45 degrees off the axis: s = cos 45, f = s^4 = 0.25, k = cos 45 for a normal facing back.
  EXPECT_NEAR(lit(spot, {10, 0, 0}, {0, 0, -1}), 0.25f * std::sqrt(0.5f), 1e-5);
  EXPECT_NEAR(lit(spot, {20, 0, 0}, {-1, 0, 0}), 0, 1e-6);   // outside the 60 degree cone
}

TEST(LightMaterial, NoLightProgramAddsEmissionAndAmbient) {
  TLightMaterial m;
  m.SetEmissive(0xFF102030);
  m.SetAmbient(0x80202020);
  const TLightMaterialUniforms u = LightMaterialUniforms(m, {Directional({0, 0, 1}, claWhite, false)}, {}, 1);
  ASSERT_EQ(u.SlotCount, 0);
  const TVector3D c = LightVertexColor(u, TMatrix3D::Identity(), {}, {0, 0, -1});
  EXPECT_NEAR(c.X, (0x10 + 0x20) / 255.0f, 1e-6);
  EXPECT_NEAR(c.Z, (0x30 + 0x20) / 255.0f, 1e-6);
  EXPECT_NEAR(c.W, 1 + 128 / 255.0f, 1e-6);
}

// A source with one shape of a fake viewport listening to it.
struct SourceFixture : ::testing::Test {
  testing::FakeViewport viewport;
  TSphere shape;
  void Listen(TMaterialSource& ASource) {
    shape.SetNewViewport(&viewport);
    shape.SetMaterialSource(&ASource);
    viewport.Requests = 0;
  }
};

TEST_F(SourceFixture, LightMaterialSourceChangesAreSilent) {
  TLightMaterialSource source;
  Listen(source);
  EXPECT_EQ(source.Diffuse(), 0xFFFFFFFFu);
  EXPECT_EQ(source.Ambient(), 0xFF202020u);
  EXPECT_EQ(source.Emissive(), claNull);
  EXPECT_EQ(source.Specular(), 0xFF606060u);
  EXPECT_EQ(source.Shininess(), 30);
  source.SetDiffuse(0xFFA4A4A4);
  source.SetShininess(5);
  EXPECT_EQ(source.LightMaterial().Diffuse(), 0xFFA4A4A4u);
  EXPECT_EQ(source.LightMaterial().Shininess(), 5);

  EXPECT_EQ(source.LightMaterial().Texture(), nullptr);
  source.Texture().SetSize(4, 2);
  const TTexture* texture = source.LightMaterial().Texture();
  ASSERT_NE(texture, nullptr);
  EXPECT_EQ(texture->Width(), 4);
  EXPECT_EQ(LightMaterialUniforms(source.LightMaterial(), {}, {}, 1).Modulation, 2);

  // A refill keeps the texture object and gives it a new revision; an empty bitmap
  // leaves the material's texture as it was.
  const std::uint64_t revision = texture->Revision();
  source.Texture().Clear(claWhite);
  EXPECT_EQ(source.LightMaterial().Texture(), texture);
  EXPECT_NE(texture->Revision(), revision);
  source.Texture().SetSize(0, 0);
  EXPECT_EQ(source.LightMaterial().Texture(), texture);
  EXPECT_EQ(texture->Width(), 4);
  EXPECT_EQ(viewport.Requests, 0);
}

TEST_F(SourceFixture, TextureMaterialSourceRepaintsItsShapes) {
  TTextureMaterialSource source;
  Listen(source);
  source.Texture().SetSize(0, 0);
  EXPECT_EQ(viewport.Requests, 0);
  TBitmap image(3, 3);
  source.SetTexture(image);
  ASSERT_NE(source.TextureMaterial().Texture(), nullptr);
  EXPECT_EQ(source.TextureMaterial().Texture()->Height(), 3);
  EXPECT_EQ(viewport.Requests, 1);
  EXPECT_EQ(ValidMaterial(&source), source.Material());
  EXPECT_EQ(ValidMaterial(nullptr), nullptr);
}

TEST(Light, TypeSideEffects) {
  TLight light;
  EXPECT_FALSE(light.HitTest());
  light.SetSpotExponent(3);
  light.SetLightType(TLightType::Spot);
  EXPECT_EQ(light.SpotCutOff(), 60);
  EXPECT_EQ(light.SpotExponent(), 4);
  light.SetLightType(TLightType::Directional);
  EXPECT_EQ(light.SpotCutOff(), 60);
  EXPECT_EQ(light.SpotExponent(), 4);
  light.SetLightType(TLightType::Point);
  EXPECT_EQ(light.SpotCutOff(), 180);
  EXPECT_EQ(light.SpotExponent(), 0);
}

TEST(Light, JoinsAndLeavesItsViewport) {
  TViewport3D viewport(nullptr, nullptr);
  TDummy* rig = new TDummy(&viewport);
  TLight* light = new TLight(&viewport);
  rig->AddObject(light);
  EXPECT_TRUE(viewport.Lights().empty());
  viewport.AddObject(rig);
  ASSERT_EQ(viewport.Lights().size(), 1u);
  EXPECT_EQ(viewport.Lights()[0], light);
  viewport.RemoveObject(rig);
  EXPECT_TRUE(viewport.Lights().empty());
  viewport.AddObject(rig);
  delete light;
  EXPECT_TRUE(viewport.Lights().empty());
}

TEST(Light, EnabledSwitchAsksForAFrame) {
  testing::FakeViewport viewport;
  TLight light;
  light.SetNewViewport(&viewport);
  light.SetEnabled(false);
  light.SetEnabled(false);
  EXPECT_EQ(viewport.Requests, 1);
  light.SetNewViewport(nullptr);
}

}  // namespace
}  // namespace sphaerix

// Mip levels are the source's choice and reach its texture; switching them asks the device
// for a new upload, and a later bitmap keeps the choice.
TEST(MaterialSourceTexture, MipMapsReachTheTextureAndRenewIt) {
  sphaerix::TTextureMaterialSource source;
  source.Texture().SetSize(4, 2);
  const sphaerix::TTexture* texture = source.TextureMaterial().Texture();
  ASSERT_NE(texture, nullptr);
  EXPECT_FALSE(texture->MipMaps());
  const auto revision = texture->Revision();
  source.SetMipMaps(true);
  EXPECT_TRUE(texture->MipMaps());
  EXPECT_NE(texture->Revision(), revision);
  source.Texture().SetSize(8, 4);
  EXPECT_TRUE(source.TextureMaterial().Texture()->MipMaps());
  EXPECT_EQ(source.TextureMaterial().Texture()->Width(), 8);
}
