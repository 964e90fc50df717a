#include "platform/gl_context.h"

#include <QOpenGLFunctions_3_3_Core>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/gl_device.h"
#include "scene/material/bitmap.h"
#include "scene/material/material.h"
#include "scene/material/material_source.h"
#include "scene/mesh/mesh.h"

namespace sphaerix {

namespace {

// "Lights[i].Opts" ... "Lights[i].Color" for every slot, made once.
const std::string& LightUniformName(int ASlot, int AField) {
  static const std::vector<std::string> names = [] {
    static const char* const fields[4] = {"Opts", "Pos", "Dir", "Color"};
    std::vector<std::string> all;
    for (int i = 0; i < MaxLightCount; ++i)
      for (const char* f : fields) all.push_back("Lights[" + std::to_string(i) + "]." + f);
    return all;
  }();
  return names[static_cast<std::size_t>(ASlot * 4 + AField)];
}

// ABuffer holds AIndices now, as a new revision.
void FillIndices(TIndexBuffer& ABuffer, const std::vector<std::uint32_t>& AIndices) {
  ABuffer.SetLength(static_cast<int>(AIndices.size()));
  for (std::size_t i = 0; i < AIndices.size(); ++i) ABuffer[static_cast<int>(i)] = AIndices[i];
}

void SetUniformVector(QOpenGLFunctions_3_3_Core* gl, GLint ALocation, const TVector3D& v) {
  gl->glUniform4f(ALocation, v.X, v.Y, v.Z, v.W);
}

void SetUniformMatrix(QOpenGLFunctions_3_3_Core* gl, GLint ALocation, const TMatrix3D& m) {
  // Row-major rows uploaded as GLSL columns: the program's M * v is the scene's v x M.
  gl->glUniformMatrix4fv(ALocation, 1, GL_FALSE, &m.m[0][0]);
}

}  // namespace

// ---------------------------------------------------------------------------------------
// The render context of one viewport

TGLRenderContext::TGLRenderContext(IGLDeviceSource& ADevices, int AWidth, int AHeight, TMultisample AMultisample)
    : TRenderTargetContext(AWidth, AHeight, AMultisample), FDevices(ADevices) {}

TGLRenderContext::~TGLRenderContext() {
  if (FDevice && FDevice->Alive() && MakeCurrent())
    ReleaseTargets();
  else
    AbandonTargets();
}

bool TGLRenderContext::MakeCurrent() {
  std::shared_ptr<TGLDevice> device = FDevices.MakeCurrent();
  if (FDevice && (FDevice != device || !FDevice->Alive())) {
    // The context the targets were made in went away, and every object with it.
    AbandonTargets();
    FDevice.reset();
  }
  FDevice = std::move(device);
  return FDevice && FDevice->Alive();
}

void TGLRenderContext::ReleaseTargets() {
  FTargets = TTargets();
  FSamples = 0;
}

void TGLRenderContext::AbandonTargets() {
  FTargets.Fbo.Abandon();
  FTargets.ColorBuffer.Abandon();
  FTargets.DepthBuffer.Abandon();
  FTargets.FrameFbo.Abandon();
  FTargets.FrameTexture.Abandon();
  FTargets.BackgroundFbo.Abandon();
  FTargets.BackgroundTexture.Abandon();
  FSamples = 0;
}

void TGLRenderContext::MultisampleChanged() {
  // The buffers are made again, with the new count, at the next scene.
  if (FDevice && FDevice->Alive() && MakeCurrent()) ReleaseTargets();
}

bool TGLRenderContext::EnsureTargets() {
  if (FTargets.Fbo) return true;
  QOpenGLFunctions_3_3_Core* gl = FDevice->GL;
  const int w = Width(), h = Height();
  while (gl->glGetError() != GL_NO_ERROR) {
  }
  GLint maxSamples = 1;
  gl->glGetIntegerv(GL_MAX_SAMPLES, &maxSamples);
  GLint previous = 0;
  gl->glGetIntegerv(GL_FRAMEBUFFER_BINDING, &previous);

  FFreshTargets = true;
  TTargets& t = FTargets;
  t.FrameTexture = TGLTexture::Create(gl);
  gl->glBindTexture(GL_TEXTURE_2D, t.FrameTexture.Name());
  gl->glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, w, h, 0, GL_BGRA, GL_UNSIGNED_BYTE, nullptr);
  gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
  gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
  gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
  t.FrameFbo = TGLFramebuffer::Create(gl);
  gl->glBindFramebuffer(GL_FRAMEBUFFER, t.FrameFbo.Name());
  gl->glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, t.FrameTexture.Name(), 0);
  const bool frameOk = gl->glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
  if (frameOk) {
    // A frame copied before any scene is transparent, not undefined.
    gl->glDisable(GL_SCISSOR_TEST);
    gl->glClearColor(0, 0, 0, 0);
    gl->glClear(GL_COLOR_BUFFER_BIT);
  }

  t.Fbo = TGLFramebuffer::Create(gl);
  t.DepthBuffer = TGLRenderbuffer::Create(gl);
  gl->glBindFramebuffer(GL_FRAMEBUFFER, t.Fbo.Name());
  // Ask for the samples of Multisample, then one fewer at a time, down to one. With one,
  // the scene is drawn straight into the frame texture: there is nothing to resolve, and
  // a second full-size colour buffer and a copy at every frame are saved.
  for (int n = MultisampleCount(Multisample()); n >= 1 && !FSamples && frameOk; --n) {
    if (n > 1 && n > maxSamples) continue;
    if (n > 1) {
      if (!t.ColorBuffer) t.ColorBuffer = TGLRenderbuffer::Create(gl);
      gl->glBindRenderbuffer(GL_RENDERBUFFER, t.ColorBuffer.Name());
      gl->glRenderbufferStorageMultisample(GL_RENDERBUFFER, n, GL_RGBA8, w, h);
      gl->glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, t.ColorBuffer.Name());
    } else {
      t.ColorBuffer = TGLRenderbuffer();
      gl->glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, t.FrameTexture.Name(), 0);
    }
    gl->glBindRenderbuffer(GL_RENDERBUFFER, t.DepthBuffer.Name());
    if (n > 1)
      gl->glRenderbufferStorageMultisample(GL_RENDERBUFFER, n, GL_DEPTH24_STENCIL8, w, h);
    else
      gl->glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH24_STENCIL8, w, h);
    gl->glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, t.DepthBuffer.Name());
    const bool ok = gl->glGetError() == GL_NO_ERROR &&
                    gl->glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
    if (ok) {
      GLint got = 1;
      if (n > 1) {
        gl->glBindRenderbuffer(GL_RENDERBUFFER, t.ColorBuffer.Name());
        gl->glGetRenderbufferParameteriv(GL_RENDERBUFFER, GL_RENDERBUFFER_SAMPLES, &got);
      }
      FSamples = std::max(1, got);
    }
  }
  gl->glBindFramebuffer(GL_FRAMEBUFFER, previous);
  if (!FSamples || !frameOk) {
    ReleaseTargets();
    return false;
  }
  return true;
}

bool TGLRenderContext::DoBeginScene() {
  if (Width() <= 0 || Height() <= 0 || !MakeCurrent() || !EnsureTargets()) return false;
  QOpenGLFunctions_3_3_Core* gl = FDevice->GL;
  FDevice->DeletePending();
  gl->glGetIntegerv(GL_FRAMEBUFFER_BINDING, &FPreviousFbo);
  gl->glGetIntegerv(GL_VIEWPORT, FPreviousViewport);
  gl->glBindFramebuffer(GL_FRAMEBUFFER, FTargets.Fbo.Name());
  gl->glViewport(0, 0, Width(), Height());
  // Everything the frame relies on, whatever the window's painter left behind.
  gl->glDisable(GL_SCISSOR_TEST);
  gl->glDisable(GL_STENCIL_TEST);
  gl->glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
  gl->glEnable(GL_DEPTH_TEST);
  gl->glDepthFunc(GL_LEQUAL);
  gl->glDepthMask(GL_TRUE);
  gl->glEnable(GL_BLEND);
  gl->glBlendEquation(GL_FUNC_ADD);
  gl->glBlendFuncSeparate(GL_ONE, GL_ONE_MINUS_SRC_ALPHA, GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
  gl->glEnable(GL_CULL_FACE);
  gl->glCullFace(GL_BACK);
  gl->glFrontFace(GL_CW);
  FAllFaces = false;
  FHeldCount = 0;
  FHolding = false;
  gl->glActiveTexture(GL_TEXTURE0);
  return true;
}

void TGLRenderContext::DoEndScene() {
  QOpenGLFunctions_3_3_Core* gl = FDevice->GL;
  FFreshTargets = false;
  // The window's painter uses the unit after the scene, with its own filtering.
  gl->glBindSampler(0, 0);
  gl->glBindVertexArray(0);
  gl->glUseProgram(0);
  gl->glBindFramebuffer(GL_FRAMEBUFFER, FPreviousFbo);
  gl->glViewport(FPreviousViewport[0], FPreviousViewport[1], FPreviousViewport[2], FPreviousViewport[3]);
  FDevice->SceneDone();
}

void TGLRenderContext::ApplyState(TRenderState AState) {
  if (!InScene()) return;
  QOpenGLFunctions_3_3_Core* gl = FDevice->GL;
  switch (AState) {
    case TRenderState::csZWriteOn: gl->glDepthMask(GL_TRUE); break;
    case TRenderState::csZWriteOff: gl->glDepthMask(GL_FALSE); break;
    case TRenderState::csZTestOn:
      gl->glEnable(GL_DEPTH_TEST);
      gl->glDepthFunc(GL_LEQUAL);
      break;
    // Without the test OpenGL writes no depth either, as the frame expects.
    case TRenderState::csZTestOff: gl->glDisable(GL_DEPTH_TEST); break;
    case TRenderState::csAlphaBlendOn: gl->glEnable(GL_BLEND); break;
    case TRenderState::csAlphaBlendOff: gl->glDisable(GL_BLEND); break;
    case TRenderState::csAllFace:
      FAllFaces = true;
      gl->glDisable(GL_CULL_FACE);
      break;
    case TRenderState::csFrontFace:
      FAllFaces = false;
      gl->glEnable(GL_CULL_FACE);
      gl->glCullFace(GL_BACK);
      break;
    case TRenderState::csBackFace:
      FAllFaces = false;
      gl->glEnable(GL_CULL_FACE);
      gl->glCullFace(GL_FRONT);
      break;
    case TRenderState::csScissorOn:
      gl->glEnable(GL_SCISSOR_TEST);
      FFramesInPart = true;
      break;
    case TRenderState::csScissorOff: gl->glDisable(GL_SCISSOR_TEST); break;
    default: break;
  }
}

void TGLRenderContext::Clear(TAlphaColor AColor, float ADepth, std::uint32_t AStencil) {
  if (!InScene()) return;
  QOpenGLFunctions_3_3_Core* gl = FDevice->GL;
  const TVector3D c = ColorToVector(AColor);
  // The target holds premultiplied colours.
  gl->glClearColor(c.X * c.W, c.Y * c.W, c.Z * c.W, c.W);
  gl->glClearDepth(ADepth);
  gl->glClearStencil(static_cast<GLint>(AStencil));
  gl->glDepthMask(GL_TRUE);
  gl->glStencilMask(0xFF);
  gl->glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
}

void TGLRenderContext::DrawTriangles(const TVertexBuffer& AVertices, const TIndexBuffer& AIndices,
                                     TMaterial* AMaterial, float AOpacity) {
  if (!InScene() || AIndices.Length() == 0 || AVertices.Length() == 0) return;
  FDevice->BindMesh(AVertices, AIndices);
  // Each kind of material picks its own program.
  struct Shading : IMaterialShading {
    TGLRenderContext& Context;
    float Opacity;
    Shading(TGLRenderContext& AContext, float AOpacity) : Context(AContext), Opacity(AOpacity) {}
    void Shade(const TLightMaterial& AMaterial) override { Context.DrawLightMaterial(AMaterial, Opacity); }
    void Shade(const TTextureMaterial& AMaterial) override {
      Context.DrawTextureMaterial(AMaterial.Texture(), Opacity);
    }
  } shading(*this, AOpacity);
  if (AMaterial)
    AMaterial->ShadeWith(shading);
  else
    DrawTextureMaterial(nullptr, AOpacity);  // no material: plain white
  QOpenGLFunctions_3_3_Core* gl = FDevice->GL;
  if (FHolding) {
    // Its pixels over the outline, in front of it, are laid again after the outline.
    FHolding = false;
    if (FHeldDraws.size() <= FHeldCount) FHeldDraws.emplace_back();
    THeldDraw& h = FHeldDraws[FHeldCount++];
    const THeldDraw map = FHoldingMap;
    h.Vertices = AVertices;
    h.Indices = AIndices;
    h.Matrix = CurrentMatrix();
    h.Opacity = AOpacity;
    h.Map = map.Map;
    h.Levels = map.Levels;
    h.Radial = map.Radial;
    h.Hold = map.Hold;
    h.AllFaces = FAllFaces;
    h.TwoLayers = FTwoLayers;
    GLboolean depthWrite = GL_TRUE;
    gl->glGetBooleanv(GL_DEPTH_WRITEMASK, &depthWrite);
    h.DepthWrite = depthWrite == GL_TRUE;
    h.DepthTest = gl->glIsEnabled(GL_DEPTH_TEST) == GL_TRUE;
    h.CullFace = gl->glIsEnabled(GL_CULL_FACE) == GL_TRUE;
    GLint mode = GL_BACK;
    gl->glGetIntegerv(GL_CULL_FACE_MODE, &mode);
    h.CullMode = mode;
    ++FStats.HeldDraws;
  }
  if (!FAllFaces) {
    gl->glDrawElements(GL_TRIANGLES, AIndices.Length(), GL_UNSIGNED_INT, nullptr);
    return;
  }
  // Nothing culled: the faces turned away first, then those turned toward the eye, which
  // a hair's offset lets through the depth test over a face they coincide with (a flat
  // disk's two faces): with one draw, depth rounding between the two would let the second
  // through at some pixels only, and a translucent picture would come out speckled.
  // When every face turns the same way (the sky seen from inside its sphere), the other
  // draw would shade nothing; skipping it also spares the driver a program variant.
  // Faces pushed out for an outline move in the vertex program, so those are not judged.
  const TFacing facing =
      FSkipUnseenFaces && FOutline.Push <= 0 ? FacingOfAll(AVertices, AIndices) : TFacing::fMixed;
  if (facing != TFacing::fMixed) ++FStats.SkippedFaceDraws;
  gl->glEnable(GL_CULL_FACE);
  if (facing != TFacing::fAllFront) {
    gl->glCullFace(GL_FRONT);
    gl->glDrawElements(GL_TRIANGLES, AIndices.Length(), GL_UNSIGNED_INT, nullptr);
  }
  if (facing != TFacing::fAllBack) {
    gl->glCullFace(GL_BACK);
    gl->glEnable(GL_POLYGON_OFFSET_FILL);
    gl->glPolygonOffset(0, -2);
    gl->glDrawElements(GL_TRIANGLES, AIndices.Length(), GL_UNSIGNED_INT, nullptr);
    gl->glDisable(GL_POLYGON_OFFSET_FILL);
  }
  gl->glDisable(GL_CULL_FACE);
}

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

// The uniforms every mesh program shares: the model matrix, the eye, and the outline of
// the sphere being drawn, if it is smoothed (none: radius 0).
void TGLRenderContext::SetShapeUniforms(TGLDevice::Program& AProgram) {
  QOpenGLFunctions_3_3_Core* gl = FDevice->GL;
  const TPoint3D eye = CurrentEyePosition();
  SetUniformMatrix(gl, FDevice->Location(AProgram, "ModelView"), CurrentMatrix());
  SetUniformMatrix(gl, FDevice->Location(AProgram, "ViewProjection"), CurrentCameraMatrix() * CurrentProjectionMatrix());
  gl->glUniform1f(FDevice->Location(AProgram, "OutlinePush"), FOutline.Push);
  gl->glUniform1f(FDevice->Location(AProgram, "OutlinePass"), static_cast<float>(FOutlinePass));
  gl->glUniform4f(FDevice->Location(AProgram, "Outline"), FOutline.Centre.X, FOutline.Centre.Y, FOutline.Centre.Z,
                  FOutline.Radius);
  gl->glUniform3f(FDevice->Location(AProgram, "Eye"), eye.X, eye.Y, eye.Z);
}

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

void TGLRenderContext::MarkSphereHides(const TVertexBuffer& AVertices, const TIndexBuffer& AIndices) {
  if (!InScene() || AIndices.Length() == 0 || AVertices.Length() == 0 || !FMarkHidden || !FFramesInPart) return;
  const TSphereOnScreen s = SphereOnScreen();
  // Less than this, in pixels, hides too little to be worth a pass.
  constexpr float kSmallest = 16;
  if (s.Pixels < kSmallest) return;
  const TMatrix3D mvp = CurrentModelViewProjection();
  const float w = mvp.m[3][3];
  if (!(w > 0)) return;
  const float centreDepth = 2 * mvp.m[3][2] / w - 1;
  if (!(centreDepth > -1 && centreDepth < 1)) return;
  QOpenGLFunctions_3_3_Core* gl = FDevice->GL;
  TGLDevice::Program* hiding = nullptr;
  try {
    hiding = &FDevice->HidingProgram();
  } catch (const std::exception&) {
    FMarkHidden = false;  // a saving only: the frame is the same without
    return;
  }
  TGLDevice::Program& p = *hiding;
  FDevice->BindMesh(AVertices, AIndices);
  gl->glUseProgram(p.Id());
  SetUniformMatrix(gl, FDevice->Location(p, "MVPMatrix"), mvp);
  // The built faces lie inside the sphere; two and a half pixels further in, every pixel
  // they cover is covered whole by the sphere, whose pixels there are opaque.
  gl->glUniform1f(FDevice->Location(p, "Shrink"), 1 - 2.5f / s.Pixels);
  // Everything between the eye and the centre still draws, and the sphere's own faces,
  // all nearer than its centre, draw over it: the picture is the one without the mark.
  gl->glUniform1f(FDevice->Location(p, "CentreDepth"), centreDepth);
  gl->glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_FALSE);
  gl->glDisable(GL_BLEND);
  gl->glEnable(GL_DEPTH_TEST);
  gl->glDepthFunc(GL_LEQUAL);
  gl->glDepthMask(GL_TRUE);
  gl->glEnable(GL_CULL_FACE);
  gl->glCullFace(GL_BACK);
  gl->glDrawElements(GL_TRIANGLES, AIndices.Length(), GL_UNSIGNED_INT, nullptr);
  ++FStats.HiddenMarks;
  gl->glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
  gl->glEnable(GL_BLEND);
  ApplyState(FAllFaces ? TRenderState::csAllFace : TRenderState::csFrontFace);
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

void TGLRenderContext::BindMap(TGLDevice::Program& AProgram, const TTexture* ATexture, bool ARadial) {
  const GLuint map = FDevice->TextureFor(ATexture);
  BindMapObject(AProgram, map, ATexture && ATexture->MipMaps() && map != FDevice->TextureFor(nullptr), ARadial);
}

void TGLRenderContext::BindMapObject(TGLDevice::Program& AProgram, unsigned AMap, bool ALevels, bool ARadial) {
  QOpenGLFunctions_3_3_Core* gl = FDevice->GL;
  const GLuint map = AMap;
  const bool levels = ALevels;
  // A globe is seen at a slant only along its rim, where the light grazes it: it is
  // sampled without anisotropy, which would cost about as much again as the rest of its
  // sampling. A ring, seen from near its plane, keeps it, unless its picture is round and
  // the program filters it along its radius (ARadial).
  const bool slant = levels && FDevice->SlantSampler() && !(FOutline.Radius > 0) && !ARadial;
  gl->glUniform1i(FDevice->Location(AProgram, "texture0"), 0);
  gl->glActiveTexture(GL_TEXTURE0);
  gl->glBindTexture(GL_TEXTURE_2D, map);
  gl->glBindSampler(0, !levels ? 0 : (slant ? FDevice->SlantSampler() : FDevice->PlainSampler()));
}

void TGLRenderContext::DrawLightMaterial(const TLightMaterial& AMaterial, float AOpacity) {
  QOpenGLFunctions_3_3_Core* gl = FDevice->GL;
  const TLightMaterialUniforms u = LightMaterialUniforms(AMaterial, Lights(), CurrentEyePosition(), AOpacity);
  TGLDevice::Program* program = nullptr;
  if (FOutlinePass == 3) {
    try {
      program = &FDevice->LightProgram(u.SlotCount, true);
    } catch (const std::exception&) {
      // A saving only: the whole program shades the inner faces the same.
      FSplitAtOutline = false;
    }
  }
  TGLDevice::Program& p = program ? *program : FDevice->LightProgram(u.SlotCount);
  gl->glUseProgram(p.Id());
  const TMatrix3D& model = CurrentMatrix();
  SetUniformMatrix(gl, FDevice->Location(p, "MVPMatrix"), CurrentModelViewProjection());
  SetShapeUniforms(p);
  SetUniformMatrix(gl, FDevice->Location(p, "ModelViewIT"), model.Inverse().Transpose());
  SetUniformVector(gl, FDevice->Location(p, "MaterialDiffuse"), u.MaterialDiffuse);
  SetUniformVector(gl, FDevice->Location(p, "MaterialSpecular"), u.MaterialSpecular);
  SetUniformVector(gl, FDevice->Location(p, "MaterialAmbient"), u.MaterialAmbient);
  SetUniformVector(gl, FDevice->Location(p, "MaterialEmission"), u.MaterialEmission);
  SetUniformVector(gl, FDevice->Location(p, "MaterialOpts"), u.MaterialOpts);
  SetUniformVector(gl, FDevice->Location(p, "EyePos"), u.EyePos);
  for (int i = 0; i < u.SlotCount; ++i) {
    const TVector3D* values[4] = {&u.Lights[i].Opts, &u.Lights[i].Pos, &u.Lights[i].Dir, &u.Lights[i].Color};
    for (int f = 0; f < 4; ++f)
      SetUniformVector(gl, FDevice->Location(p, LightUniformName(i, f).c_str()), *values[f]);
  }
  gl->glUniform1f(FDevice->Location(p, "Opacity"), u.Opacity);
  gl->glUniform1f(FDevice->Location(p, "Modulation"), u.Modulation);
  BindMap(p, u.Texture);
}

void TGLRenderContext::DrawTextureMaterial(const TTexture* ATexture, float AOpacity) {
  QOpenGLFunctions_3_3_Core* gl = FDevice->GL;
  TGLDevice::Program& p = FDevice->TextureProgram();
  gl->glUseProgram(p.Id());
  SetUniformMatrix(gl, FDevice->Location(p, "MVPMatrix"), CurrentModelViewProjection());
  SetShapeUniforms(p);
  gl->glUniform1f(FDevice->Location(p, "Opacity"), AOpacity);
  gl->glUniform1f(FDevice->Location(p, "Layers"), FTwoLayers ? 2.0f : 1.0f);
  const GLint hold = FDevice->Location(p, "Hold"), holdPass = FDevice->Location(p, "HoldPass");
  if (FReplaying) {
    const THeldDraw& h = *FReplaying;
    gl->glUniform4f(hold, h.Hold.Centre.X, h.Hold.Centre.Y, h.Hold.Centre.Z, h.Hold.Radius);
    gl->glUniform1f(holdPass, 2.0f);
    gl->glUniform1f(FDevice->Location(p, "Radial"), h.Radial ? 1.0f : 0.0f);
    BindMapObject(p, h.Map, h.Levels, h.Radial);
    return;
  }
  const bool usable = ATexture && static_cast<long long>(ATexture->Width()) * ATexture->Height() != 0;
  const bool radial = FRadialFilter && usable && ATexture->Round() && ATexture->MipMaps();
  if (radial) ++FStats.RadialDraws;
  gl->glUniform1f(FDevice->Location(p, "Radial"), radial ? 1.0f : 0.0f);
  // Drawn after a smoothed sphere, whose outline is laid at the end of the scene.
  FHolding = FOutlinePass == 0 && !FOutlineDraws.empty();
  if (FHolding) {
    const TOutline& o = FOutlineDraws.front().Outline;
    gl->glUniform4f(hold, o.Centre.X, o.Centre.Y, o.Centre.Z, o.Radius);
    gl->glUniform1f(holdPass, 1.0f);
    const TTexture* texture = usable ? ATexture : nullptr;
    FHoldingMap.Map = FDevice->TextureFor(texture);
    FHoldingMap.Levels = texture && texture->MipMaps() && FHoldingMap.Map != FDevice->TextureFor(nullptr);
    FHoldingMap.Radial = radial;
    FHoldingMap.Hold = o;
  } else {
    gl->glUniform4f(hold, 0, 0, 0, 0);
    gl->glUniform1f(holdPass, 0.0f);
  }
  BindMap(p, usable ? ATexture : nullptr, radial);
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

void TGLRenderContext::CopyToFrame() { CopyToFrame(TPixelRect{0, 0, Width(), Height()}); }

void TGLRenderContext::CopyToFrame(const TPixelRect& ARect) {
  // With one sample the scene is drawn into the frame texture itself.
  if (!FTargets.Fbo || !FTargets.ColorBuffer || ARect.Empty() || !MakeCurrent()) return;
  QOpenGLFunctions_3_3_Core* gl = FDevice->GL;
  GLint read = 0, draw = 0;
  gl->glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &read);
  gl->glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &draw);
  const GLboolean scissor = gl->glIsEnabled(GL_SCISSOR_TEST);
  gl->glDisable(GL_SCISSOR_TEST);
  gl->glBindFramebuffer(GL_READ_FRAMEBUFFER, FTargets.Fbo.Name());
  gl->glBindFramebuffer(GL_DRAW_FRAMEBUFFER, FTargets.FrameFbo.Name());
  // Resolves the samples on the GPU; nothing comes back to the CPU. OpenGL counts rows
  // from the bottom.
  const int x0 = ARect.X, y0 = Height() - ARect.Y - ARect.Height;
  const int x1 = x0 + ARect.Width, y1 = y0 + ARect.Height;
  gl->glBlitFramebuffer(x0, y0, x1, y1, x0, y0, x1, y1, GL_COLOR_BUFFER_BIT, GL_NEAREST);
  gl->glBindFramebuffer(GL_READ_FRAMEBUFFER, read);
  gl->glBindFramebuffer(GL_DRAW_FRAMEBUFFER, draw);
  if (scissor) gl->glEnable(GL_SCISSOR_TEST);
}

bool TGLRenderContext::BeginKeepingBackground(TAlphaColor AClearColor) {
  if (!InScene() || FSamples != 1) return false;
  QOpenGLFunctions_3_3_Core* gl = FDevice->GL;
  TTargets& t = FTargets;
  if (!t.BackgroundFbo) {
    t.BackgroundTexture = TGLTexture::Create(gl);
    gl->glBindTexture(GL_TEXTURE_2D, t.BackgroundTexture.Name());
    gl->glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, Width(), Height(), 0, GL_BGRA, GL_UNSIGNED_BYTE, nullptr);
    gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    t.BackgroundFbo = TGLFramebuffer::Create(gl);
    gl->glBindFramebuffer(GL_FRAMEBUFFER, t.BackgroundFbo.Name());
    gl->glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, t.BackgroundTexture.Name(), 0);
    // The target's own depth buffer: a frame that keeps the background clears it again
    // (inside its part) before drawing anything else.
    gl->glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, t.DepthBuffer.Name());
    const bool ok = gl->glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
    gl->glBindFramebuffer(GL_FRAMEBUFFER, t.Fbo.Name());
    if (!ok) {
      t.BackgroundFbo = TGLFramebuffer();
      t.BackgroundTexture = TGLTexture();
      return false;
    }
  }
  gl->glBindFramebuffer(GL_FRAMEBUFFER, t.BackgroundFbo.Name());
  ApplyState(TRenderState::csScissorOff);
  Clear(AClearColor, 1.0f, 0);
  ++FStats.BackgroundKeeps;
  return true;
}

void TGLRenderContext::EndKeepingBackground() {
  if (!InScene()) return;
  FDevice->GL->glBindFramebuffer(GL_FRAMEBUFFER, FTargets.Fbo.Name());
}

bool TGLRenderContext::RestoreBackground(const TPixelRect& ARect) {
  if (!InScene() || !FTargets.BackgroundFbo || ARect.Empty()) return false;
  QOpenGLFunctions_3_3_Core* gl = FDevice->GL;
  const GLboolean scissor = gl->glIsEnabled(GL_SCISSOR_TEST);
  gl->glDisable(GL_SCISSOR_TEST);
  gl->glBindFramebuffer(GL_READ_FRAMEBUFFER, FTargets.BackgroundFbo.Name());
  gl->glBindFramebuffer(GL_DRAW_FRAMEBUFFER, FTargets.Fbo.Name());
  // OpenGL counts rows from the bottom.
  const int x0 = ARect.X, y0 = Height() - ARect.Y - ARect.Height;
  gl->glBlitFramebuffer(x0, y0, x0 + ARect.Width, y0 + ARect.Height, x0, y0, x0 + ARect.Width, y0 + ARect.Height,
                        GL_COLOR_BUFFER_BIT, GL_NEAREST);
  gl->glBindFramebuffer(GL_FRAMEBUFFER, FTargets.Fbo.Name());
  if (scissor) gl->glEnable(GL_SCISSOR_TEST);
  ++FStats.BackgroundRestores;
  return true;
}

void TGLRenderContext::SetScissorRect(const TPixelRect& ARect) {
  if (!InScene()) return;
  FDevice->GL->glScissor(ARect.X, Height() - ARect.Y - ARect.Height, ARect.Width, ARect.Height);
}

void TGLRenderContext::ReadFrame(TBitmap& ABitmap) {
  ABitmap.SetSize(Width(), Height());
  if (!FTargets.FrameFbo || ABitmap.IsEmpty() || !MakeCurrent()) return;
  QOpenGLFunctions_3_3_Core* gl = FDevice->GL;
  GLint read = 0;
  gl->glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &read);
  gl->glBindFramebuffer(GL_READ_FRAMEBUFFER, FTargets.FrameFbo.Name());
  gl->glPixelStorei(GL_PACK_ALIGNMENT, 4);
  gl->glPixelStorei(GL_PACK_ROW_LENGTH, 0);
  gl->glReadPixels(0, 0, Width(), Height(), GL_BGRA, GL_UNSIGNED_BYTE, ABitmap.Bits());
  gl->glBindFramebuffer(GL_READ_FRAMEBUFFER, read);
  // OpenGL gives the bottom row first; bitmaps keep the top row first.
  std::vector<std::uint32_t> row(static_cast<std::size_t>(Width()));
  for (int y = 0; y < Height() / 2; ++y) {
    std::uint32_t* a = ABitmap.Scanline(y);
    std::uint32_t* b = ABitmap.Scanline(Height() - 1 - y);
    std::memcpy(row.data(), a, row.size() * 4);
    std::memcpy(a, b, row.size() * 4);
    std::memcpy(b, row.data(), row.size() * 4);
  }
  ABitmap.BitmapChanged();
}

bool TGLRenderContext::DrawFrame(const TPixelRect& AAt, float AOpacity, const TWindowTarget& AWindow,
                                 TAlphaColor AUnderFill) {
  if (!FTargets.FrameTexture || !MakeCurrent()) return false;
  QOpenGLFunctions_3_3_Core* gl = FDevice->GL;
  GLint viewport[4];
  gl->glGetIntegerv(GL_VIEWPORT, viewport);
  gl->glViewport(AAt.X, AWindow.Height - AAt.Y - AAt.Height, AAt.Width, AAt.Height);
  gl->glDisable(GL_DEPTH_TEST);
  gl->glDisable(GL_CULL_FACE);
  FDevice->ClipTo(AWindow);
  gl->glDisable(GL_STENCIL_TEST);
  gl->glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
  // Over an opaque fill the program lays the frame on the fill itself: written without
  // blending, the window need not be cleared first, and the frame is not read back
  // under it, two passes over every pixel fewer.
  const bool overFill = (AUnderFill >> 24) == 0xFF;
  if (overFill)
    gl->glDisable(GL_BLEND);
  else
    gl->glEnable(GL_BLEND);
  gl->glBlendEquation(GL_FUNC_ADD);
  gl->glBlendFuncSeparate(GL_ONE, GL_ONE_MINUS_SRC_ALPHA, GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
  TGLDevice::Program& p = FDevice->FrameProgram();
  gl->glUseProgram(p.Id());
  gl->glUniform1f(FDevice->Location(p, "Opacity"), AOpacity);
  const TVector3D fill = ColorToVector(AUnderFill);
  if (overFill)
    gl->glUniform4f(FDevice->Location(p, "UnderFill"), fill.X, fill.Y, fill.Z, 1.0f);
  else
    gl->glUniform4f(FDevice->Location(p, "UnderFill"), 0, 0, 0, 0);
  gl->glUniform1i(FDevice->Location(p, "frame"), 0);
  gl->glActiveTexture(GL_TEXTURE0);
  gl->glBindTexture(GL_TEXTURE_2D, FTargets.FrameTexture.Name());
  gl->glBindVertexArray(FDevice->FrameVao());
  gl->glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
  // The program also lays the window's pictures, over whatever lies under them.
  gl->glUniform4f(FDevice->Location(p, "UnderFill"), 0, 0, 0, 0);
  gl->glEnable(GL_BLEND);
  gl->glBindVertexArray(0);
  gl->glUseProgram(0);
  gl->glViewport(viewport[0], viewport[1], viewport[2], viewport[3]);
  return true;
}

}  // namespace sphaerix
