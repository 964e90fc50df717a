// TFrameDamage: which part of a viewport's render target a new frame must draw again.
//
// The render target keeps the last frame. While only some nodes change (the body turning
// or fading under a still camera, the sky and the rig unchanged), the pixels outside
// their screen bounds, before and after the change, are the pixels a full frame would
// draw again; the frame then clears and redraws the whole scene inside a scissor
// rectangle around them, which gives the same pixels as a full frame, for a fraction of
// the work. Anything else that can move a pixel anywhere (the camera, the lights, the
// clear colour, the target, the tree, a node that draws on its own or reaches the near
// plane) asks for a full frame.
#pragma once

#include <cstdint>
#include <vector>

#include "scene/material/light.h"
#include "scene/nodes/math3d.h"

namespace sphaerix {

class TControl3D;
class TMaterial;
class TRenderTargetContext;
class TVertexBuffer;

// A hash of everything in a material that changes its pixels (none: a constant).
std::uint64_t MaterialLook(const TMaterial* AMaterial);

// A rectangle of the render target in pixels, y down from the top row.
struct TPixelRect {
  int X = 0, Y = 0, Width = 0, Height = 0;
  bool Empty() const { return Width <= 0 || Height <= 0; }
};

// The smallest rectangle holding both (an empty one adds nothing).
TPixelRect Union(const TPixelRect& A, const TPixelRect& B);
// The part of ARect inside ABounds; empty when they do not meet.
TPixelRect Intersect(const TPixelRect& ARect, const TPixelRect& ABounds);

class TFrameDamage {
 public:
  // What the frame about to be drawn looks like, compared with the frame drawn last:
  // true and ARect when only ARect needs drawing (empty: nothing changed at all),
  // false when the whole target must be drawn. Remembers this frame for the next call.
  // ANodes is the viewport's rendering list; AView and AProjection are the frame's.
  bool Partial(const TRenderTargetContext& AContext, const std::vector<TControl3D*>& ANodes,
               std::uint32_t AClearColor, const TMatrix3D& AView, const TMatrix3D& AProjection,
               const std::vector<TLightDescription>& ALights, TPixelRect& ARect);
  // How far, in pixels of the target, what is drawn would move against the frame drawn
  // last: 0 when nothing changed, the largest move of a mesh's corner when only nodes'
  // places changed, and infinity when anything else changed (the camera, the lights, a
  // material, an opacity, the tree) or no frame was drawn yet.
  float Movement(const TRenderTargetContext& AContext, const std::vector<TControl3D*>& ANodes,
                 std::uint32_t AClearColor, const TMatrix3D& AView, const TMatrix3D& AProjection,
                 const std::vector<TLightDescription>& ALights) const;
  // The next frame is drawn whole (the target's content is unknown).
  void Invalidate() { FValid = false; }

 private:
  struct TNodeState {
    const TControl3D* Node = nullptr;
    TMatrix3D Matrix;  // model matrix of its draw (wrap x absolute for a mesh)
    float Opacity = 1;
    std::uint32_t Flags = 0;
    std::uintptr_t Material = 0;
    std::uint64_t Look = 0;  // the material's colours and texture revision, hashed
    bool Drawn = false;      // draws triangles (a mesh); others only move their children
    const TVertexBuffer* Vertices = nullptr;  // a mesh's, bounding what it draws
    std::uint64_t VerticesRevision = 0;
    bool operator==(const TNodeState& AOther) const;
  };

  static void Collect(const std::vector<TControl3D*>& ANodes, std::vector<TNodeState>& AOut, bool& AOwnDrawing);
  // Screen bounds of the vertices a node draws (its triangles lie within them); false
  // when they cannot be bounded (one reaches the camera's plane, or they changed).
  bool Bounds(const TNodeState& ANode, const TMatrix3D& AViewProjection, TPixelRect& ARect) const;
  // The largest distance in pixels between a mesh's corners placed as in ABefore and as
  // in AAfter; infinity where they cannot be placed (at or behind the camera's plane).
  float CornerMove(const TNodeState& ABefore, const TNodeState& AAfter, const TMatrix3D& AViewProjection) const;
  bool SameScene(const TRenderTargetContext& AContext, std::size_t ANodeCount, bool AOwnDrawing,
                 std::uint32_t AClearColor, const TMatrix3D& AView, const TMatrix3D& AProjection,
                 const std::vector<TLightDescription>& ALights) const;

  bool FValid = false;
  const TRenderTargetContext* FContext = nullptr;
  int FWidth = 0, FHeight = 0;
  std::uint32_t FClearColor = 0;
  TMatrix3D FView, FProjection;
  std::vector<TLightDescription> FLights;
  std::vector<TNodeState> FNodes;
};

}  // namespace sphaerix
