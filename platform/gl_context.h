// The OpenGL 3.3 core device behind the scene layer's render context.
//
// TGLDevice holds what one QOpenGLContext shares between viewports: the programs, the
// vertex and index buffers of the meshes (uploaded once per content revision) and the
// textures of the materials (uploaded once per bitmap change). TGLRenderContext is one
// viewport's render target: a multisampled colour buffer with a depth-stencil buffer,
// resolved on the GPU into a frame texture that the window's paint draws; screenshots
// read the frame texture back.
//
// Coordinates: the scene's projection maps depth to 0 (near) .. 1 (far); the vertex
// programs rescale it to OpenGL's clip range so the depth buffer holds the same values.
// Front faces are the triangles whose corners run clockwise on the screen; OpenGL's
// window frame shows the same picture as the scene's pixel frame (only its y counts
// from the bottom), so they are OpenGL's GL_CW faces.
#pragma once

#include <QSurfaceFormat>
#include <memory>
#include <string>

#include "scene/viewport3d_context.h"

class QOpenGLContext;
class QPainter;
class QSurface;

namespace sphaerix {

class TGLDevice;
class TViewport3D;

// The surface format every window and test context asks for: OpenGL 3.3 core.
QSurfaceFormat GLSurfaceFormat();

// True when an OpenGL 3.3 core context can be created and made current; otherwise
// false with the reason in AWhy. Needs a QGuiApplication.
bool CheckOpenGL33(std::string& AWhy);

class TGLRenderContext : public TRenderTargetContext {
 public:
  TGLRenderContext(int AWidth, int AHeight, TMultisample AMultisample);
  ~TGLRenderContext() override;

  void Clear(TAlphaColor AColor, float ADepth, std::uint32_t AStencil) override;
  void CopyToFrame() override;
  void ReadFrame(TBitmap& ABitmap) override;
  void DrawTriangles(const TVertexBuffer& AVertices, const TIndexBuffer& AIndices, TMaterial* AMaterial,
                     float AOpacity) override;

  // Draws the frame texture into the framebuffer bound now, into the rectangle of
  // ARect (physical pixels, y down from the top of a framebuffer AFramebufferHeight
  // high), at AOpacity, premultiplied over what is there.
  void DrawFrame(int AX, int AY, int AWidth, int AHeight, int AFramebufferHeight, float AOpacity);

  // Samples per pixel the target got (after falling back from what was asked); 0
  // before the first scene.
  int SampleCount() const { return FSamples; }
  unsigned FrameTexture() const { return FFrameTexture; }

 protected:
  bool DoBeginScene() override;
  void DoEndScene() override;
  void ApplyState(TRenderState AState) override;
  void MultisampleChanged() override;

 private:
  bool MakeCurrent();
  bool EnsureTargets();
  void ReleaseTargets();
  void DrawLightMaterial(const class TLightMaterial& AMaterial, float AOpacity);
  void DrawTextureMaterial(const class TTexture* ATexture, float AOpacity);

  std::shared_ptr<TGLDevice> FDevice;
  QOpenGLContext* FGLContext = nullptr;
  QSurface* FSurface = nullptr;
  unsigned FFbo = 0, FColorBuffer = 0, FDepthBuffer = 0;
  unsigned FFrameFbo = 0, FFrameTexture = 0;
  int FSamples = 0;
  int FPreviousFbo = 0;
  int FPreviousViewport[4] = {0, 0, 0, 0};
};

// Makes TGLRenderContext for viewports.
class TGLContextFactory : public IRenderContextFactory {
 public:
  std::unique_ptr<TRenderTargetContext> CreateContext(int AWidth, int AHeight, TMultisample AMultisample) override;
};

}  // namespace sphaerix
