#include "scene/view/frame_damage.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "scene/nodes/control3d.h"
#include "scene/material/material.h"
#include "scene/material/material_source.h"
#include "scene/mesh/mesh.h"
#include "scene/view/viewport3d_context.h"

namespace sphaerix {

namespace {

// A partial frame that would redraw more than this share of the target is drawn whole.
constexpr double kMostOfTheTarget = 0.7;
// Pixels added round a node's bounds: smoothed outlines and rounding.
constexpr int kMargin = 3;

std::uint64_t Mix(std::uint64_t AHash, std::uint64_t AValue) { return (AHash ^ AValue) * 1099511628211ull; }

std::uint64_t TextureLook(std::uint64_t AHash, const TTexture* ATexture) {
  AHash = Mix(AHash, reinterpret_cast<std::uintptr_t>(ATexture));
  return ATexture ? Mix(Mix(AHash, ATexture->Revision()), ATexture->MipMaps()) : AHash;
}

}  // namespace

std::uint64_t MaterialLook(const TMaterial* AMaterial) {
  struct Look : IMaterialShading {
    std::uint64_t Hash = 14695981039346656037ull;
    void Shade(const TLightMaterial& AMaterial) override {
      for (TAlphaColor c : {AMaterial.Diffuse(), AMaterial.Ambient(), AMaterial.Emissive(), AMaterial.Specular()})
        Hash = Mix(Hash, c);
      Hash = Mix(Hash, static_cast<std::uint64_t>(AMaterial.Shininess()));
      Hash = TextureLook(Hash, AMaterial.Texture());
    }
    void Shade(const TTextureMaterial& AMaterial) override { Hash = TextureLook(Hash, AMaterial.Texture()); }
  } look;
  if (AMaterial) AMaterial->ShadeWith(look);
  return look.Hash;
}

namespace {

bool SameLights(const std::vector<TLightDescription>& A, const std::vector<TLightDescription>& B) {
  if (A.size() != B.size()) return false;
  for (std::size_t i = 0; i < A.size(); ++i) {
    const TLightDescription &a = A[i], &b = B[i];
    if (a.Enabled != b.Enabled || a.Color != b.Color || a.LightType != b.LightType || a.SpotCutOff != b.SpotCutOff ||
        a.SpotExponent != b.SpotExponent || !(a.Position == b.Position) || !(a.Direction == b.Direction))
      return false;
  }
  return true;
}

}  // namespace

TPixelRect Union(const TPixelRect& A, const TPixelRect& B) {
  if (A.Empty()) return B;
  if (B.Empty()) return A;
  const int x0 = std::min(A.X, B.X), y0 = std::min(A.Y, B.Y);
  const int x1 = std::max(A.X + A.Width, B.X + B.Width), y1 = std::max(A.Y + A.Height, B.Y + B.Height);
  return {x0, y0, x1 - x0, y1 - y0};
}

TPixelRect Intersect(const TPixelRect& ARect, const TPixelRect& ABounds) {
  const int x0 = std::max(ARect.X, ABounds.X), y0 = std::max(ARect.Y, ABounds.Y);
  const int x1 = std::min(ARect.X + ARect.Width, ABounds.X + ABounds.Width);
  const int y1 = std::min(ARect.Y + ARect.Height, ABounds.Y + ABounds.Height);
  if (x1 <= x0 || y1 <= y0) return {};
  return {x0, y0, x1 - x0, y1 - y0};
}

bool TFrameDamage::TNodeState::operator==(const TNodeState& AOther) const {
  return Node == AOther.Node && Matrix == AOther.Matrix && Opacity == AOther.Opacity && Flags == AOther.Flags &&
         Material == AOther.Material && Look == AOther.Look && Drawn == AOther.Drawn &&
         Vertices == AOther.Vertices && VerticesRevision == AOther.VerticesRevision;
}

void TFrameDamage::Collect(const std::vector<TControl3D*>& ANodes, std::vector<TNodeState>& AOut,
                           bool& AOwnDrawing) {
  for (TControl3D* node : ANodes) {
    if (!node->Visible()) continue;
    if (node->OnRender) AOwnDrawing = true;
    TNodeState state;
    state.Node = node;
    state.Matrix = node->AbsoluteMatrix();
    state.Opacity = node->AbsoluteOpacity();
    state.Flags = (node->ZWrite() ? 1u : 0u) | (node->TwoSide() ? 2u : 0u) | (node->Opaque() ? 4u : 0u) |
                  (node->Projection() == TProjection::Camera ? 8u : 0u);
    if (auto* shape = dynamic_cast<TShape3D*>(node)) {
      state.Drawn = true;
      TMaterial* material = ValidMaterial(shape->MaterialSource());
      state.Material = reinterpret_cast<std::uintptr_t>(material);
      state.Look = MaterialLook(material);
      if (auto* mesh = dynamic_cast<TCustomMesh*>(node)) {
        state.Matrix = mesh->DrawMatrix();
        state.Vertices = &mesh->Data().VertexBuffer();
        state.VerticesRevision = state.Vertices->Revision();
      }
    }
    AOut.push_back(state);
    Collect(node->RenderingList(), AOut, AOwnDrawing);
  }
}

bool TFrameDamage::Bounds(const TNodeState& ANode, const TMatrix3D& AViewProjection, TPixelRect& ARect) const {
  if (!ANode.Drawn) {
    ARect = {};
    return true;  // draws nothing itself; its children answer for themselves
  }
  if (!ANode.Vertices || ANode.Vertices->Revision() != ANode.VerticesRevision) return false;
  const TMatrix3D m = ANode.Matrix * AViewProjection;
  float x0 = 1e30f, y0 = 1e30f, x1 = -1e30f, y1 = -1e30f;
  const TMeshVertex* v = ANode.Vertices->Data();
  for (int i = 0, n = ANode.Vertices->Length(); i < n; ++i) {
    const TPoint3D& p = v[i].Vertex;
    const float cx = p.X * m.m[0][0] + p.Y * m.m[1][0] + p.Z * m.m[2][0] + m.m[3][0];
    const float cy = p.X * m.m[0][1] + p.Y * m.m[1][1] + p.Z * m.m[2][1] + m.m[3][1];
    const float cw = p.X * m.m[0][3] + p.Y * m.m[1][3] + p.Z * m.m[2][3] + m.m[3][3];
    // At or behind the near plane (1 unit) the projection does not bound the vertex.
    if (!(cw >= 1.0f) || !std::isfinite(cx) || !std::isfinite(cy)) return false;
    const float px = (cx / cw + 1) / 2 * static_cast<float>(FWidth);
    const float py = (1 - cy / cw) / 2 * static_cast<float>(FHeight);
    x0 = std::min(x0, px);
    x1 = std::max(x1, px);
    y0 = std::min(y0, py);
    y1 = std::max(y1, py);
  }
  if (x0 > x1) {
    ARect = {};
    return true;  // no vertices, nothing drawn
  }
  const int left = std::max(0, static_cast<int>(std::floor(x0)) - kMargin);
  const int top = std::max(0, static_cast<int>(std::floor(y0)) - kMargin);
  const int right = std::min(FWidth, static_cast<int>(std::ceil(x1)) + kMargin);
  const int bottom = std::min(FHeight, static_cast<int>(std::ceil(y1)) + kMargin);
  ARect = right > left && bottom > top ? TPixelRect{left, top, right - left, bottom - top} : TPixelRect{};
  return true;
}

bool TFrameDamage::SameScene(const TRenderTargetContext& AContext, std::size_t ANodeCount, bool AOwnDrawing,
                             std::uint32_t AClearColor, const TMatrix3D& AView, const TMatrix3D& AProjection,
                             const std::vector<TLightDescription>& ALights) const {
  return FValid && FContext == &AContext && FWidth == AContext.Width() && FHeight == AContext.Height() &&
         FClearColor == AClearColor && FView == AView && FProjection == AProjection && SameLights(FLights, ALights) &&
         ANodeCount == FNodes.size() && !AOwnDrawing;
}

float TFrameDamage::CornerMove(const TNodeState& ABefore, const TNodeState& AAfter,
                               const TMatrix3D& AViewProjection) const {
  constexpr float kUnbounded = std::numeric_limits<float>::infinity();
  if (!AAfter.Vertices || AAfter.Vertices != ABefore.Vertices ||
      AAfter.Vertices->Revision() != AAfter.VerticesRevision || AAfter.VerticesRevision != ABefore.VerticesRevision)
    return kUnbounded;
  const TMatrix3D a = ABefore.Matrix * AViewProjection, b = AAfter.Matrix * AViewProjection;
  const float halfW = static_cast<float>(FWidth) / 2, halfH = static_cast<float>(FHeight) / 2;
  float most = 0;
  const TMeshVertex* v = AAfter.Vertices->Data();
  for (int i = 0, n = AAfter.Vertices->Length(); i < n; ++i) {
    const TPoint3D& p = v[i].Vertex;
    float place[2][2];
    int k = 0;
    for (const TMatrix3D* m : {&a, &b}) {
      const float cx = p.X * m->m[0][0] + p.Y * m->m[1][0] + p.Z * m->m[2][0] + m->m[3][0];
      const float cy = p.X * m->m[0][1] + p.Y * m->m[1][1] + p.Z * m->m[2][1] + m->m[3][1];
      const float cw = p.X * m->m[0][3] + p.Y * m->m[1][3] + p.Z * m->m[2][3] + m->m[3][3];
      if (!(cw >= 1.0f)) return kUnbounded;
      place[k][0] = cx / cw * halfW;
      place[k][1] = cy / cw * halfH;
      ++k;
    }
    const float move = std::hypot(place[1][0] - place[0][0], place[1][1] - place[0][1]);
    if (!std::isfinite(move)) return kUnbounded;
    most = std::max(most, move);
  }
  return most;
}

float TFrameDamage::Movement(const TRenderTargetContext& AContext, const std::vector<TControl3D*>& ANodes,
                             std::uint32_t AClearColor, const TMatrix3D& AView, const TMatrix3D& AProjection,
                             const std::vector<TLightDescription>& ALights) const {
  constexpr float kUnbounded = std::numeric_limits<float>::infinity();
  std::vector<TNodeState> nodes;
  bool ownDrawing = false;
  Collect(ANodes, nodes, ownDrawing);
  if (!SameScene(AContext, nodes.size(), ownDrawing, AClearColor, AView, AProjection, ALights)) return kUnbounded;
  const TMatrix3D viewProjection = AView * AProjection;
  float most = 0;
  for (std::size_t i = 0; i < nodes.size(); ++i) {
    const TNodeState &now = nodes[i], &then = FNodes[i];
    if (now == then) continue;
    TNodeState moved = now;
    moved.Matrix = then.Matrix;
    if (!(moved == then)) return kUnbounded;  // more than its place changed
    if (now.Drawn) most = std::max(most, CornerMove(then, now, viewProjection));
    if (!std::isfinite(most)) return kUnbounded;
  }
  return most;
}

bool TFrameDamage::Partial(const TRenderTargetContext& AContext, const std::vector<TControl3D*>& ANodes,
                           std::uint32_t AClearColor, const TMatrix3D& AView, const TMatrix3D& AProjection,
                           const std::vector<TLightDescription>& ALights, TPixelRect& ARect) {
  std::vector<TNodeState> nodes;
  bool ownDrawing = false;
  Collect(ANodes, nodes, ownDrawing);
  bool partial = SameScene(AContext, nodes.size(), ownDrawing, AClearColor, AView, AProjection, ALights);
  TPixelRect damage;
  if (partial) {
    const TMatrix3D viewProjection = AView * AProjection;
    for (std::size_t i = 0; i < nodes.size() && partial; ++i) {
      if (nodes[i].Node != FNodes[i].Node) {
        partial = false;  // the tree changed
      } else if (!(nodes[i] == FNodes[i])) {
        TPixelRect before, after;
        partial = Bounds(FNodes[i], viewProjection, before) && Bounds(nodes[i], viewProjection, after);
        damage = Union(damage, Union(before, after));
      }
    }
    if (partial && static_cast<double>(damage.Width) * damage.Height >
                       kMostOfTheTarget * static_cast<double>(AContext.Width()) * AContext.Height())
      partial = false;
  }
  FValid = true;
  FContext = &AContext;
  FWidth = AContext.Width();
  FHeight = AContext.Height();
  FClearColor = AClearColor;
  FView = AView;
  FProjection = AProjection;
  FLights = ALights;
  FNodes = std::move(nodes);
  ARect = partial ? damage : TPixelRect{0, 0, FWidth, FHeight};
  return partial;
}

}  // namespace sphaerix
