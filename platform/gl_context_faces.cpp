// Meshes drawn with nothing culled: the draw of the faces that cannot show now is skipped,
// and a plain picture's coincident twin faces are laid as one.
#include "platform/gl_context.h"

#include <QOpenGLFunctions_3_3_Core>
#include <algorithm>
#include <cmath>
#include <memory>
#include <stdexcept>
#include <vector>

#include "platform/gl_device.h"
#include "platform/gl_uniforms.h"
#include "scene/material/material.h"
#include "scene/material/material_source.h"
#include "scene/mesh/mesh.h"

namespace sphaerix {

TGLRenderContext::TFacing TGLRenderContext::FacingOfAll(const TVertexBuffer& AVertices, const TIndexBuffer& AIndices) {
  // A face's turn on the screen is the sign of the determinant of its corners' clip x, y
  // and w: the sign of its area after the division by w wherever it is in front of the
  // eye, and the same for the part left of it by clipping when a corner is behind. Front
  // faces turn clockwise here (glFrontFace(GL_CW)), a negative area in these axes.
  const TMatrix3D m = CurrentModelViewProjection();
  const int n = AVertices.Length();
  std::vector<double> clip(static_cast<std::size_t>(n) * 3);
  const TMeshVertex* v = AVertices.Data();
  for (int i = 0; i < n; ++i) {
    const TPoint3D& p = v[i].Vertex;
    for (int k = 0, c = 0; c < 4; ++c) {
      if (c == 2) continue;  // depth plays no part
      clip[static_cast<std::size_t>(i) * 3 + k++] =
          double(p.X) * m.m[0][c] + double(p.Y) * m.m[1][c] + double(p.Z) * m.m[2][c] + m.m[3][c];
    }
  }
  bool front = false, back = false;
  const std::uint32_t* idx = AIndices.Data();
  const auto count = static_cast<std::uint32_t>(n);
  for (int t = 0; t + 2 < AIndices.Length(); t += 3) {
    if (idx[t] >= count || idx[t + 1] >= count || idx[t + 2] >= count) return TFacing::fMixed;
    const TPoint3D &p0 = v[idx[t]].Vertex, &p1 = v[idx[t + 1]].Vertex, &p2 = v[idx[t + 2]].Vertex;
    // A face without area (a pole's) shades no pixel either way.
    if ((p1 - p0).CrossProduct(p2 - p0).Length() == 0) continue;
    const double* a = &clip[idx[t] * 3];
    const double* b = &clip[idx[t + 1] * 3];
    const double* c = &clip[idx[t + 2] * 3];
    const double det = a[0] * (b[1] * c[2] - b[2] * c[1]) - a[1] * (b[0] * c[2] - b[2] * c[0]) +
                       a[2] * (b[0] * c[1] - b[1] * c[0]);
    // Nearly edge-on, rounding could turn it either way.
    const double bound = std::sqrt((a[0] * a[0] + a[1] * a[1] + a[2] * a[2]) * (b[0] * b[0] + b[1] * b[1] + b[2] * b[2]) *
                                   (c[0] * c[0] + c[1] * c[1] + c[2] * c[2]));
    if (!(std::abs(det) > 1e-4 * bound)) return TFacing::fMixed;
    (det < 0 ? front : back) = true;
    if (front && back) return TFacing::fMixed;
  }
  return front ? TFacing::fAllFront : back ? TFacing::fAllBack : TFacing::fMixed;
}

void TGLRenderContext::DrawFacePairs(const TVertexBuffer& AVertices, const TIndexBuffer& AIndices,
                                     TMaterial* AMaterial, float AOpacity) {
  // Twins of a plain picture give the same pixel from either face: laid twice over what
  // lies behind, c + (c + d(1 - a))(1 - a) = c(2 - a) + d(1 - a)^2, which one draw of the
  // face toward the eye gives with its colour scaled by 2 - a. A lit face differs from
  // its twin (their normals are opposite), so it is drawn as two.
  struct Plain : IMaterialShading {
    bool Picture = false;
    void Shade(const TLightMaterial&) override {}
    void Shade(const TTextureMaterial&) override { Picture = true; }
  } plain;
  if (AMaterial) AMaterial->ShadeWith(plain);
  if (!InScene() || !FAllFaces || !plain.Picture) {
    DrawTriangles(AVertices, AIndices, AMaterial, AOpacity);
    return;
  }
  QOpenGLFunctions_3_3_Core* gl = FDevice->GL;
  FAllFaces = false;
  FTwoLayers = true;
  gl->glEnable(GL_CULL_FACE);
  gl->glCullFace(GL_BACK);
  DrawTriangles(AVertices, AIndices, AMaterial, AOpacity);
  FTwoLayers = false;
  FAllFaces = true;
  gl->glDisable(GL_CULL_FACE);
}

}  // namespace sphaerix
