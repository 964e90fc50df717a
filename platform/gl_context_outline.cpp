// The smoothed outline of a sphere drawn on a target of one sample a pixel: its whole
// pixels in its turn (the faces wholly inside the outline by a program without the
// measure of their cover), the pixels its outline covers in part at the end of the scene,
// over whatever lies behind them, and the pixels of pictures drawn after it in front of
// those held back and laid after them.
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

TGLRenderContext::TSphereOnScreen TGLRenderContext::SphereOnScreen() {
  TSphereOnScreen s;
  const TMatrix3D& m = CurrentMatrix();
  s.Centre = TPoint3D(m.m[3][0], m.m[3][1], m.m[3][2]);
  // The outline is a circle only for a sphere kept round: the same scale on each axis.
  const float sx = TPoint3D(m.m[0][0], m.m[0][1], m.m[0][2]).Length();
  const float sy = TPoint3D(m.m[1][0], m.m[1][1], m.m[1][2]).Length();
  const float sz = TPoint3D(m.m[2][0], m.m[2][1], m.m[2][2]).Length();
  s.Radius = 0.5f * sx;
  s.Distance = (s.Centre - CurrentEyePosition()).Length();
  const bool round = std::abs(sx - sy) <= 1e-4f * sx && std::abs(sx - sz) <= 1e-4f * sx;
  if (!Is3DScene() || !round || !(s.Radius > 0) || !(s.Distance > 1.05f * s.Radius)) return s;
  // The radius from the centre's projection and that of a point of the outline's plane
  // as far from it as the radius.
  const TMatrix3D vp = CurrentCameraMatrix() * CurrentProjectionMatrix();
  const TMatrix3D& inv = CurrentCameraInvMatrix();
  const TPoint3D right = TPoint3D(inv.m[0][0], inv.m[0][1], inv.m[0][2]).Normalize();
  auto project = [&](const TPoint3D& p) {
    const float x = p.X * vp.m[0][0] + p.Y * vp.m[1][0] + p.Z * vp.m[2][0] + vp.m[3][0];
    const float y = p.X * vp.m[0][1] + p.Y * vp.m[1][1] + p.Z * vp.m[2][1] + vp.m[3][1];
    const float w = p.X * vp.m[0][3] + p.Y * vp.m[1][3] + p.Z * vp.m[2][3] + vp.m[3][3];
    return std::pair<float, float>{x / w * Width() / 2, y / w * Height() / 2};
  };
  const auto c = project(s.Centre);
  const auto r = project(s.Centre + right * s.Radius);
  const float pixels = std::hypot(r.first - c.first, r.second - c.second);
  if (pixels >= 4 && std::isfinite(pixels)) s.Pixels = pixels;
  s.X = Width() / 2.0f + c.first;
  s.Y = Height() / 2.0f - c.second;
  return s;
}

void TGLRenderContext::DrawSphereTriangles(TCustomMesh& ASphere, const TVertexBuffer& AVertices,
                                           const TIndexBuffer& AIndices, TMaterial* AMaterial, float AOpacity,
                                           int AAxes, int AHeights) {
  FOutline = {};
  // A multisampled target smooths the outline already.
  const TSphereOnScreen s = FSamples <= 1 && AAxes >= 3 && AHeights >= 2 ? SphereOnScreen() : TSphereOnScreen();
  if (s.Pixels > 0) {
    FOutline.Centre = s.Centre;
    FOutline.Radius = s.Radius;
    // The built faces lie inside the sphere by up to the chord's depth of a segment and
    // of a band; pushed out past that and a pixel and a half more, they cover the
    // whole outline and the pixels its smoothing reaches.
    const double pi = std::acos(-1.0);
    const double inside = std::cos(pi / AAxes) * std::cos(pi / AHeights);
    const double pushPixels = s.Pixels * (1.0 / inside - 1.0) + 1.5;
    FOutline.Push = static_cast<float>(pushPixels * s.Radius / (s.Pixels * s.Distance));
    // The outline seen in perspective is wider than the sphere's middle by d / sqrt(d² - r²).
    const float reach =
        s.Pixels * s.Distance / std::sqrt(s.Distance * s.Distance - s.Radius * s.Radius) + 4;
    const int x0 = static_cast<int>(std::floor(s.X - reach)), y0 = static_cast<int>(std::floor(s.Y - reach));
    const int x1 = static_cast<int>(std::ceil(s.X + reach)), y1 = static_cast<int>(std::ceil(s.Y + reach));
    FOutline.Box = {x0, y0, x1 - x0, y1 - y0};
  }
  if (FOutline.Radius > 0) {
    FOutlineDraws.push_back(
        {&ASphere, std::make_unique<TObjectWatch>(&ASphere), FOutline, FAllFaces, {}, nullptr, 0, TMatrix3D()});
    if (FSplitAtOutline && FFramesInPart) {
      ++FStats.SplitSpheres;
      SplitAtOutline(AVertices, AIndices, s.Pixels);
      TOutlineDraw& later = FOutlineDraws.back();
      later.Rim.assign(FRimIndices.Data(), FRimIndices.Data() + FRimIndices.Length());
      later.Vertices = &AVertices;
      later.VerticesRevision = AVertices.Revision();
      later.Matrix = CurrentMatrix();
      FOutlinePass = 3;
      DrawTriangles(AVertices, FInsideIndices, AMaterial, AOpacity);
      FOutlinePass = 1;
      DrawTriangles(AVertices, FRimIndices, AMaterial, AOpacity);
    } else {
      FOutlinePass = 1;
      DrawTriangles(AVertices, AIndices, AMaterial, AOpacity);
    }
  } else {
    DrawTriangles(AVertices, AIndices, AMaterial, AOpacity);
  }
  FOutline = {};
  FOutlinePass = 0;
}

void TGLRenderContext::SplitAtOutline(const TVertexBuffer& AVertices, const TIndexBuffer& AIndices, float APixels) {
  // A corner whose surface faces the eye at least this much (the cosine between the
  // outward normal and the line of sight) lies three pixels or more inside the outline,
  // and so does every point of a face whose corners all do, the outline being convex;
  // it is also past the corners the vertex program pushes out.
  const float within = 1 - 3 / std::max(APixels, 4.0f);
  const float least = std::max(0.15f, std::sqrt(std::max(0.0f, 1 - within * within)));
  const TMatrix3D& m = CurrentMatrix();
  const TPoint3D eye = CurrentEyePosition();
  const int n = AVertices.Length();
  std::vector<char> deep(static_cast<std::size_t>(n));
  const TMeshVertex* v = AVertices.Data();
  for (int i = 0; i < n; ++i) {
    const TPoint3D& p = v[i].Vertex;
    const TPoint3D w(p.X * m.m[0][0] + p.Y * m.m[1][0] + p.Z * m.m[2][0] + m.m[3][0],
                     p.X * m.m[0][1] + p.Y * m.m[1][1] + p.Z * m.m[2][1] + m.m[3][1],
                     p.X * m.m[0][2] + p.Y * m.m[1][2] + p.Z * m.m[2][2] + m.m[3][2]);
    const TPoint3D normal = w - FOutline.Centre, sight = w - eye;
    const float lengths = normal.Length() * sight.Length();
    deep[static_cast<std::size_t>(i)] = lengths > 0 && std::abs(normal.DotProduct(sight)) >= least * lengths;
  }
  std::vector<std::uint32_t> inside, rim;
  inside.reserve(static_cast<std::size_t>(AIndices.Length()));
  const std::uint32_t* idx = AIndices.Data();
  const auto count = static_cast<std::uint32_t>(n);
  for (int t = 0; t + 2 < AIndices.Length(); t += 3) {
    const bool whole = idx[t] < count && idx[t + 1] < count && idx[t + 2] < count && deep[idx[t]] &&
                       deep[idx[t + 1]] && deep[idx[t + 2]];
    std::vector<std::uint32_t>& to = whole ? inside : rim;
    to.insert(to.end(), idx + t, idx + t + 3);
  }
  FillIndices(FInsideIndices, inside);
  FillIndices(FRimIndices, rim);
}

void TGLRenderContext::DrawDeferred() {
  if (FOutlineDraws.empty() && FHeldCount == 0) return;
  QOpenGLFunctions_3_3_Core* gl = FDevice->GL;
  std::vector<TOutlineDraw> draws = std::move(FOutlineDraws);
  FOutlineDraws.clear();
  // Over what the scene holds now, testing depth against it without writing any: the
  // outline's pixels blend over what lies behind and stay under what lies in front.
  SetContextState(TRenderState::cs3DScene);
  // Strictly nearer: the sphere's whole pixels hold its own depth from its first pass
  // and fail here before their shading runs, which would otherwise shade the whole
  // sphere a second time only to discard it.
  gl->glEnable(GL_DEPTH_TEST);
  gl->glDepthFunc(GL_LESS);
  gl->glDepthMask(GL_FALSE);
  gl->glEnable(GL_BLEND);
  for (const TOutlineDraw& d : draws) {
    if (!d.Watch->Alive() || !d.Sphere->Visible()) continue;
    const TMeshData& mesh = d.Sphere->Data();
    if (mesh.IndexBuffer().Length() == 0) continue;
    SetContextState(d.AllFaces ? TRenderState::csAllFace : TRenderState::csFrontFace);
    const TMatrix3D matrix = d.Sphere->DrawMatrix();
    SetMatrix(matrix);
    FOutline = d.Outline;
    FOutlinePass = 2;
    // The rim's faces alone while the sphere is as they were split for: the faces inside
    // would only fail on depth, pixel by pixel.
    const TIndexBuffer* faces = &mesh.IndexBuffer();
    if (!d.Rim.empty() && d.Vertices == &mesh.VertexBuffer() && d.VerticesRevision == mesh.VertexBuffer().Revision() &&
        d.Matrix == matrix) {
      FillIndices(FDeferredIndices, d.Rim);
      faces = &FDeferredIndices;
    }
    DrawTriangles(mesh.VertexBuffer(), *faces, ValidMaterial(d.Sphere->MaterialSource()), d.Sphere->AbsoluteOpacity());
  }
  FOutline = {};
  FOutlinePass = 0;
  LayHeldDraws();
  gl->glDepthFunc(GL_LEQUAL);
  gl->glDepthMask(GL_TRUE);
}

void TGLRenderContext::LayHeldDraws() {
  QOpenGLFunctions_3_3_Core* gl = FDevice->GL;
  // The held pixels lie about the outline: its box alone is drawn again, inside the
  // frame's own part.
  GLint box[4] = {0, 0, Width(), Height()};
  const bool scissor = gl->glIsEnabled(GL_SCISSOR_TEST) == GL_TRUE;
  if (scissor) gl->glGetIntegerv(GL_SCISSOR_BOX, box);
  for (std::size_t i = 0; i < FHeldCount; ++i) {
    const THeldDraw& h = FHeldDraws[i];
    const TPixelRect& b = h.Hold.Box;
    const int x0 = std::max<int>(box[0], b.X), x1 = std::min<int>(box[0] + box[2], b.X + b.Width);
    const int y0 = std::max<int>(box[1], Height() - b.Y - b.Height), y1 = std::min<int>(box[1] + box[3], Height() - b.Y);
    if (x1 <= x0 || y1 <= y0) continue;
    gl->glScissor(x0, y0, x1 - x0, y1 - y0);
    gl->glEnable(GL_SCISSOR_TEST);
    if (h.DepthTest) {
      gl->glEnable(GL_DEPTH_TEST);
      gl->glDepthFunc(GL_LEQUAL);
    } else {
      gl->glDisable(GL_DEPTH_TEST);
    }
    gl->glDepthMask(h.DepthWrite ? GL_TRUE : GL_FALSE);
    gl->glEnable(GL_BLEND);
    if (h.CullFace) {
      gl->glEnable(GL_CULL_FACE);
      gl->glCullFace(static_cast<GLenum>(h.CullMode));
    } else {
      gl->glDisable(GL_CULL_FACE);
    }
    FAllFaces = h.AllFaces;
    FTwoLayers = h.TwoLayers;
    SetMatrix(h.Matrix);
    FReplaying = &h;
    DrawTriangles(h.Vertices, h.Indices, nullptr, h.Opacity);
    FReplaying = nullptr;
  }
  gl->glScissor(box[0], box[1], box[2], box[3]);
  if (!scissor) gl->glDisable(GL_SCISSOR_TEST);
  FHeldCount = 0;
  FTwoLayers = false;
}

}  // namespace sphaerix
