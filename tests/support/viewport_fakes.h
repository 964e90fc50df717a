// Fakes for viewport tests: a render context that records what a frame does, a renderer
// that makes such contexts, and the viewer's scene tree for tests and benchmarks that
// drive it without the main window.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "scene/material/bitmap.h"
#include "scene/view/camera.h"
#include "scene/input/control.h"
#include "scene/nodes/control3d.h"
#include "scene/material/light.h"
#include "scene/material/material_source.h"
#include "scene/mesh/mesh.h"
#include "scene/view/viewport3d.h"
#include "scene/view/viewport3d_context.h"

namespace sphaerix::testing {

class RecordingContext : public TRenderTargetContext {
 public:
  struct Draw {
    TMatrix3D Model;
    TMatrix3D MVP;
    const TVertexBuffer* Vertices;
    TMaterial* Material;
    float Opacity;
    std::vector<TLightDescription> Lights;
  };
  using TRenderTargetContext::TRenderTargetContext;

  void Clear(TAlphaColor AColor, float ADepth, std::uint32_t AStencil) override {
    Log.push_back("Clear");
    ClearColor = AColor;
    ClearDepth = ADepth;
    ClearStencil = AStencil;
  }
  void CopyToFrame() override { Log.push_back("CopyToFrame"); }
  void ReadFrame(TBitmap& ABitmap) override {
    ABitmap.SetSize(Width(), Height());
    for (int y = 0; y < Height(); ++y)
      for (int x = 0; x < Width(); ++x) ABitmap.SetPixel(x, y, x < Width() / 2 ? FramePixel : claNull);
  }
  // A target that keeps the sky when Keeps is set.
  bool CanKeepBackground() const override { return Keeps; }
  bool BeginKeepingBackground(TAlphaColor) override {
    Log.push_back("KeepBackground");
    Kept = Keeps;
    return Keeps;
  }
  bool RestoreBackground(const TPixelRect&) override {
    Log.push_back("RestoreBackground");
    return Kept;
  }
  bool DrawFrame(const TPixelRect&, float, const TWindowTarget&, TAlphaColor) override {
    Log.push_back("DrawFrame");
    return true;
  }
  void MarkSphereHides(const TVertexBuffer& AVertices, const TIndexBuffer&) override {
    Marks.push_back({&AVertices, Draws.size()});
  }
  void DrawTriangles(const TVertexBuffer& AVertices, const TIndexBuffer&, TMaterial* AMaterial,
                     float AOpacity) override {
    Log.push_back("Draw");
    Draws.push_back({CurrentMatrix(), CurrentModelViewProjection(), &AVertices, AMaterial, AOpacity, Lights()});
  }

  std::vector<std::string> Log;
  std::vector<TRenderState> States;
  std::vector<Draw> Draws;
  struct Mark {
    const TVertexBuffer* Vertices;
    std::size_t DrawsBefore;
  };
  std::vector<Mark> Marks;
  TAlphaColor ClearColor = 0;
  float ClearDepth = 0;
  std::uint32_t ClearStencil = 99;
  bool CanBegin = true;
  bool Keeps = false, Kept = false;
  TAlphaColor FramePixel = 0xFF336699;

 protected:
  bool DoBeginScene() override {
    Log.push_back(CanBegin ? "BeginScene" : "BeginScene failed");
    return CanBegin;
  }
  void DoEndScene() override { Log.push_back("EndScene"); }
  void ApplyState(TRenderState AState) override { States.push_back(AState); }
};

// Makes recording contexts; a window paint draws a frame, and a screenshot's 2D children
// are only counted (no 2D painter here).
class RecordingRenderer : public IViewportRenderer {
 public:
  std::unique_ptr<TRenderTargetContext> CreateContext(int AWidth, int AHeight, TMultisample AMultisample) override {
    auto c = std::make_unique<RecordingContext>(AWidth, AHeight, AMultisample);
    Last = c.get();
    ++Created;
    return c;
  }
  void PaintFrame(TViewport3D& AViewport, TCanvas2D&) override { AViewport.RenderFrame(); }
  void PaintChildren(TViewport3D&, TBitmap&, float AScale) override { ChildrenScales.push_back(AScale); }
  RecordingContext* Last = nullptr;
  int Created = 0;
  std::vector<float> ChildrenScales;
};

// The viewer's 3D tree in the layout's order: the viewport holds Sphere1 (with Disk1),
// Dummy1 (with Camera1 and Light1), an optional 2D label and Sphere2; Camera1 sits at
// (0, 0, -15) looking at Sphere1. Sizes, materials and textures are each user's own.
struct TViewerTree {
  explicit TViewerTree(IViewportRenderer& ARenderer) : viewport(new TViewport3D(&owner, &ARenderer)) {}

  TSceneObject owner;
  TViewport3D* viewport;
  TSphere* sphere1 = new TSphere(&owner);
  TDisk* disk1 = new TDisk(&owner);
  TDummy* dummy1 = new TDummy(&owner);
  TCamera* camera1 = new TCamera(&owner);
  TLight* light1 = new TLight(&owner);
  TSphere* sphere2 = new TSphere(&owner);
  TLightMaterialSource* planet = new TLightMaterialSource(&owner);
  TTextureMaterialSource* stars = new TTextureMaterialSource(&owner);
  TTextureMaterialSource* ring = new TTextureMaterialSource(&owner);

  void BuildTree(IControlRoot& ARoot, TControl* ALabel = nullptr) {
    viewport->SetRoot(&ARoot);
    viewport->SetColor(claNull);
    viewport->AddObject(sphere1);
    sphere1->AddObject(disk1);
    viewport->AddObject(dummy1);
    dummy1->AddObject(camera1);
    dummy1->AddObject(light1);
    if (ALabel) viewport->AddObject(ALabel);
    viewport->AddObject(sphere2);
    camera1->Position().SetPoint({0, 0, -15});
    camera1->SetTarget(sphere1);
    viewport->SetCamera(camera1);
    viewport->SetUsingDesignCamera(false);
  }
};

}  // namespace sphaerix::testing
