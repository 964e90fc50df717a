// Fakes for scene tests: a viewport that counts frame requests and a context that
// records states, matrices and draws.
#pragma once

#include <vector>

#include "scene/view/context3d.h"
#include "scene/view/viewport3d_intf.h"

namespace sphaerix::testing {

class FakeContext : public TDrawContext {
 public:
  struct Draw {
    TMatrix3D Matrix;
    const TVertexBuffer* Vertices;
    const TIndexBuffer* Indices;
    TMaterial* Material;
    float Opacity;
  };
  void SetContextState(TRenderState AState) override { States.push_back(AState); }
  void DrawTriangles(const TVertexBuffer& AVertices, const TIndexBuffer& AIndices, TMaterial* AMaterial,
                     float AOpacity) override {
    Draws.push_back({CurrentMatrix(), &AVertices, &AIndices, AMaterial, AOpacity});
  }
  std::vector<TRenderState> States;
  std::vector<Draw> Draws;
};

class FakeViewport : public IViewport3D {
 public:
  void NeedRender() override { ++Requests; }
  TDrawContext* Context() const override { return ContextPtr; }
  void AddLight(TLight*) override {}
  void RemoveLight(TLight*) override {}
  int Requests = 0;
  TDrawContext* ContextPtr = nullptr;
};

}  // namespace sphaerix::testing
