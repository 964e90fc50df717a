// Mesh shapes: TMeshData (vertex and index buffers with a lazy bounding box), TShape3D
// (material source and wrap mode), TCustomMesh (owns and draws one TMeshData) and the
// two primitives of the viewer, TSphere and TDisk.
//
// Meshes are built in their own unit frame (sphere of radius 1/2, disk of radius 1/2 in
// the plane y = 0); at draw time the wrap matrix maps the mesh's bounding box onto the
// node's Width x Height x Depth box, and the node's AbsoluteMatrix follows.
#pragma once

#include <cstdint>
#include <functional>

#include "scene/nodes/control3d.h"
#include "scene/material/material_source.h"
#include "scene/mesh/mesh_buffers.h"

namespace sphaerix {

struct TBoundingBox {
  float Left = 0, Top = 0, Near = 0;     // minimum x, y, z
  float Right = 0, Bottom = 0, Far = 0;  // maximum x, y, z

  TPoint3D Min() const { return {Left, Top, Near}; }
  TPoint3D Max() const { return {Right, Bottom, Far}; }
  TPoint3D Size() const { return {Right - Left, Bottom - Top, Far - Near}; }
  TPoint3D Center() const { return {(Left + Right) / 2, (Top + Bottom) / 2, (Near + Far) / 2}; }
};

class TMeshData {
 public:
  const TVertexBuffer& VertexBuffer() const { return FVertexBuffer; }
  const TIndexBuffer& IndexBuffer() const { return FIndexBuffer; }
  // For editing in place; call Changed() afterwards.
  TVertexBuffer& VertexBuffer() { return FVertexBuffer; }
  TIndexBuffer& IndexBuffer() { return FIndexBuffer; }

  // Replaces the whole content at once.
  void Assign(TVertexBuffer&& AVertices, TIndexBuffer&& AIndices);
  // The content changed: the bounding box goes stale, the buffers get new revisions,
  // OnChange runs.
  void Changed();

  // Minimum and maximum over every vertex in the buffer, used by a triangle or not;
  // all zero for an empty mesh. Recomputed on the first read after a change.
  TBoundingBox GetBoundingBox() const;

  std::function<void()> OnChange;

 private:
  TVertexBuffer FVertexBuffer;
  TIndexBuffer FIndexBuffer;
  mutable TBoundingBox FBoundingBox;
  mutable bool FBoundingBoxValid = false;
};

// The sphere and disk meshes exactly as the shapes build them.
void BuildSphereMesh(TMeshData& AData, int ASubdivisionsAxes, int ASubdivisionsHeight);
void BuildDiskMesh(TMeshData& AData, int ASubdivisionsAxes, int ASubdivisionsCap);

enum class TMeshWrapMode { Original, Fit, Stretch, Resize };

// The matrix that maps a mesh with bounding box ABox onto a node box of size ASize
// (Width, Height, Depth), centred on the node's origin. Original scales by the size,
// Fit keeps the proportions, Stretch fills the box (a flat axis only moved), Resize
// leaves the mesh as it is.
TMatrix3D MeshWrapMatrix(TMeshWrapMode AMode, const TBoundingBox& ABox, const TPoint3D& ASize);

class TShape3D : public TControl3D {
 public:
  explicit TShape3D(TSceneObject* AOwner = nullptr);
  ~TShape3D() override;

  // Not owned; becomes empty when the source is destroyed. A change of the source's
  // material repaints the shape; assigning another source does not.
  TMaterialSource* MaterialSource() const { return FMaterialSource; }
  void SetMaterialSource(TMaterialSource* ASource);

  TMeshWrapMode WrapMode() const { return FWrapMode; }
  void SetWrapMode(TMeshWrapMode AValue);

  std::uintptr_t MaterialKey() const override;

 protected:
  void FreeNotification(TSceneObject* AObject) override;

 private:
  TMaterialSource* FMaterialSource = nullptr;
  TMeshWrapMode FWrapMode = TMeshWrapMode::Stretch;
};

class TCustomMesh : public TShape3D {
 public:
  explicit TCustomMesh(TSceneObject* AOwner = nullptr);

  const TMeshData& Data() const { return FData; }
  TMeshData& Data() { return FData; }

  // Wrap matrix of the current WrapMode, box and size; the context matrix of a draw is
  // WrapMatrix() x AbsoluteMatrix().
  TMatrix3D WrapMatrix() const;
  // The matrix its triangles are drawn with: WrapMatrix() x AbsoluteMatrix(), unless a
  // mesh knows another that gives the very same picture (see TDisk).
  virtual TMatrix3D DrawMatrix() const { return WrapMatrix() * AbsoluteMatrix(); }

 protected:
  void Render(TDrawContext* AContext) override;

 private:
  TMeshData FData;
};

class TSphere : public TCustomMesh {
 public:
  explicit TSphere(TSceneObject* AOwner = nullptr);

  // Longitude segments, clamped to [3, 50].
  int SubdivisionsAxes() const { return FSubdivisionsAxes; }
  void SetSubdivisionsAxes(int AValue);
  // Latitude bands, clamped to [2, 50].
  int SubdivisionsHeight() const { return FSubdivisionsHeight; }
  void SetSubdivisionsHeight(int AValue);

  // Marks, before a scene, the pixels this sphere will cover opaque, so that the context
  // need not shade what it hides: nothing when it draws anything translucent.
  void MarkHiddenBehind(TDrawContext* AContext);

 protected:
  void Render(TDrawContext* AContext) override;

 private:
  void RebuildMesh();

  int FSubdivisionsAxes = 16;
  int FSubdivisionsHeight = 12;
};

class TDisk : public TCustomMesh {
 public:
  explicit TDisk(TSceneObject* AOwner = nullptr);

  // Angular segments, at least 3; no upper bound but what 32-bit counts can hold
  // (std::length_error beyond, the old value kept).
  int SubdivisionsAxes() const { return FSubdivisionsAxes; }
  void SetSubdivisionsAxes(int AValue);
  // Concentric rings, at least 1; the same limit.
  int SubdivisionsCap() const { return FSubdivisionsCap; }
  void SetSubdivisionsCap(int AValue);

  // The disk is flat: every assignment stores 0.001, whatever it carries.
  void SetHeight(float AValue) override;
  void SetSize(float AWidth, float AHeight, float ADepth) override;

  // Mapped with a round picture that is clear before the disk's edge, the disk looks the
  // same however it is turned about its axis: it is drawn turned one fixed way, so that a
  // turn (a ring turning with its body) changes no pixel and asks for no frame.
  TMatrix3D DrawMatrix() const override;

 protected:
  // Its two faces lie on each other: said so, a context can lay them in one draw.
  void Render(TDrawContext* AContext) override;

 private:
  void RebuildMesh();

  int FSubdivisionsAxes = 16;
  int FSubdivisionsCap = 1;
};

}  // namespace sphaerix
