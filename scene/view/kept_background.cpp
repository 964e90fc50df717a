#include "scene/view/kept_background.h"

#include <algorithm>
#include <cmath>

#include "scene/material/material_source.h"
#include "scene/mesh/mesh.h"
#include "scene/nodes/control3d.h"
#include "scene/view/frame_damage.h"
#include "scene/view/viewport3d_context.h"

namespace sphaerix {

namespace {

TPoint3D Place(const TPoint3D& p, const TMatrix3D& m) {
  return TPoint3D(p.X * m.m[0][0] + p.Y * m.m[1][0] + p.Z * m.m[2][0] + m.m[3][0],
                  p.X * m.m[0][1] + p.Y * m.m[1][1] + p.Z * m.m[2][1] + m.m[3][1],
                  p.X * m.m[0][2] + p.Y * m.m[1][2] + p.Z * m.m[2][2] + m.m[3][2]);
}

// The sphere every face of AMesh (placed by AMatrix) lies outside of, round the middle of
// its corners: radius 0 when there is none.
void InnerSphere(const TCustomMesh& AMesh, const TMatrix3D& AMatrix, TPoint3D& ACentre, float& ARadius) {
  const TVertexBuffer& vertices = AMesh.Data().VertexBuffer();
  const TIndexBuffer& indices = AMesh.Data().IndexBuffer();
  ARadius = 0;
  const int n = vertices.Length();
  if (n == 0 || indices.Length() < 3) return;
  std::vector<TPoint3D> placed(static_cast<std::size_t>(n));
  TPoint3D low(1e30f, 1e30f, 1e30f), high(-1e30f, -1e30f, -1e30f);
  for (int i = 0; i < n; ++i) {
    const TPoint3D p = Place(vertices.Data()[i].Vertex, AMatrix);
    placed[static_cast<std::size_t>(i)] = p;
    low = TPoint3D(std::min(low.X, p.X), std::min(low.Y, p.Y), std::min(low.Z, p.Z));
    high = TPoint3D(std::max(high.X, p.X), std::max(high.Y, p.Y), std::max(high.Z, p.Z));
  }
  ACentre = (low + high) * 0.5f;
  // A face's nearest point to the centre is no nearer than the face's plane.
  float inner = 1e30f;
  const std::uint32_t* idx = indices.Data();
  for (int t = 0; t + 2 < indices.Length(); t += 3) {
    if (idx[t] >= static_cast<std::uint32_t>(n) || idx[t + 1] >= static_cast<std::uint32_t>(n) ||
        idx[t + 2] >= static_cast<std::uint32_t>(n))
      return;
    const TPoint3D &a = placed[idx[t]], &b = placed[idx[t + 1]], &c = placed[idx[t + 2]];
    const TPoint3D normal = (b - a).CrossProduct(c - a);
    const float length = normal.Length();
    // A face without area (a pole's) draws nothing.
    if (!(length > 0)) continue;
    inner = std::min(inner, std::abs((ACentre - a).DotProduct(normal)) / length);
  }
  ARadius = inner < 1e30f && std::isfinite(inner) ? inner : 0;
}

// Whether every node of ANodes, and what they hold, draws inside the sphere and none
// draws on its own.
bool AllInside(const std::vector<TControl3D*>& ANodes, const TPoint3D& ACentre, float ARadius) {
  for (TControl3D* node : ANodes) {
    if (!node->Visible()) continue;
    if (node->OnRender) return false;
    if (auto* mesh = dynamic_cast<TCustomMesh*>(node)) {
      const TMatrix3D m = mesh->DrawMatrix();
      const TVertexBuffer& vertices = mesh->Data().VertexBuffer();
      for (int i = 0; i < vertices.Length(); ++i)
        if (!((Place(vertices.Data()[i].Vertex, m) - ACentre).Length() < ARadius)) return false;
    }
    if (!AllInside(node->RenderingList(), ACentre, ARadius)) return false;
  }
  return true;
}

}  // namespace

bool TKeptBackground::TKey::operator==(const TKey& AOther) const {
  return Context == AOther.Context && Width == AOther.Width && Height == AOther.Height &&
         ClearColor == AOther.ClearColor && View == AOther.View && Projection == AOther.Projection &&
         Node == AOther.Node && Matrix == AOther.Matrix && Opacity == AOther.Opacity && Flags == AOther.Flags &&
         Look == AOther.Look && Vertices == AOther.Vertices && Revision == AOther.Revision;
}

TKeptBackground::TUse TKeptBackground::Plan(TRenderTargetContext& AContext, const std::vector<TControl3D*>& ANodes,
                                            std::uint32_t AClearColor, const TMatrix3D& AProjection) {
  auto none = [this] {
    Forget();
    return TUse::None;
  };
  if (!AContext.CanKeepBackground() || ANodes.empty() || !ANodes.front()->Visible()) return none();
  auto* sky = dynamic_cast<TCustomMesh*>(ANodes.front());
  // Alone: a node with nodes of its own would keep them in its picture.
  if (!sky || sky->OnRender || !sky->RenderingList().empty()) return none();
  TKey key;
  key.Context = &AContext;
  key.Width = AContext.Width();
  key.Height = AContext.Height();
  key.ClearColor = AClearColor;
  key.View = AContext.CurrentCameraMatrix();
  key.Projection = AProjection;
  key.Node = sky;
  key.Matrix = sky->DrawMatrix();
  key.Opacity = sky->AbsoluteOpacity();
  key.Flags = (sky->ZWrite() ? 1u : 0u) | (sky->TwoSide() ? 2u : 0u) | (sky->Opaque() ? 4u : 0u) |
              (sky->Projection() == TProjection::Camera ? 8u : 0u);
  key.Look = MaterialLook(ValidMaterial(sky->MaterialSource()));
  key.Vertices = &sky->Data().VertexBuffer();
  key.Revision = sky->Data().VertexBuffer().Revision();
  const bool stood = FHaveKey && key == FKey;
  if (!stood) {
    FKey = key;
    FHaveKey = true;
    FKept = false;
    InnerSphere(*sky, key.Matrix, FCentre, FInner);
  }
  // Everything else must lie in front of it, seen from an eye inside it.
  const std::vector<TControl3D*> rest(ANodes.begin() + 1, ANodes.end());
  if (!(FInner > 0) || !((AContext.CurrentEyePosition() - FCentre).Length() < FInner) ||
      !AllInside(rest, FCentre, FInner)) {
    FKept = false;
    return TUse::Draw;
  }
  if (FKept) return TUse::Restore;
  // Kept only once the camera has stood for a frame: a camera on the move would pay a
  // copy at every frame that no later frame uses.
  return stood ? TUse::DrawAndKeep : TUse::Draw;
}

}  // namespace sphaerix
