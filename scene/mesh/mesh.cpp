#include "scene/mesh/mesh.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <utility>

namespace sphaerix {

namespace {
constexpr long double kPi = 3.141592653589793238462643383279502884L;

// A disk's counts grow without bound; refuse sizes whose counts overflow 32 bits.
void CheckDiskSize(int A, int N) {
  const long long J = A + 1LL;
  const long long E = N * J + 1;
  const long long F = 6LL * A * (N - 1) + 3LL * A;
  if (2 * E > 0x7FFFFFFFLL || 2 * F > 0x7FFFFFFFLL) throw std::length_error("Disk subdivisions too large.");
}
}  // namespace

// ---------------------------------------------------------------------------------------
// TMeshData

void TMeshData::Assign(TVertexBuffer&& AVertices, TIndexBuffer&& AIndices) {
  FVertexBuffer = std::move(AVertices);
  FIndexBuffer = std::move(AIndices);
  Changed();
}

void TMeshData::Changed() {
  FBoundingBoxValid = false;
  FVertexBuffer.Touch();
  FIndexBuffer.Touch();
  if (OnChange) OnChange();
}

TBoundingBox TMeshData::GetBoundingBox() const {
  if (FBoundingBoxValid) return FBoundingBox;
  TBoundingBox b;
  const int n = FVertexBuffer.Length();
  if (n > 0) {
    const TPoint3D& first = FVertexBuffer[0].Vertex;
    b = {first.X, first.Y, first.Z, first.X, first.Y, first.Z};
    for (int i = 1; i < n; ++i) {
      const TPoint3D& p = FVertexBuffer[i].Vertex;
      b.Left = std::min(b.Left, p.X);
      b.Top = std::min(b.Top, p.Y);
      b.Near = std::min(b.Near, p.Z);
      b.Right = std::max(b.Right, p.X);
      b.Bottom = std::max(b.Bottom, p.Y);
      b.Far = std::max(b.Far, p.Z);
    }
  }
  FBoundingBox = b;
  FBoundingBoxValid = true;
  return b;
}

// ---------------------------------------------------------------------------------------
// Builders. Angles are single-precision values advanced by repeated addition, so the
// vertices (and the bounding box that depends on them) are those of that accumulation,
// not of k times the step.

void BuildSphereMesh(TMeshData& AData, int ASubdivisionsAxes, int ASubdivisionsHeight) {
  if (ASubdivisionsAxes < 3 || ASubdivisionsAxes > 50 || ASubdivisionsHeight < 2 || ASubdivisionsHeight > 50)
    throw std::invalid_argument("Sphere subdivisions out of range.");
  const int A = ASubdivisionsAxes, H = ASubdivisionsHeight, J = A + 1;
  TVertexBuffer vb;
  TIndexBuffer ib;
  vb.SetLength((A + 1) * (H + 1) - 1);
  ib.SetLength(6 * A * (H - 1));

  const float dPhi = static_cast<float>(kPi / H);
  const float dTheta = static_cast<float>(2 * kPi / A);
  float phi = static_cast<float>(-kPi / 2);
  for (int i = 0; i < H; ++i) {
    float theta = 0;
    for (int k = 0; k < A; ++k) {
      const float cp = std::cos(phi), sp = std::sin(phi);
      const float ct = std::cos(theta), st = std::sin(theta);
      TMeshVertex& v = vb[i * J + k];
      v.Vertex = {0.5f * cp * ct, 0.5f * sp, 0.5f * cp * st};
      v.Normal = TPoint3D(cp * ct, sp, cp * st).Normalize();
      v.TexCoord0 = {static_cast<float>(k) / A, static_cast<float>(i) / H};
      theta += dTheta;
    }
    // The seam: column 0 again, at the right edge of the image.
    TMeshVertex& seam = vb[i * J + A];
    seam = vb[i * J];
    seam.TexCoord0 = {1, static_cast<float>(i) / H};
    phi += dPhi;
  }
  // Row 0 is the bottom pole; its fan samples the image's first row at column centres.
  for (int k = 0; k < A; ++k) vb[k].TexCoord0 = {(k + 0.5f) / A, 0};
  // The top pole: one vertex per column, no seam vertex.
  for (int k = 0; k < A; ++k) {
    TMeshVertex& v = vb[H * J + k];
    v.Vertex = {0, 0.5f, 0};
    v.Normal = {0, 1, 0};
    v.TexCoord0 = {(k + 0.5f) / A, 1};
  }

  int n = 0;
  auto tri = [&](int a, int b, int c) {
    ib[n++] = static_cast<std::uint32_t>(a);
    ib[n++] = static_cast<std::uint32_t>(b);
    ib[n++] = static_cast<std::uint32_t>(c);
  };
  for (int i = 0; i < H; ++i)
    for (int k = 0; k < A; ++k) {
      if (i == 0) {
        tri(k, J + k + 1, J + k);
      } else if (i == H - 1) {
        tri(i * J + k, i * J + k + 1, H * J + k);
      } else {
        tri(i * J + k, (i + 1) * J + k + 1, (i + 1) * J + k);
        tri(i * J + k, i * J + k + 1, (i + 1) * J + k + 1);
      }
    }
  AData.Assign(std::move(vb), std::move(ib));
}

void BuildDiskMesh(TMeshData& AData, int ASubdivisionsAxes, int ASubdivisionsCap) {
  if (ASubdivisionsAxes < 3 || ASubdivisionsCap < 1) throw std::invalid_argument("Disk subdivisions out of range.");
  CheckDiskSize(ASubdivisionsAxes, ASubdivisionsCap);
  const int A = ASubdivisionsAxes, N = ASubdivisionsCap, J = A + 1;
  const int E = N * J + 1;                  // vertices per face
  const int F = 6 * A * (N - 1) + 3 * A;    // indices per face
  TVertexBuffer vb;
  TIndexBuffer ib;
  vb.SetLength(2 * E);
  ib.SetLength(2 * F);

  const float dTheta = static_cast<float>(2 * kPi / A);
  for (int r = 0; r < N; ++r) {
    const float rho = static_cast<float>(r + 1) / N;
    const float radius = 0.5f * rho;
    float theta = 0;
    for (int k = 0; k < A; ++k) {
      const float x = radius * std::cos(theta), z = radius * std::sin(theta);
      TMeshVertex& v = vb[r * J + k];
      v.Vertex = {x, 0, z};
      v.Normal = {0, -1, 0};
      v.TexCoord0 = {x + 0.5f, 1 - (z + 0.5f)};
      theta += dTheta;
    }
    vb[r * J + A] = vb[r * J];
  }
  TMeshVertex& centre = vb[E - 1];
  centre.Vertex = {0, 0, 0};
  centre.Normal = {0, -1, 0};
  centre.TexCoord0 = {0.5f, 0.5f};
  for (int i = 0; i < E; ++i) {
    vb[E + i] = vb[i];
    vb[E + i].Normal = {0, 1, 0};
  }

  int n = 0;
  auto tri = [&](int a, int b, int c) {
    ib[n++] = static_cast<std::uint32_t>(a);
    ib[n++] = static_cast<std::uint32_t>(b);
    ib[n++] = static_cast<std::uint32_t>(c);
  };
  for (int r = 0; r < N; ++r)
    for (int k = 0; k < A; ++k) {
      if (r == 0) {
        tri(k, E - 1, k + 1);
      } else {
        tri(r * J + k, (r - 1) * J + k, (r - 1) * J + k + 1);
        tri(r * J + k, (r - 1) * J + k + 1, r * J + k + 1);
      }
    }
  // The upper face: the same triangles on its own vertices, wound the other way.
  for (int t = 0; t < F; t += 3) {
    ib[F + t] = ib[t] + static_cast<std::uint32_t>(E);
    ib[F + t + 1] = ib[t + 2] + static_cast<std::uint32_t>(E);
    ib[F + t + 2] = ib[t + 1] + static_cast<std::uint32_t>(E);
  }
  AData.Assign(std::move(vb), std::move(ib));
}

// ---------------------------------------------------------------------------------------
// Wrap matrix

TMatrix3D MeshWrapMatrix(TMeshWrapMode AMode, const TBoundingBox& ABox, const TPoint3D& ASize) {
  switch (AMode) {
    case TMeshWrapMode::Original:
      return TMatrix3D::CreateScaling(ASize);
    case TMeshWrapMode::Resize:
      return TMatrix3D::Identity();
    case TMeshWrapMode::Fit: {
      if (ASize.X <= 0 || ASize.Y <= 0 || ASize.Z <= 0) return TMatrix3D::Identity();
      const TPoint3D b = ABox.Size();
      const float r = std::max({b.X / ASize.X, b.Y / ASize.Y, b.Z / ASize.Z});
      // A mesh collapsed to one point has no size to fit; it is centred, not scaled.
      if (!(r > 0) || !std::isfinite(r)) return TMatrix3D::CreateTranslation(-ABox.Center());
      const float s = 1 / r;
      const TPoint3D fitted(b.X / r, b.Y / r, b.Z / r);
      return TMatrix3D::CreateTranslation(-ABox.Min()) * TMatrix3D::CreateScaling({s, s, s}) *
             TMatrix3D::CreateTranslation(fitted * -0.5f);
    }
    case TMeshWrapMode::Stretch: {
      const TPoint3D b = ABox.Size();
      const TPoint3D s(b.X > 0.0001f ? ASize.X / b.X : 1, b.Y > 0.0001f ? ASize.Y / b.Y : 1,
                       b.Z > 0.0001f ? ASize.Z / b.Z : 1);
      return TMatrix3D::CreateTranslation(-ABox.Min()) * TMatrix3D::CreateScaling(s) *
             TMatrix3D::CreateTranslation(ASize * -0.5f);
    }
  }
  return TMatrix3D::Identity();
}

// ---------------------------------------------------------------------------------------
// TShape3D

TShape3D::TShape3D(TSceneObject* AOwner) : TControl3D(AOwner) {}

TShape3D::~TShape3D() {
  if (FMaterialSource) {
    FMaterialSource->RemoveChangeListener(this);
    FMaterialSource->RemoveFreeNotify(this);
  }
}

void TShape3D::SetMaterialSource(TMaterialSource* ASource) {
  if (ASource == FMaterialSource) return;
  if (FMaterialSource) {
    FMaterialSource->RemoveChangeListener(this);
    FMaterialSource->RemoveFreeNotify(this);
  }
  FMaterialSource = ASource;
  if (FMaterialSource) {
    FMaterialSource->AddChangeListener(this);
    FMaterialSource->AddFreeNotify(this);
  }
}

// The source is going: its listener list goes with it, so only the reference is dropped.
void TShape3D::FreeNotification(TSceneObject* AObject) {
  TControl3D::FreeNotification(AObject);
  if (AObject == FMaterialSource) FMaterialSource = nullptr;
}

void TShape3D::SetWrapMode(TMeshWrapMode AValue) {
  if (AValue == FWrapMode) return;
  FWrapMode = AValue;
  Repaint();
}

std::uintptr_t TShape3D::MaterialKey() const {
  return reinterpret_cast<std::uintptr_t>(ValidMaterial(FMaterialSource));
}

// ---------------------------------------------------------------------------------------
// TCustomMesh

TCustomMesh::TCustomMesh(TSceneObject* AOwner) : TShape3D(AOwner) {
  FData.OnChange = [this] { Repaint(); };
}

TMatrix3D TCustomMesh::WrapMatrix() const {
  const TMeshWrapMode mode = WrapMode();
  const TPoint3D size(Width(), Height(), Depth());
  // Only Fit and Stretch look at the box; Resize must not even compute it.
  if (mode == TMeshWrapMode::Fit || mode == TMeshWrapMode::Stretch)
    return MeshWrapMatrix(mode, FData.GetBoundingBox(), size);
  return MeshWrapMatrix(mode, TBoundingBox(), size);
}

void TCustomMesh::Render(TDrawContext* AContext) {
  AContext->SetMatrix(DrawMatrix());
  if (FData.IndexBuffer().Length() == 0) return;
  AContext->DrawTriangles(FData.VertexBuffer(), FData.IndexBuffer(), ValidMaterial(MaterialSource()),
                          AbsoluteOpacity());
}

// ---------------------------------------------------------------------------------------
// TSphere and TDisk

TSphere::TSphere(TSceneObject* AOwner) : TCustomMesh(AOwner) { RebuildMesh(); }

void TSphere::SetSubdivisionsAxes(int AValue) {
  if (AValue == FSubdivisionsAxes) return;
  FSubdivisionsAxes = std::clamp(AValue, 3, 50);
  RebuildMesh();
}

void TSphere::SetSubdivisionsHeight(int AValue) {
  if (AValue == FSubdivisionsHeight) return;
  FSubdivisionsHeight = std::clamp(AValue, 2, 50);
  RebuildMesh();
}

void TSphere::Render(TDrawContext* AContext) {
  AContext->SetMatrix(DrawMatrix());
  if (Data().IndexBuffer().Length() == 0) return;
  // Said to be a sphere, so that its outline can be smoothed where it is drawn.
  AContext->DrawSphereTriangles(*this, Data().VertexBuffer(), Data().IndexBuffer(), ValidMaterial(MaterialSource()),
                                AbsoluteOpacity(), FSubdivisionsAxes, FSubdivisionsHeight);
}

void TSphere::MarkHiddenBehind(TDrawContext* AContext) {
  if (!Visible() || AbsoluteOpacity() < 1 || !ZWrite() || Projection() != TProjection::Camera ||
      Data().IndexBuffer().Length() == 0 || !DrawsOpaque(ValidMaterial(MaterialSource())))
    return;
  AContext->SetMatrix(DrawMatrix());
  AContext->MarkSphereHides(Data().VertexBuffer(), Data().IndexBuffer());
}

void TSphere::RebuildMesh() { BuildSphereMesh(Data(), FSubdivisionsAxes, FSubdivisionsHeight); }

namespace {

// The round picture a disk is mapped with, if its material is a plain picture.
const TTexture* RoundPicture(const TMaterial* AMaterial) {
  struct Picture : IMaterialShading {
    const TTexture* Round = nullptr;
    // Lit, its corners' light would follow them round.
    void Shade(const TLightMaterial&) override {}
    void Shade(const TTextureMaterial& AMaterial) override {
      if (AMaterial.Texture() && AMaterial.Texture()->Round()) Round = AMaterial.Texture();
    }
  } picture;
  if (AMaterial) AMaterial->ShadeWith(picture);
  return picture.Round;
}

}  // namespace

TMatrix3D TDisk::DrawMatrix() const {
  TMatrix3D m = TCustomMesh::DrawMatrix();
  const TTexture* picture = RoundPicture(ValidMaterial(MaterialSource()));
  // The edge of the polygon lies this far from the centre, in texture coordinates, at
  // its nearest; beyond the picture's last circle, its corners turning show nothing.
  const float edge = 0.5f * std::cos(3.14159265f / static_cast<float>(FSubdivisionsAxes));
  if (!picture || picture->ClearBeyond() >= edge) return m;
  const TPoint3D x(m.m[0][0], m.m[0][1], m.m[0][2]), y(m.m[1][0], m.m[1][1], m.m[1][2]),
      z(m.m[2][0], m.m[2][1], m.m[2][2]);
  const float sx = x.Length(), sy = y.Length(), sz = z.Length();
  // Only a disk kept round, and neither sheared nor projected, turns into itself. Its
  // polygon's box is a little shorter across than along (no corner lies at a quarter
  // turn), and fitting the box stretches it across by that much: 0.2 % with 50
  // segments. That shape, turning at the body's pace, would take seconds to move the
  // ring's edge by a pixel; it is drawn in the one fixed place.
  constexpr float kClose = 1e-4f, kStretch = 0.01f;
  if (!(sx > 0 && sy > 0 && sz > 0) || std::abs(sx - sz) > kStretch * sx ||
      std::abs(x.DotProduct(y)) > kClose * sx * sy || std::abs(x.DotProduct(z)) > kClose * sx * sz ||
      std::abs(y.DotProduct(z)) > kClose * sy * sz || m.m[0][3] != 0 || m.m[1][3] != 0 || m.m[2][3] != 0 ||
      m.m[3][3] != 1)
    return m;
  // Its own first axis put where the world's first (or, for a disk facing along it, the
  // world's third) lies in the disk's plane, the second axis kept, the third completing
  // them with the same handedness, so that the faces keep their winding. Turning the
  // body moves its axis and centre by rounding alone, which would still count as a
  // change: they are kept to 16 bits, a hundred-thousandth of the ring's size.
  auto snap = [](float AValue, float AStep) { return std::round(AValue / AStep) * AStep; };
  auto significant = [](float AValue) {
    int e = 0;
    std::frexp(AValue, &e);
    return std::ldexp(std::round(std::ldexp(AValue, 16 - e)), e - 16);
  };
  constexpr float kUnitStep = 1.0f / 65536;
  TPoint3D n = y * (1 / sy);
  n = TPoint3D(snap(n.X, kUnitStep), snap(n.Y, kUnitStep), snap(n.Z, kUnitStep)).Normalize();
  TPoint3D along = TPoint3D(1, 0, 0) - n * n.X;
  if (along.Length() < 0.5f) along = TPoint3D(0, 0, 1) - n * n.Z;
  along = along.Normalize();
  TPoint3D across = along.CrossProduct(n);  // (along, n, across) is right-handed
  if (x.DotProduct(y.CrossProduct(z)) < 0) across = across * -1;
  const TPoint3D ax = along * significant(sx), ay = n * significant(sy), az = across * significant(sz);
  const float place = significant(sx) * kUnitStep;
  const TPoint3D rows[3] = {ax, ay, az};
  for (int i = 0; i < 3; ++i) {
    m.m[i][0] = rows[i].X;
    m.m[i][1] = rows[i].Y;
    m.m[i][2] = rows[i].Z;
    m.m[3][i] = snap(m.m[3][i], place);
  }
  return m;
}

TDisk::TDisk(TSceneObject* AOwner) : TCustomMesh(AOwner) {
  TDisk::SetHeight(0.001f);
  RebuildMesh();
}

void TDisk::SetSubdivisionsAxes(int AValue) {
  if (AValue == FSubdivisionsAxes) return;
  CheckDiskSize(std::max(AValue, 3), FSubdivisionsCap);
  FSubdivisionsAxes = std::max(AValue, 3);
  RebuildMesh();
}

void TDisk::SetSubdivisionsCap(int AValue) {
  if (AValue == FSubdivisionsCap) return;
  CheckDiskSize(FSubdivisionsAxes, std::max(AValue, 1));
  FSubdivisionsCap = std::max(AValue, 1);
  RebuildMesh();
}

void TDisk::SetHeight(float) { TControl3D::SetHeight(0.001f); }

void TDisk::SetSize(float AWidth, float, float ADepth) { TControl3D::SetSize(AWidth, 0.001f, ADepth); }

void TDisk::Render(TDrawContext* AContext) {
  AContext->SetMatrix(DrawMatrix());
  if (Data().IndexBuffer().Length() == 0) return;
  AContext->DrawFacePairs(Data().VertexBuffer(), Data().IndexBuffer(), ValidMaterial(MaterialSource()),
                          AbsoluteOpacity());
}

void TDisk::RebuildMesh() { BuildDiskMesh(Data(), FSubdivisionsAxes, FSubdivisionsCap); }

}  // namespace sphaerix
