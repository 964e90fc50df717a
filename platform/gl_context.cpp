#include "platform/gl_context.h"

#include <QOpenGLFunctions_3_3_Core>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/gl_device.h"
#include "platform/gl_uniforms.h"
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

TGLTexture TGLRenderContext::MakePixelTexture(QOpenGLFunctions_3_3_Core* AGL, int AWidth, int AHeight) {
  TGLTexture texture = TGLTexture::Create(AGL);
  AGL->glBindTexture(GL_TEXTURE_2D, texture.Name());
  AGL->glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, AWidth, AHeight, 0, GL_BGRA, GL_UNSIGNED_BYTE, nullptr);
  AGL->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  AGL->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  AGL->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
  AGL->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
  AGL->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
  return texture;
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
  t.FrameTexture = MakePixelTexture(gl, w, h);
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
