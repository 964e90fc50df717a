// The drawing context as the scene nodes see it: the current model and view matrices,
// the render states and indexed triangle lists. The OpenGL implementation lives in
// platform/; tests record the calls with a fake.
#pragma once

#include "scene/nodes/math3d.h"
#include "scene/mesh/mesh_buffers.h"

namespace sphaerix {

class TMaterial;
class TCustomMesh;

enum class TRenderState {
  cs2DScene,
  cs3DScene,
  csZTestOn,
  csZTestOff,
  csZWriteOn,
  csZWriteOff,
  csAlphaBlendOn,
  csAlphaBlendOff,
  csAllFace,    // nothing culled
  csFrontFace,  // back faces culled
  csBackFace,   // front faces culled
  csScissorOn,
  csScissorOff,
};

class TDrawContext {
 public:
  virtual ~TDrawContext() = default;

  // Model matrix (node to world) of the next draw.
  const TMatrix3D& CurrentMatrix() const { return FCurrentMatrix; }
  virtual void SetMatrix(const TMatrix3D& AMatrix) { FCurrentMatrix = AMatrix; }

  // View matrix (world to camera) of the frame in progress, with its inverse.
  const TMatrix3D& CurrentCameraMatrix() const { return FCurrentCameraMatrix; }
  const TMatrix3D& CurrentCameraInvMatrix() const { return FCurrentCameraInvMatrix; }
  virtual void SetCameraMatrix(const TMatrix3D& AMatrix) {
    FCurrentCameraMatrix = AMatrix;
    FCurrentCameraInvMatrix = AMatrix.Inverse();
  }

  virtual void SetContextState(TRenderState AState) = 0;
  // Draws AIndices as a triangle list of AVertices with AMaterial (may be null: the
  // context's choice of a plain material), the material seeing AOpacity.
  virtual void DrawTriangles(const TVertexBuffer& AVertices, const TIndexBuffer& AIndices,
                             TMaterial* AMaterial, float AOpacity) = 0;
  // The triangles of a flat mesh made of two faces lying on each other, one turned each
  // way, each triangle of one with its twin in the other (a disk). With nothing culled,
  // both are laid over each other; a context that can lay the face toward the eye twice
  // in one draw does so, any other draws them as plain triangles.
  virtual void DrawFacePairs(const TVertexBuffer& AVertices, const TIndexBuffer& AIndices, TMaterial* AMaterial,
                             float AOpacity) {
    DrawTriangles(AVertices, AIndices, AMaterial, AOpacity);
  }
  // ASphere's triangles with the current matrix (as DrawSphereTriangles takes them) draw
  // opaque pixels inside its outline: whatever lies behind its centre there is hidden. A
  // context may mark those pixels before the scene is drawn, so that nothing hidden
  // behind the sphere is shaded; any other does nothing.
  virtual void MarkSphereHides(const TVertexBuffer& AVertices, const TIndexBuffer& AIndices) {
    (void)AVertices;
    (void)AIndices;
  }
  // The triangles of ASphere, a sphere built round the model origin with radius 0.5,
  // AAxes segments round and AHeights bands high. A context that can smooth the
  // sphere's outline itself does so (it may draw the outline's pixels later in the
  // scene, from ASphere as it then is); any other draws them as plain triangles.
  virtual void DrawSphereTriangles(TCustomMesh& ASphere, const TVertexBuffer& AVertices,
                                   const TIndexBuffer& AIndices, TMaterial* AMaterial, float AOpacity, int AAxes,
                                   int AHeights) {
    (void)ASphere;
    (void)AAxes;
    (void)AHeights;
    DrawTriangles(AVertices, AIndices, AMaterial, AOpacity);
  }

 private:
  TMatrix3D FCurrentMatrix;
  TMatrix3D FCurrentCameraMatrix;
  TMatrix3D FCurrentCameraInvMatrix;
};

}  // namespace sphaerix
