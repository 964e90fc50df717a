// TKeptBackground: the sky kept while the camera stands.
//
// The first node a viewport draws, when it encloses the eye and everything else the scene
// draws (the star sphere), gives the same pixels in every frame while the camera, the
// target and the node itself stand: behind a turning body it is the same picture each
// time. Once the camera has stood for two frames the target keeps a copy of that picture,
// and later frames copy it back instead of drawing the node (and instead of marking what
// the body hides of it). Anything that changes the node's picture (the camera, the
// projection, the target, the clear colour, the node's place, opacity, look or mesh, a
// node reaching outside it, a node drawing on its own) has it drawn afresh.
#pragma once

#include <cstdint>
#include <vector>

#include "scene/nodes/math3d.h"

namespace sphaerix {

class TControl3D;
class TRenderTargetContext;

class TKeptBackground {
 public:
  enum class TUse {
    None,         // no background here: every node is drawn
    Draw,         // the background is drawn
    DrawAndKeep,  // the background is drawn alone first, and the target keeps a copy
    Restore,      // the copy is put back in place of drawing the background
  };
  // What the frame about to be drawn does with the first node of ANodes (the viewport's
  // rendering list). The context's camera matrix is the frame's already. A frame told
  // DrawAndKeep draws the whole target, so that the copy is whole.
  TUse Plan(TRenderTargetContext& AContext, const std::vector<TControl3D*>& ANodes, std::uint32_t AClearColor,
            const TMatrix3D& AProjection);
  // Whether the target holds a copy now, after DrawAndKeep (or lost it, after Restore
  // failed).
  void SetKept(bool AValue) { FKept = AValue && FHaveKey; }
  // The next frame draws the background afresh, and keeps nothing before the camera has
  // stood again.
  void Forget() { FHaveKey = FKept = false; }

 private:
  // Everything the background's picture depends on.
  struct TKey {
    const TRenderTargetContext* Context = nullptr;
    int Width = 0, Height = 0;
    std::uint32_t ClearColor = 0;
    TMatrix3D View, Projection;
    const TControl3D* Node = nullptr;
    TMatrix3D Matrix;
    float Opacity = 1;
    std::uint32_t Flags = 0;
    std::uint64_t Look = 0;
    const void* Vertices = nullptr;
    std::uint64_t Revision = 0;
    bool operator==(const TKey& AOther) const;
  };
  bool FHaveKey = false;
  TKey FKey;
  bool FKept = false;
  // The background's inner sphere in world units, for FKey: every point of its faces is
  // at least FInner from FCentre.
  TPoint3D FCentre;
  float FInner = 0;
};

}  // namespace sphaerix
