// TGLRenderContext: one viewport's render target on the OpenGL 3.3 core device
// (gl_device.h): a multisampled colour buffer with a depth-stencil buffer, resolved on
// the GPU into a frame texture that the window's paint draws; screenshots read the
// frame texture back. The target and the draws are in gl_context.cpp; each technique
// that makes frames cheaper or smoother has a file of its own: the smoothed outline
// (gl_context_outline.cpp), the faces that cannot show (gl_context_faces.cpp), what an
// opaque sphere hides (gl_context_marks.cpp), the kept sky (gl_context_background.cpp).
//
// Coordinates: the scene's projection maps depth to 0 (near) .. 1 (far); the vertex
// programs rescale it to OpenGL's clip range so the depth buffer holds the same values.
// Front faces are the triangles whose corners run clockwise on the screen; OpenGL's
// window frame shows the same picture as the scene's pixel frame (only its y counts
// from the bottom), so they are OpenGL's GL_CW faces.
#pragma once

#include <memory>
#include <vector>
#include <string>

#include "platform/gl_device.h"
#include "platform/gl_objects.h"
#include "scene/nodes/object.h"
#include "scene/view/viewport3d_context.h"

namespace sphaerix {

class TViewport3D;

class TGLRenderContext : public TRenderTargetContext {
 public:
  // ADevices (not owned) outlives the context: the window whose frames show it.
  TGLRenderContext(IGLDeviceSource& ADevices, int AWidth, int AHeight, TMultisample AMultisample);
  ~TGLRenderContext() override;

  void Clear(TAlphaColor AColor, float ADepth, std::uint32_t AStencil) override;
  void CopyToFrame() override;
  void CopyToFrame(const TPixelRect& ARect) override;
  bool KeepsLastFrame() const override { return !FFreshTargets; }
  void SetScissorRect(const TPixelRect& ARect) override;
  // With one sample a pixel, the sky is kept in a texture of its own.
  bool CanKeepBackground() const override { return FSamples == 1; }
  bool BeginKeepingBackground(TAlphaColor AClearColor) override;
  void EndKeepingBackground() override;
  bool RestoreBackground(const TPixelRect& ARect) override;
  void ReadFrame(TBitmap& ABitmap) override;
  void DrawTriangles(const TVertexBuffer& AVertices, const TIndexBuffer& AIndices, TMaterial* AMaterial,
                     float AOpacity) override;
  void DrawSphereTriangles(TCustomMesh& ASphere, const TVertexBuffer& AVertices, const TIndexBuffer& AIndices,
                           TMaterial* AMaterial, float AOpacity, int AAxes, int AHeights) override;
  void MarkSphereHides(const TVertexBuffer& AVertices, const TIndexBuffer& AIndices) override;
  void DrawFacePairs(const TVertexBuffer& AVertices, const TIndexBuffer& AIndices, TMaterial* AMaterial,
                     float AOpacity) override;

  // Draws the frame texture into the window's framebuffer, bound now.
  bool DrawFrame(const TPixelRect& AAt, float AOpacity, const TWindowTarget& AWindow,
                 TAlphaColor AUnderFill) override;

  // Samples per pixel the target got (after falling back from what was asked); 0
  // before the first scene.
  int SampleCount() const { return FSamples; }
  // Whether opaque spheres mark what they hide before the scene (on by default). For
  // comparing pictures.
  void SetMarkHidden(bool AValue) { FMarkHidden = AValue; }
  // Whether a smoothed sphere's faces inside its outline are shaded without measuring
  // their cover (on by default). For comparing pictures.
  void SetSplitAtOutline(bool AValue) { FSplitAtOutline = AValue; }
  // Whether a mesh drawn with nothing culled skips the draw of the faces it cannot show
  // now (on by default). For comparing pictures.
  void SetSkipUnseenFaces(bool AValue) { FSkipUnseenFaces = AValue; }
  // Whether a round picture with mip levels is filtered along its radius by the program
  // instead of by anisotropic sampling (on by default). For comparing pictures.
  void SetRadialFilter(bool AValue) { FRadialFilter = AValue; }
  // How often each saving took effect since the context was made.
  struct TStats {
    unsigned long long HiddenMarks = 0;       // opaque spheres that marked what they hide
    unsigned long long SplitSpheres = 0;      // smoothed spheres drawn split at their outline
    unsigned long long SkippedFaceDraws = 0;  // draws of faces that could not show, skipped
    unsigned long long RadialDraws = 0;       // round pictures filtered along their radius
    unsigned long long HeldDraws = 0;         // pictures laid over an outline after it
    unsigned long long BackgroundKeeps = 0;   // copies of the sky kept
    unsigned long long BackgroundRestores = 0;  // frames that put the kept sky back
  };
  const TStats& Stats() const { return FStats; }
  unsigned FrameTexture() const { return FTargets.FrameTexture.Name(); }

 protected:
  bool DoBeginScene() override;
  void DoEndScene() override;
  void ApplyState(TRenderState AState) override;
  void MultisampleChanged() override;
  void DrawDeferred() override;

 private:
  // A colour target of AWidth x AHeight with its one level, read back pixel for pixel.
  static TGLTexture MakePixelTexture(QOpenGLFunctions_3_3_Core* AGL, int AWidth, int AHeight);
  bool MakeCurrent();
  bool EnsureTargets();
  void ReleaseTargets();
  void AbandonTargets();
  void DrawLightMaterial(const class TLightMaterial& AMaterial, float AOpacity);
  void DrawTextureMaterial(const class TTexture* ATexture, float AOpacity);
  void SetShapeUniforms(TGLDevice::Program& AProgram);
  // Binds ATexture's map to the programs' map unit, with the sampler that fits it.
  // ARadial: the program filters a round picture along its radius itself.
  void BindMap(TGLDevice::Program& AProgram, const class TTexture* ATexture, bool ARadial = false);
  // The same for a texture object: ALevels, whether it has mip levels.
  void BindMapObject(TGLDevice::Program& AProgram, unsigned AMap, bool ALevels, bool ARadial);
  // The sphere of radius 0.5 round the origin of the current matrix, on the target:
  // Pixels is its radius there, 0 when it is not round, is too small, or reaches the eye.
  struct TSphereOnScreen {
    TPoint3D Centre;
    float Radius = 0;  // world units
    float Distance = 0;
    float Pixels = 0;
    float X = 0, Y = 0;  // its centre on the target, pixels from the top left
  };
  TSphereOnScreen SphereOnScreen();
  // The sphere being drawn, when its outline is smoothed in the pixel program.
  struct TOutline {
    TPoint3D Centre;
    float Radius = 0;  // 0: no outline to smooth
    float Push = 0;    // how far the corners along it are pushed out (world units a unit away)
    TPixelRect Box;    // on the target, with the pixels its smoothing reaches
  };
  TOutline FOutline;
  // 0 none, 1 the whole pixels, 2 the outline's, 3 faces wholly inside the outline
  int FOutlinePass = 0;
  // The sphere's triangles that lie wholly inside its outline, seen from the eye now,
  // and the others: the first are shaded without measuring their cover.
  void SplitAtOutline(const TVertexBuffer& AVertices, const TIndexBuffer& AIndices, float APixels);
  // Which way all the faces turn on the screen now, as the rasteriser will find them;
  // fMixed when some turn each way or one is too close to edge-on to tell.
  enum class TFacing { fMixed, fAllFront, fAllBack };
  TFacing FacingOfAll(const TVertexBuffer& AVertices, const TIndexBuffer& AIndices);
  bool FSkipUnseenFaces = true;
  bool FRadialFilter = true;
  TStats FStats;
  TIndexBuffer FInsideIndices, FRimIndices;
  bool FSplitAtOutline = true;
  // The smoothed spheres of the scene, whose outline pixels are drawn at its end.
  // Each is taken from the sphere as it is at the end, if it is still there: a handler
  // run while drawing may have changed or destroyed it.
  struct TOutlineDraw {
    TCustomMesh* Sphere;
    std::unique_ptr<TObjectWatch> Watch;
    TOutline Outline;
    bool AllFaces;
    // The faces along the rim, as split for the sphere's vertices and matrix then.
    std::vector<std::uint32_t> Rim;
    const TVertexBuffer* Vertices = nullptr;
    std::uint64_t VerticesRevision = 0;
    TMatrix3D Matrix;
  };
  std::vector<TOutlineDraw> FOutlineDraws;
  TIndexBuffer FDeferredIndices;
  // A picture drawn after a smoothed sphere, over the pixels its outline covers in part
  // and in front of it there: those pixels of the picture are held back and laid after
  // the outline, which would otherwise end up under a translucent picture (a ring) and
  // show there as a step. The draw is kept as it was made, its buffers copied.
  struct THeldDraw {
    TVertexBuffer Vertices;
    TIndexBuffer Indices;
    TMatrix3D Matrix;
    float Opacity = 1;
    unsigned Map = 0;  // the picture's texture, which lives at least until the next scene
    bool Levels = false, Radial = false;
    bool AllFaces = false, TwoLayers = false;
    bool CullFace = false, DepthTest = true, DepthWrite = true;
    int CullMode = 0;
    TOutline Hold;  // the outline it was held back from
  };
  std::vector<THeldDraw> FHeldDraws;
  std::size_t FHeldCount = 0;
  // The texture draw being made holds back its pixels in front of an outline (set by
  // DrawTextureMaterial for DrawTriangles), or is a held draw laid again.
  bool FHolding = false;
  const THeldDraw* FReplaying = nullptr;
  THeldDraw FHoldingMap;
  void LayHeldDraws();
  bool FAllFaces = false;  // nothing culled (csAllFace)
  // The face drawn stands for two of the same picture laid over each other.
  bool FTwoLayers = false;
  bool FMarkHidden = true;
  // Set by the first frame drawn in part (the scene still, the body turning): the
  // programs that make such frames cheaper are built from then on, not before the first
  // frame on screen, which they would delay.
  bool FFramesInPart = false;

  IGLDeviceSource& FDevices;
  std::shared_ptr<TGLDevice> FDevice;
  struct TTargets {
    TGLFramebuffer Fbo;
    TGLRenderbuffer ColorBuffer, DepthBuffer;
    TGLFramebuffer FrameFbo;  // the frame texture as a framebuffer, to resolve into
    TGLTexture FrameTexture;
    TGLFramebuffer BackgroundFbo;  // the sky kept while the camera stands
    TGLTexture BackgroundTexture;
  };
  TTargets FTargets;
  int FSamples = 0;
  bool FFreshTargets = true;  // made since the last scene: they hold no frame yet
  int FPreviousFbo = 0;
  int FPreviousViewport[4] = {0, 0, 0, 0};
};

}  // namespace sphaerix
