// TControl3D: a node of the 3D scene with its position, scale, orientation, size box,
// visibility and opacity relative to its parent, and the cached node-to-world matrix and
// opacity. TDummy groups and turns its children and draws nothing.
//
// The orientation is not built from three Euler angles: every change of a RotationAngle
// component turns the accumulated quaternion FQuaternion by the difference, about the
// node's own (already turned) axis, so the result depends on the order of the writes.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "scene/view/context3d.h"
#include "scene/nodes/math3d.h"
#include "scene/nodes/object.h"
#include "scene/nodes/position3d.h"
#include "scene/view/viewport3d_intf.h"

namespace sphaerix {

enum class TProjection { Camera, Screen };

class TControl3D;

// Angle reduction into [0, 360) of a value in degrees, in extended precision:
// a - Int(a * k) * 360 with k = 1/360 held as a 32-bit float, plus 360 when negative.
long double NormalizeAngle(long double ADegrees);

// Drawing order of two nodes of a rendering list: negative when ALeft comes first.
int RenderingCompare(TControl3D* ALeft, TControl3D* ARight);
// Sorts a rendering list in place with RenderingCompare. The quicksort is not stable:
// runs of nodes that compare equal come out in an order the algorithm fixes (three or
// four equal nodes come out reversed), and the viewer's draw order relies on exactly that.
void SortRenderingList(std::vector<TControl3D*>& AList);
// Draws the visible nodes of a rendering list in its order (RenderInternal of each).
// AList is the live list: a node that a handler removes or destroys meanwhile is skipped.
void RenderNodes(const std::vector<TControl3D*>& AList, TDrawContext* AContext);

class TControl3D : public TSceneObject {
 public:
  using TRenderEvent = std::function<void(TSceneObject* Sender, TDrawContext* Context)>;

  explicit TControl3D(TSceneObject* AOwner = nullptr);
  ~TControl3D() override;

  bool IsControl() const override { return true; }

  // Owned transform triples; writing their components runs the node's handlers.
  TPosition3D& Position() { return *FPosition; }
  TPosition3D& Scale() { return *FScale; }
  TPosition3D& RotationAngle() { return *FRotationAngle; }
  TPosition3D& RotationCenter() { return *FRotationCenter; }
  const TPosition3D& Position() const { return *FPosition; }
  const TPosition3D& Scale() const { return *FScale; }
  const TPosition3D& RotationAngle() const { return *FRotationAngle; }
  const TPosition3D& RotationCenter() const { return *FRotationCenter; }

  const TQuaternion3D& Quaternion() const { return FQuaternion; }
  const TPoint3D& SavedRotationAngle() const { return FSavedRotationAngle; }

  float Width() const { return FWidth; }
  float Height() const { return FHeight; }
  float Depth() const { return FDepth; }
  virtual void SetWidth(float AValue);
  virtual void SetHeight(float AValue);
  virtual void SetDepth(float AValue);
  virtual void SetSize(float AWidth, float AHeight, float ADepth);

  bool Visible() const override { return FVisible; }
  virtual void SetVisible(bool AValue);
  bool HitTest() const { return FHitTest; }
  void SetHitTest(bool AValue) { FHitTest = AValue; }
  float Opacity() const { return FOpacity; }
  // Clamped into [0, 1]; not a number becomes 0.
  void SetOpacity(float AValue);
  bool ZWrite() const { return FZWrite; }
  void SetZWrite(bool AValue);
  bool TwoSide() const { return FTwoSide; }
  void SetTwoSide(bool AValue) { FTwoSide = AValue; }
  TProjection Projection() const { return FProjection; }
  virtual void SetProjection(TProjection AValue);
  bool Opaque() const { return FOpaque; }
  void SetOpaque(bool AValue);

  const TMatrix3D& LocalMatrix() const { return FLocalMatrix; }
  // Node to world, recomputed from the root down when stale. A parent that is not a 3D
  // node (the viewport) contributes nothing.
  virtual TMatrix3D AbsoluteMatrix() const;
  TMatrix3D InvertAbsoluteMatrix() const;
  // The product of the opacities up the 3D ancestry.
  virtual float AbsoluteOpacity() const;

  // Rows of AbsoluteMatrix with their W: the node's x, y, z axes and origin in world
  // terms, scaled, not normalised.
  TVector3D AbsoluteLeft() const { return AbsoluteMatrix().Row(0); }
  TVector3D AbsoluteUp() const { return AbsoluteMatrix().Row(1); }
  TVector3D AbsoluteDirection() const { return AbsoluteMatrix().Row(2); }
  TVector3D AbsolutePosition() const { return AbsoluteMatrix().Row(3); }

  virtual TPoint3D LocalToAbsolute3D(const TPoint3D& APoint) const;
  virtual TPoint3D AbsoluteToLocal3D(const TPoint3D& APoint) const;
  virtual TVector3D LocalToAbsoluteVector(const TVector3D& AVector) const;
  virtual TVector3D AbsoluteToLocalVector(const TVector3D& AVector) const;
  // Directions (W = 0), returned normalised with W = 0.
  TVector3D LocalToAbsoluteDirection(const TVector3D& AVector) const;
  TVector3D AbsoluteToLocalDirection(const TVector3D& AVector) const;

  // Mark the cache stale here and in every 3D descendant.
  virtual void InvalidateAbsolute();
  virtual void InvalidateOpacity();

  virtual void RebuildLocalMatrix();
  // Identity orientation, angles and saved angles (0, 0, 0) without events.
  void ResetRotationAngle();

  // Ask the viewport for a new frame: only when visible, in a viewport, not being
  // destroyed and not inside BeginUpdate.
  void Repaint();
  void BeginUpdate();
  void EndUpdate();
  bool IsUpdating() const { return FUpdating > 0; }

  // Layout loading: size changes ask for no frame until Loaded, which builds the local
  // matrix once.
  void BeginLoading() { FLoading = true; }
  bool Loading() const { return FLoading; }
  virtual void Loaded();

  IViewport3D* Viewport() const { return FViewport; }
  // Stores the viewport here and in every 3D descendant.
  virtual void SetNewViewport(IViewport3D* AViewport);
  TDrawContext* Context() const { return FViewport ? FViewport->Context() : nullptr; }

  // Drawing order of the direct 3D children.
  const std::vector<TControl3D*>& RenderingList() const { return FRenderingList; }
  void RebuildRenderingList();

  // Draws this node and, in rendering-list order, its visible descendants: model
  // matrix, states, the render step, OnRender, then the children.
  void RenderInternal(TDrawContext* AContext);
  // Identity of the material this node draws with, for sorting; 0 for none.
  virtual std::uintptr_t MaterialKey() const { return 0; }
  // Pointer hit test along a ray in the node's frame; a plain node is never hit.
  virtual bool RayCastIntersect(const TPoint3D& RayPos, const TPoint3D& RayDir, TPoint3D& Intersection) {
    return false;
  }

  TRenderEvent OnRender;

 protected:
  // The render step; a plain node draws nothing.
  virtual void Render(TDrawContext* AContext) {}
  // Width, Height or Depth changed.
  virtual void Resize3D() {}
  // RotationAngle handlers: the whole point, and one axis.
  virtual void RotationAngleChanged(TSceneObject* Sender);
  virtual void RotationAngleXChanged(TSceneObject* Sender);
  virtual void RotationAngleYChanged(TSceneObject* Sender);
  virtual void RotationAngleZChanged(TSceneObject* Sender);

  void DoAddObject(TSceneObject* AObject) override;
  void DoRemoveObject(TSceneObject* AObject) override;

  bool NodeDestroying() const { return FNodeDestroying || IsDestroying(); }

 private:
  void RegisterProperties();
  // Turns FQuaternion by the reduced difference of one axis; false when it is 0.
  bool TurnAxis(int AAxis, float ARawValue);
  void RotationAngleAxisChanged(int AAxis);
  void UpdateAbsolute() const;

  TPosition3D* FPosition;
  TPosition3D* FScale;
  TPosition3D* FRotationAngle;
  TPosition3D* FRotationCenter;
  TQuaternion3D FQuaternion;
  TPoint3D FSavedRotationAngle;
  float FWidth = 1, FHeight = 1, FDepth = 1;
  bool FVisible = true;
  bool FHitTest = true;
  float FOpacity = 1;
  bool FZWrite = true;
  bool FTwoSide = false;
  TProjection FProjection = TProjection::Camera;
  bool FOpaque = false;
  TMatrix3D FLocalMatrix;
  mutable TMatrix3D FAbsoluteMatrix;
  mutable TMatrix3D FInvAbsoluteMatrix;
  mutable float FAbsoluteOpacity = 1;
  mutable bool FRecalcAbsolute = true;
  mutable bool FRecalcOpacity = true;
  std::vector<TControl3D*> FRenderingList;
  int FUpdating = 0;
  IViewport3D* FViewport = nullptr;
  bool FLoading = false;
  bool FNodeDestroying = false;
};

// A node that only groups and turns its children: never hit, draws nothing.
class TDummy : public TControl3D {
 public:
  explicit TDummy(TSceneObject* AOwner = nullptr);
};

}  // namespace sphaerix
