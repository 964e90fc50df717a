#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <stdexcept>

#include "scene/material/material_source.h"
#include "scene/mesh/mesh.h"
#include "tests/support/scene_fakes.h"

namespace sphaerix {
namespace {

using testing::FakeContext;
using testing::FakeViewport;

// A source with a material identity only, for what never looks inside a material.
class FakeMaterialSource : public TMaterialSource {
 public:
  using TMaterialSource::TMaterialSource;
  TMaterial* Material() const override { return reinterpret_cast<TMaterial*>(const_cast<char*>(&FStorage)); }

 private:
  char FStorage = 0;
};

void ExpectPoint(const TPoint3D& p, TPoint3D e, float tol = 1e-6f) {
  EXPECT_NEAR(p.X, e.X, tol);
  EXPECT_NEAR(p.Y, e.Y, tol);
  EXPECT_NEAR(p.Z, e.Z, tol);
}

std::vector<std::uint32_t> Indices(const TMeshData& d) {
  const TIndexBuffer& ib = d.IndexBuffer();
  return std::vector<std::uint32_t>(ib.Data(), ib.Data() + ib.Length());
}

TEST(MeshCounts, SphereAndDiskBufferSizes) {
  struct Case {
    bool Sphere;
    int A, B, Vertices, Indices;
  } cases[] = {
      {true, 3, 2, 11, 18},    {true, 16, 12, 220, 1056}, {true, 50, 50, 2600, 14700},
      {false, 16, 1, 36, 96},  {false, 50, 1, 104, 300},  {false, 16, 3, 104, 480},
  };
  for (const Case& c : cases) {
    TMeshData d;
    if (c.Sphere)
      BuildSphereMesh(d, c.A, c.B);
    else
      BuildDiskMesh(d, c.A, c.B);
    EXPECT_EQ(d.VertexBuffer().Length(), c.Vertices) << c.A << "x" << c.B;
    EXPECT_EQ(d.IndexBuffer().Length(), c.Indices) << c.A << "x" << c.B;
    for (std::uint32_t i : Indices(d)) ASSERT_LT(i, static_cast<std::uint32_t>(c.Vertices));
  }
  TSphere sphere;
  TDisk disk;
  EXPECT_EQ(sphere.Data().VertexBuffer().Length(), 220);  // built 16 x 12 at construction
  EXPECT_EQ(disk.Data().IndexBuffer().Length(), 96);      // 16 x 1
}

TEST(MeshSubdivisions, ClampAndRebuild) {
  TSphere s;
  s.SetSubdivisionsAxes(2);
  EXPECT_EQ(s.SubdivisionsAxes(), 3);
  s.SetSubdivisionsAxes(51);
  EXPECT_EQ(s.SubdivisionsAxes(), 50);
  s.SetSubdivisionsHeight(1);
  EXPECT_EQ(s.SubdivisionsHeight(), 2);
  s.SetSubdivisionsHeight(0);
  EXPECT_EQ(s.SubdivisionsHeight(), 2);
  EXPECT_EQ(s.Data().VertexBuffer().Length(), 51 * 3 - 1);
  TDisk d;
  d.SetSubdivisionsAxes(500);
  EXPECT_EQ(d.SubdivisionsAxes(), 500);
  d.SetSubdivisionsAxes(2);
  EXPECT_EQ(d.SubdivisionsAxes(), 3);
  d.SetSubdivisionsCap(0);
  EXPECT_EQ(d.SubdivisionsCap(), 1);
  EXPECT_EQ(d.Data().VertexBuffer().Length(), 2 * (1 * 4 + 1));
  // Counts that no 32-bit buffer can hold are refused and the disk keeps its mesh.
  EXPECT_THROW(d.SetSubdivisionsAxes(2000000000), std::length_error);
  EXPECT_EQ(d.SubdivisionsAxes(), 3);
  TMeshData m;
  EXPECT_THROW(BuildSphereMesh(m, 3, 1), std::invalid_argument);
}

TEST(DiskHeight, IsAlwaysTheThousandth) {
  TDisk d;
  EXPECT_EQ(d.Height(), 0.001f);
  d.SetHeight(5);
  EXPECT_EQ(d.Height(), 0.001f);
  d.FindProperty("height")->SetFloat(2);
  EXPECT_EQ(d.Height(), 0.001f);
  d.SetSize(3, 3, 3);
  EXPECT_EQ(d.Width(), 3);
  EXPECT_EQ(d.Height(), 0.001f);
}

TEST(SphereMesh, ThreeByTwoExactly) {
  TMeshData d;
  BuildSphereMesh(d, 3, 2);
  const TVertexBuffer& v = d.VertexBuffer();
  const float s = 0.4330127f;  // sin 120 degrees / 2
  struct Expect {
    TPoint3D Pos;
    TPointF Tex;
  } e[] = {
      {{0, -0.5f, 0}, {1 / 6.0f, 0}}, {{0, -0.5f, 0}, {0.5f, 0}}, {{0, -0.5f, 0}, {5 / 6.0f, 0}},
      {{0, -0.5f, 0}, {1, 0}},  // seam of row 0: written, used by no triangle
      {{0.5f, 0, 0}, {0, 0.5f}}, {{-0.25f, 0, s}, {1 / 3.0f, 0.5f}}, {{-0.25f, 0, -s}, {2 / 3.0f, 0.5f}},
      {{0.5f, 0, 0}, {1, 0.5f}},
      {{0, 0.5f, 0}, {1 / 6.0f, 1}}, {{0, 0.5f, 0}, {0.5f, 1}}, {{0, 0.5f, 0}, {5 / 6.0f, 1}},
  };
  ASSERT_EQ(v.Length(), 11);
  for (int i = 0; i < 11; ++i) {
    SCOPED_TRACE(i);
    ExpectPoint(v[i].Vertex, e[i].Pos);
    EXPECT_FLOAT_EQ(v[i].TexCoord0.X, e[i].Tex.X);
    EXPECT_FLOAT_EQ(v[i].TexCoord0.Y, e[i].Tex.Y);
    ExpectPoint(v[i].Normal, e[i].Pos * 2);
  }
  // The top pole is exact, not a rounded cosine.
  EXPECT_EQ(v[9].Vertex, TPoint3D(0, 0.5f, 0));
  EXPECT_EQ(v[9].Normal, TPoint3D(0, 1, 0));
  EXPECT_EQ(Indices(d), (std::vector<std::uint32_t>{0, 5, 4, 1, 6, 5, 2, 7, 6, 4, 5, 8, 5, 6, 9, 6, 7, 10}));
}

TEST(SphereMesh, MiddleBandsTwoTrianglesPerColumn) {
  TMeshData d;
  BuildSphereMesh(d, 3, 3);  // J = 4; row 1 is a middle band
  const std::vector<std::uint32_t> idx = Indices(d);
  ASSERT_EQ(idx.size(), 36u);
  // Row 1, column 0: (4, 9, 8) then (4, 5, 9).
  EXPECT_EQ(std::vector<std::uint32_t>(idx.begin() + 9, idx.begin() + 15),
            (std::vector<std::uint32_t>{4, 9, 8, 4, 5, 9}));
  // Top cap fans onto the pole row 3 (vertices 12, 13, 14).
  EXPECT_EQ(std::vector<std::uint32_t>(idx.end() - 3, idx.end()), (std::vector<std::uint32_t>{10, 11, 14}));
}

TEST(DiskMesh, FourByOneExactly) {
  TMeshData d;
  BuildDiskMesh(d, 4, 1);
  const TVertexBuffer& v = d.VertexBuffer();
  struct Expect {
    TPoint3D Pos;
    TPointF Tex;
  } e[] = {{{0.5f, 0, 0}, {1, 0.5f}}, {{0, 0, 0.5f}, {0.5f, 0}},   {{-0.5f, 0, 0}, {0, 0.5f}},
           {{0, 0, -0.5f}, {0.5f, 1}}, {{0.5f, 0, 0}, {1, 0.5f}}, {{0, 0, 0}, {0.5f, 0.5f}}};
  ASSERT_EQ(v.Length(), 12);
  for (int i = 0; i < 12; ++i) {
    SCOPED_TRACE(i);
    ExpectPoint(v[i].Vertex, e[i % 6].Pos);
    EXPECT_NEAR(v[i].TexCoord0.X, e[i % 6].Tex.X, 1e-6f);
    EXPECT_NEAR(v[i].TexCoord0.Y, e[i % 6].Tex.Y, 1e-6f);
    EXPECT_EQ(v[i].Normal, TPoint3D(0, i < 6 ? -1.0f : 1.0f, 0));
  }
  EXPECT_EQ(Indices(d), (std::vector<std::uint32_t>{0, 5, 1, 1, 5, 2, 2, 5, 3, 3, 5, 4,  //
                                                    6, 7, 11, 7, 8, 11, 8, 9, 11, 9, 10, 11}));
}

TEST(DiskMesh, OuterRingsJoinTheRingInside) {
  TMeshData d;
  BuildDiskMesh(d, 3, 2);  // J = 4, E = 9, F = 27
  const std::vector<std::uint32_t> idx = Indices(d);
  ASSERT_EQ(idx.size(), 54u);
  EXPECT_EQ(std::vector<std::uint32_t>(idx.begin() + 9, idx.begin() + 15),
            (std::vector<std::uint32_t>{4, 0, 1, 4, 1, 5}));
  EXPECT_EQ(std::vector<std::uint32_t>(idx.begin() + 27 + 9, idx.begin() + 27 + 15),
            (std::vector<std::uint32_t>{13, 10, 9, 13, 14, 10}));
  ExpectPoint(d.VertexBuffer()[0].Vertex, {0.25f, 0, 0});
  ExpectPoint(d.VertexBuffer()[4].Vertex, {0.5f, 0, 0});
}

// Every triangle's right-hand normal points against its vertex normals: into the sphere,
// up for the lower disk face, down for the upper one.
TEST(MeshWinding, OppositeToTheVertexNormals) {
  struct Case {
    bool Sphere;
    int A, B;
  } cases[] = {{true, 3, 2}, {true, 16, 12}, {true, 50, 50}, {false, 16, 1}, {false, 50, 1}, {false, 16, 3}};
  for (const Case& c : cases) {
    TMeshData d;
    if (c.Sphere)
      BuildSphereMesh(d, c.A, c.B);
    else
      BuildDiskMesh(d, c.A, c.B);
    const TVertexBuffer& v = d.VertexBuffer();
    const std::vector<std::uint32_t> idx = Indices(d);
    int bad = 0;
    for (size_t t = 0; t < idx.size(); t += 3) {
      const TMeshVertex &p0 = v[idx[t]], &p1 = v[idx[t + 1]], &p2 = v[idx[t + 2]];
      const TPoint3D n = (p1.Vertex - p0.Vertex).CrossProduct(p2.Vertex - p0.Vertex);
      const TPoint3D vn = p0.Normal + p1.Normal + p2.Normal;
      if (!(n.Length() > 0 && n.DotProduct(vn) < 0)) ++bad;
    }
    EXPECT_EQ(bad, 0) << (c.Sphere ? "sphere " : "disk ") << c.A << "x" << c.B;
  }
}

TEST(SphereMesh, SeamAndPoleTextureCoordinates) {
  const int A = 16, H = 12, J = A + 1;
  TMeshData d;
  BuildSphereMesh(d, A, H);
  const TVertexBuffer& v = d.VertexBuffer();
  for (int i = 1; i < H; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(v[i * J].TexCoord0.X, 0);
    EXPECT_EQ(v[i * J + A].TexCoord0.X, 1);
    EXPECT_EQ(v[i * J + A].TexCoord0.Y, static_cast<float>(i) / H);
    EXPECT_EQ(v[i * J + A].Vertex, v[i * J].Vertex);
    EXPECT_EQ(v[i * J + A].Normal, v[i * J].Normal);
  }
  for (int k = 0; k < A; ++k) {
    EXPECT_EQ(v[k].TexCoord0.X, (k + 0.5f) / A);
    EXPECT_EQ(v[k].TexCoord0.Y, 0);
    EXPECT_EQ(v[H * J + k].TexCoord0.X, (k + 0.5f) / A);
    EXPECT_EQ(v[H * J + k].TexCoord0.Y, 1);
  }
  // The image's top row at y = -1/2, u = 1/4 toward +z, 1/2 toward -x on the equator.
  EXPECT_NEAR(v[6 * J + 4].Vertex.Z, 0.5f, 1e-6f);
  EXPECT_EQ(v[6 * J + 4].TexCoord0.X, 0.25f);
  EXPECT_NEAR(v[6 * J + 8].Vertex.X, -0.5f, 1e-6f);
  EXPECT_EQ(v[6 * J + 8].TexCoord0.X, 0.5f);
}

TEST(BoundingBox, OverEveryVertexAndRecomputedAfterAChange) {
  TMeshData d;
  BuildSphereMesh(d, 50, 50);
  TBoundingBox b = d.GetBoundingBox();
  EXPECT_FLOAT_EQ(b.Left, -0.5f);
  EXPECT_FLOAT_EQ(b.Right, 0.5f);
  EXPECT_FLOAT_EQ(b.Top, -0.5f);
  EXPECT_FLOAT_EQ(b.Bottom, 0.5f);
  EXPECT_NEAR(b.Near, -0.4990134f, 1e-6f);  // 50 columns miss 90 degrees
  EXPECT_NEAR(b.Far, 0.4990134f, 1e-6f);
  d.VertexBuffer()[3].Vertex = {0, 0, 7};  // the unused seam vertex of row 0 still counts
  d.Changed();
  EXPECT_EQ(d.GetBoundingBox().Far, 7);
  EXPECT_EQ(TMeshData().GetBoundingBox().Right, 0);
}

TBoundingBox Wrapped(const TCustomMesh& m) {
  const TMatrix3D w = m.WrapMatrix();
  const TBoundingBox b = m.Data().GetBoundingBox();
  const TPoint3D lo = b.Min() * w, hi = b.Max() * w;
  return {lo.X, lo.Y, lo.Z, hi.X, hi.Y, hi.Z};
}

void ExpectBox(const TBoundingBox& b, TPoint3D lo, TPoint3D hi, float tol = 1e-6f) {
  ExpectPoint(b.Min(), lo, tol);
  ExpectPoint(b.Max(), hi, tol);
}

TEST(WrapMode, TheViewersThreeShapes) {
  // Sphere1: Fit, 1 x 1 x 1, 50 x 50: r = 1, m = 0, unchanged.
  TSphere planet;
  planet.SetSubdivisionsAxes(50);
  planet.SetSubdivisionsHeight(50);
  planet.SetWrapMode(TMeshWrapMode::Fit);
  const TBoundingBox pb = planet.Data().GetBoundingBox();
  ExpectBox(Wrapped(planet), pb.Min(), pb.Max());
  // Fit with Width 2: still set by y, unchanged; 2 x 2 x 2 doubles it.
  planet.SetWidth(2);
  ExpectBox(Wrapped(planet), pb.Min(), pb.Max());
  planet.SetSize(2, 2, 2);
  ExpectBox(Wrapped(planet), pb.Min() * 2, pb.Max() * 2);
  planet.SetDepth(0);
  EXPECT_EQ(planet.WrapMatrix(), TMatrix3D::Identity());

  // Sphere2: Stretch, 16 x 12: exactly -1/2 to 1/2 on every axis, unchanged.
  TSphere stars;
  EXPECT_EQ(stars.WrapMode(), TMeshWrapMode::Stretch);
  ExpectBox(stars.Data().GetBoundingBox(), {-0.5f, -0.5f, -0.5f}, {0.5f, 0.5f, 0.5f});
  ExpectBox(Wrapped(stars), {-0.5f, -0.5f, -0.5f}, {0.5f, 0.5f, 0.5f});

  // Disk1: Stretch, 1 x 0.001 x 1, 50 x 1: x kept, z stretched to exactly 1/2, y moved
  // so the flat mesh sits at -0.0005 with its scale kept.
  TDisk ring;
  ring.SetSubdivisionsAxes(50);
  const TMatrix3D w = ring.WrapMatrix();
  EXPECT_NEAR(w.m[0][0], 1, 1e-6f);
  EXPECT_NEAR(w.m[2][2], 1.001977f, 1e-6f);
  EXPECT_EQ(w.m[1][1], 1);
  EXPECT_NEAR(w.m[3][1], -0.0005f, 1e-9f);
  ExpectBox(Wrapped(ring), {-0.5f, -0.0005f, -0.5f}, {0.5f, -0.0005f, 0.5f});
}

TEST(WrapMode, StretchFillsTheBoxForAnyCountAndOthersAsStated) {
  for (int axes : {3, 5, 7, 16, 50, 51}) {
    TDisk d;
    d.SetSubdivisionsAxes(axes);
    ExpectBox(Wrapped(d), {-0.5f, -0.0005f, -0.5f}, {0.5f, -0.0005f, 0.5f}, 2e-6f);
  }
  TSphere s;
  s.SetSize(2, 3, 4);
  s.SetWrapMode(TMeshWrapMode::Original);
  EXPECT_EQ(s.WrapMatrix(), TMatrix3D::CreateScaling({2, 3, 4}));
  s.SetWrapMode(TMeshWrapMode::Resize);
  EXPECT_EQ(s.WrapMatrix(), TMatrix3D::Identity());
}

TEST(ShapeRender, DrawsItsBuffersWithMaterialOpacityAndWrappedMatrix) {
  FakeContext ctx;
  // A disk looks at its picture (a round one draws the same turned), so a real one.
  TTextureMaterialSource source(nullptr);
  TControl3D parent;
  parent.SetOpacity(0.5f);
  TDisk ring;
  ring.SetParent(&parent);
  ring.SetMaterialSource(&source);
  ring.SetTwoSide(true);
  ring.Position().SetX(3);
  parent.RenderInternal(&ctx);
  ASSERT_EQ(ctx.Draws.size(), 1u);
  const FakeContext::Draw& draw = ctx.Draws[0];
  EXPECT_EQ(draw.Vertices, &ring.Data().VertexBuffer());
  EXPECT_EQ(draw.Indices, &ring.Data().IndexBuffer());
  EXPECT_EQ(draw.Material, source.Material());
  EXPECT_EQ(draw.Opacity, 0.5f);
  EXPECT_EQ(draw.Matrix, ring.WrapMatrix() * ring.AbsoluteMatrix());
  using S = TRenderState;
  // Two-sided: nothing is culled, so both of the disk's faces are drawn from either side
  // and a translucent ring pixel is blended twice, as the ring's picture is meant to be.
  EXPECT_EQ(std::vector<S>(ctx.States.begin() + 5, ctx.States.end()),
            (std::vector<S>{S::csZWriteOn, S::csZTestOn, S::cs3DScene, S::csAllFace, S::csAlphaBlendOn}));
  ring.SetParent(nullptr);
}

TEST(ShapeMaterial, ChangeRepaintsAssignmentDoesNotFreeEmpties) {
  FakeViewport vp;
  TSphere shape;
  shape.SetNewViewport(&vp);
  auto source = std::make_unique<FakeMaterialSource>();
  shape.SetMaterialSource(source.get());
  EXPECT_EQ(vp.Requests, 0);
  EXPECT_EQ(shape.MaterialKey(), reinterpret_cast<std::uintptr_t>(source->Material()));
  source->NotifyChanged();
  EXPECT_EQ(vp.Requests, 1);
  source.reset();
  EXPECT_EQ(shape.MaterialSource(), nullptr);
  EXPECT_EQ(shape.MaterialKey(), 0u);
  // A shape that goes first leaves no listener behind.
  FakeMaterialSource kept;
  {
    TDisk gone;
    gone.SetMaterialSource(&kept);
    EXPECT_EQ(kept.ChangeListeners().size(), 1u);
  }
  EXPECT_TRUE(kept.ChangeListeners().empty());
  kept.NotifyChanged();
  // Mesh and wrap changes repaint.
  vp.Requests = 0;
  shape.SetSubdivisionsAxes(20);
  EXPECT_EQ(vp.Requests, 1);
  shape.SetWrapMode(TMeshWrapMode::Fit);
  EXPECT_EQ(vp.Requests, 2);
}

TEST(RenderingList, MaterialKeyComesFirst) {
  FakeMaterialSource a, b;
  TSphere withA, withB;
  TControl3D plain;
  withA.SetMaterialSource(&a);
  withB.SetMaterialSource(&b);
  withA.SetOpacity(0.5f);  // the material outranks translucency
  std::vector<TControl3D*> list{&withB, &withA, &plain};
  SortRenderingList(list);
  EXPECT_EQ(list[0], &plain);
  const bool aFirst = reinterpret_cast<std::uintptr_t>(a.Material()) < reinterpret_cast<std::uintptr_t>(b.Material());
  EXPECT_EQ(list[1], aFirst ? static_cast<TControl3D*>(&withA) : &withB);
}

}  // namespace
}  // namespace sphaerix

namespace sphaerix {
namespace {

// Circles round the centre, clear before the disk's edge: a ring's picture.
void PaintRing(TBitmap& ABitmap, int ASize) {
  ABitmap.SetSize(ASize, ASize);
  for (int y = 0; y < ASize; ++y)
    for (int x = 0; x < ASize; ++x) {
      const float r = std::hypot(x + 0.5f - ASize / 2.0f, y + 0.5f - ASize / 2.0f) / (ASize / 2.0f);
      const int a = r > 0.6f && r < 0.9f ? static_cast<int>(127.5f + 127.5f * std::sin(r * 40)) : 0;
      ABitmap.SetPixel(x, y, static_cast<TAlphaColor>(a) << 24 | static_cast<TAlphaColor>(a / 2) << 16);
    }
  ABitmap.BitmapChanged();
}

TEST(DiskDrawMatrix, ARoundPictureIsDrawnTheSameWayHoweverTheDiskTurnsAboutItsAxis) {
  TSceneObject owner;
  auto* tilt = new TDummy(&owner);
  auto* body = new TDummy(&owner);
  auto* disk = new TDisk(&owner);
  tilt->AddObject(body);
  body->AddObject(disk);
  tilt->RotationAngle().SetX(27);
  disk->SetSubdivisionsAxes(50);
  disk->Scale().SetPoint({2.2f, 2.2f, 2.2f});
  auto* picture = new TTextureMaterialSource(&owner);
  PaintRing(picture->Texture(), 64);
  disk->SetMaterialSource(picture);

  const TMatrix3D drawn = disk->DrawMatrix();
  const TMatrix3D placed = disk->WrapMatrix() * disk->AbsoluteMatrix();
  // The same plane, centre and size as the disk's own matrix.
  for (int i : {1, 3})
    for (int j = 0; j < 4; ++j) EXPECT_NEAR(drawn.m[i][j], placed.m[i][j], 1e-4f) << i << j;
  for (int i : {0, 2})
    EXPECT_NEAR(TPoint3D(drawn.m[i][0], drawn.m[i][1], drawn.m[i][2]).Length(),
                TPoint3D(placed.m[i][0], placed.m[i][1], placed.m[i][2]).Length(), 1e-4f);
  for (float angle : {0.5f, 30.0f, 200.0f}) {
    body->RotationAngle().SetY(angle);
    EXPECT_FALSE(disk->WrapMatrix() * disk->AbsoluteMatrix() == placed) << angle;
    EXPECT_TRUE(disk->DrawMatrix() == drawn) << angle;
  }
  // Turned about another axis it shows; and a picture that is not round turns with it.
  body->RotationAngle().SetX(10);
  EXPECT_FALSE(disk->DrawMatrix() == drawn);
  body->RotationAngle().SetX(0);
  picture->Texture().SetPixel(40, 20, 0xFFFFFFFF);
  picture->Texture().BitmapChanged();
  EXPECT_TRUE(disk->DrawMatrix() == disk->WrapMatrix() * disk->AbsoluteMatrix());
}

}  // namespace
}  // namespace sphaerix
