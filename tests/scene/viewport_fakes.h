// Fakes for viewport tests: a render context that records what a frame does, its
// factory, and a window root that counts invalidations.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "scene/bitmap.h"
#include "scene/control.h"
#include "scene/viewport3d_context.h"

namespace sphaerix::testing {

class RecordingContext : public TRenderContext3D {
 public:
  struct Draw {
    TMatrix3D Model;
    TMatrix3D MVP;
    const TVertexBuffer* Vertices;
    TMaterial* Material;
    float Opacity;
    std::vector<TLightDescription> Lights;
  };
  using TRenderContext3D::TRenderContext3D;

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
  void DrawTriangles(const TVertexBuffer& AVertices, const TIndexBuffer&, TMaterial* AMaterial,
                     float AOpacity) override {
    Log.push_back("Draw");
    Draws.push_back({CurrentMatrix(), CurrentModelViewProjection(), &AVertices, AMaterial, AOpacity, Lights()});
  }

  std::vector<std::string> Log;
  std::vector<TContextState> States;
  std::vector<Draw> Draws;
  TAlphaColor ClearColor = 0;
  float ClearDepth = 0;
  std::uint32_t ClearStencil = 99;
  bool CanBegin = true;
  TAlphaColor FramePixel = 0xFF336699;

 protected:
  bool DoBeginScene() override {
    Log.push_back(CanBegin ? "BeginScene" : "BeginScene failed");
    return CanBegin;
  }
  void DoEndScene() override { Log.push_back("EndScene"); }
  void ApplyState(TContextState AState) override { States.push_back(AState); }
};

class RecordingFactory : public IContext3DFactory {
 public:
  std::unique_ptr<TRenderContext3D> CreateContext(int AWidth, int AHeight, TMultisample AMultisample) override {
    auto c = std::make_unique<RecordingContext>(AWidth, AHeight, AMultisample);
    Last = c.get();
    ++Created;
    return c;
  }
  RecordingContext* Last = nullptr;
  int Created = 0;
};

// A window as controls see it: invalidations only mark it dirty, as a window system
// does until its next paint.
class FakeRoot : public IControlRoot {
 public:
  void InvalidateRoot() override {
    ++Invalidations;
    Dirty = true;
  }
  TControl* Captured() const override { return nullptr; }
  void SetCaptured(TControl*) override {}
  TControl* Focused() const override { return nullptr; }
  void SetFocused(TControl*) override {}
  float RootScale() const override { return Scale; }
  TPointF ScreenPointer() const override { return {}; }
  void ControlDestroyed(TControl*) override {}
  int Invalidations = 0;
  bool Dirty = false;
  float Scale = 1;
};

}  // namespace sphaerix::testing
