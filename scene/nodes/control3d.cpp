#include "scene/nodes/control3d.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace sphaerix {

namespace {

constexpr long double kPi = 3.141592653589793238462643383279502884L;

const TPoint3D kAxes[3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};

float Component(const TPoint3D& p, int AAxis) { return AAxis == 0 ? p.X : AAxis == 1 ? p.Y : p.Z; }

void SetComponent(TPoint3D& p, int AAxis, float AValue) {
  if (AAxis == 0)
    p.X = AValue;
  else if (AAxis == 1)
    p.Y = AValue;
  else
    p.Z = AValue;
}

bool NearZero(const TPoint3D& p, float ATolerance) {
  return std::fabs(p.X) <= ATolerance && std::fabs(p.Y) <= ATolerance && std::fabs(p.Z) <= ATolerance;
}

}  // namespace

long double NormalizeAngle(long double ADegrees) {
  const float k = 1.0f / 360.0f;
  long double r = ADegrees - std::trunc(ADegrees * static_cast<long double>(k)) * 360.0L;
  if (r < 0) r += 360.0L;
  return r;
}

// ---------------------------------------------------------------------------------------
// Construction and destruction

TControl3D::TControl3D(TSceneObject* AOwner) : TSceneObject(AOwner) {
  FPosition = new TPosition3D(this, {0, 0, 0});
  FScale = new TPosition3D(this, {1, 1, 1});
  FRotationAngle = new TPosition3D(this, {0, 0, 0});
  FRotationCenter = new TPosition3D(this, {0, 0, 0});
  FRotationAngle->SetIgnoresNonFinite(true);
  auto rebuild = [this](TSceneObject*) { RebuildLocalMatrix(); };
  FPosition->OnChange = rebuild;
  FScale->OnChange = rebuild;
  FRotationCenter->OnChange = rebuild;
  FRotationAngle->OnChange = [this](TSceneObject* s) { RotationAngleChanged(s); };
  FRotationAngle->OnChangeX = [this](TSceneObject* s) { RotationAngleXChanged(s); };
  FRotationAngle->OnChangeY = [this](TSceneObject* s) { RotationAngleYChanged(s); };
  FRotationAngle->OnChangeZ = [this](TSceneObject* s) { RotationAngleZChanged(s); };
  RegisterProperties();
}

void TControl3D::RegisterProperties() {
  RegisterObjectProperty("Position", [this] { return FPosition; });
  RegisterObjectProperty("Scale", [this] { return FScale; });
  RegisterObjectProperty("RotationAngle", [this] { return FRotationAngle; });
  RegisterObjectProperty("RotationCenter", [this] { return FRotationCenter; });
  RegisterFloatProperty("Opacity", [this] { return FOpacity; }, [this](float v) { SetOpacity(v); });
  RegisterFloatProperty("Width", [this] { return FWidth; }, [this](float v) { SetWidth(v); });
  RegisterFloatProperty("Height", [this] { return FHeight; }, [this](float v) { SetHeight(v); });
  RegisterFloatProperty("Depth", [this] { return FDepth; }, [this](float v) { SetDepth(v); });
}

// The node leaves the tree while it is still a whole TControl3D, so that its parent
// (a node or the viewport) updates its rendering list with full knowledge of it, and
// the children it does not own are left as valid roots rather than pointing at it.
// The four TPosition3D objects are owned and go with the base object.
TControl3D::~TControl3D() {
  FNodeDestroying = true;
  if (Parent()) Parent()->RemoveObject(this);
  SetNewViewport(nullptr);
  while (!Children().empty()) RemoveObject(Children().back());
  FRenderingList.clear();
  FPosition->OnChange = nullptr;
  FScale->OnChange = nullptr;
  FRotationCenter->OnChange = nullptr;
  FRotationAngle->OnChange = FRotationAngle->OnChangeX = FRotationAngle->OnChangeY =
      FRotationAngle->OnChangeZ = nullptr;
}

// ---------------------------------------------------------------------------------------
// Simple properties

void TControl3D::SetWidth(float AValue) {
  if (AValue == FWidth) return;
  FWidth = AValue;
  Resize3D();
  if (!FLoading) Repaint();
}

void TControl3D::SetHeight(float AValue) {
  if (AValue == FHeight) return;
  FHeight = AValue;
  Resize3D();
  if (!FLoading) Repaint();
}

void TControl3D::SetDepth(float AValue) {
  if (AValue == FDepth) return;
  FDepth = AValue;
  Resize3D();
  if (!FLoading) Repaint();
}

void TControl3D::SetSize(float AWidth, float AHeight, float ADepth) {
  if (AWidth == FWidth && AHeight == FHeight && ADepth == FDepth) return;
  FWidth = AWidth;
  FHeight = AHeight;
  FDepth = ADepth;
  Resize3D();
  if (!FLoading) Repaint();
}

void TControl3D::SetVisible(bool AValue) {
  if (AValue == FVisible) return;
  if (FVisible) Repaint();
  FVisible = AValue;
  if (FVisible) Repaint();
}

void TControl3D::SetOpacity(float AValue) {
  if (AValue == FOpacity) return;
  FOpacity = AValue;
  if (!(FOpacity >= 0))  // below 0 or not a number
    FOpacity = 0;
  else if (FOpacity > 1)
    FOpacity = 1;
  InvalidateOpacity();
  Repaint();
}

void TControl3D::SetZWrite(bool AValue) {
  if (AValue == FZWrite) return;
  FZWrite = AValue;
  Repaint();
}

void TControl3D::SetProjection(TProjection AValue) {
  if (AValue == FProjection) return;
  FProjection = AValue;
  Repaint();
}

void TControl3D::SetOpaque(bool AValue) {
  if (AValue == FOpaque) return;
  FOpaque = AValue;
  Repaint();
}

// ---------------------------------------------------------------------------------------
// Matrices and opacity

void TControl3D::UpdateAbsolute() const {
  if (!FRecalcAbsolute) return;
  const auto* parent = dynamic_cast<const TControl3D*>(Parent());
  FAbsoluteMatrix = parent ? FLocalMatrix * parent->AbsoluteMatrix() : FLocalMatrix;
  FInvAbsoluteMatrix = FAbsoluteMatrix.Inverse();
  FRecalcAbsolute = false;
}

TMatrix3D TControl3D::AbsoluteMatrix() const {
  UpdateAbsolute();
  return FAbsoluteMatrix;
}

TMatrix3D TControl3D::InvertAbsoluteMatrix() const {
  UpdateAbsolute();
  return FInvAbsoluteMatrix;
}

float TControl3D::AbsoluteOpacity() const {
  if (FRecalcOpacity) {
    const auto* parent = dynamic_cast<const TControl3D*>(Parent());
    FAbsoluteOpacity = parent ? parent->AbsoluteOpacity() * FOpacity : FOpacity;
    FRecalcOpacity = false;
  }
  return FAbsoluteOpacity;
}

void TControl3D::InvalidateAbsolute() {
  FRecalcAbsolute = true;
  for (TSceneObject* child : Children())
    if (auto* node = dynamic_cast<TControl3D*>(child)) node->InvalidateAbsolute();
}

void TControl3D::InvalidateOpacity() {
  FRecalcOpacity = true;
  for (TSceneObject* child : Children())
    if (auto* node = dynamic_cast<TControl3D*>(child)) node->InvalidateOpacity();
}

TPoint3D TControl3D::LocalToAbsolute3D(const TPoint3D& APoint) const { return APoint * AbsoluteMatrix(); }

TPoint3D TControl3D::AbsoluteToLocal3D(const TPoint3D& APoint) const { return APoint * InvertAbsoluteMatrix(); }

TVector3D TControl3D::LocalToAbsoluteVector(const TVector3D& AVector) const { return AVector * AbsoluteMatrix(); }

TVector3D TControl3D::AbsoluteToLocalVector(const TVector3D& AVector) const {
  return AVector * InvertAbsoluteMatrix();
}

TVector3D TControl3D::LocalToAbsoluteDirection(const TVector3D& AVector) const {
  TVector3D r = (TVector3D(AVector.X, AVector.Y, AVector.Z, 0) * AbsoluteMatrix()).Normalize();
  r.W = 0;
  return r;
}

TVector3D TControl3D::AbsoluteToLocalDirection(const TVector3D& AVector) const {
  TVector3D r = (TVector3D(AVector.X, AVector.Y, AVector.Z, 0) * InvertAbsoluteMatrix()).Normalize();
  r.W = 0;
  return r;
}

// Scale, then rotate about the pivot, then translate; each step is skipped when it is
// within tolerance of having no effect, judged on the whole vector.
void TControl3D::RebuildLocalMatrix() {
  TMatrix3D L;
  const TPoint3D s = FScale->Point();
  if (std::fabs(s.X - 1) > 0.0001f || std::fabs(s.Y - 1) > 0.0001f || std::fabs(s.Z - 1) > 0.0001f)
    L = L * TMatrix3D::CreateScaling(s);
  if (NearZero(FRotationAngle->Point(), 0.0001f)) {
    // Whatever path led here, all angles at zero means the start orientation.
    FSavedRotationAngle = TPoint3D(0, 0, 0);
    FQuaternion = TQuaternion3D::Identity();
  } else {
    TMatrix3D R = FQuaternion.ToMatrix();
    const TPoint3D c = FRotationCenter->Point();
    if (!NearZero(c, 0.001f))
      R = TMatrix3D::CreateTranslation(-c) * R * TMatrix3D::CreateTranslation(c);
    L = L * R;
  }
  const TPoint3D p = FPosition->Point();
  if (!NearZero(p, 0.001f)) L = L * TMatrix3D::CreateTranslation(p);
  FLocalMatrix = L;
  InvalidateAbsolute();
  RebuildRenderingList();
  Repaint();
}

// ---------------------------------------------------------------------------------------
// Orientation

bool TControl3D::TurnAxis(int AAxis, float ARawValue) {
  const long double d =
      NormalizeAngle(static_cast<long double>(ARawValue) - Component(FSavedRotationAngle, AAxis));
  // A value that is not a number (or infinite) would poison the orientation for good.
  if (static_cast<float>(d) == 0 || !std::isfinite(d)) return false;
  FQuaternion = FQuaternion * TQuaternion3D::Create(kAxes[AAxis], static_cast<float>(d * kPi / 180));
  return true;
}

void TControl3D::RotationAngleAxisChanged(int AAxis) {
  const float raw = Component(FRotationAngle->Point(), AAxis);
  if (!TurnAxis(AAxis, raw)) return;
  RebuildLocalMatrix();
  SetComponent(FSavedRotationAngle, AAxis, raw);
  TPoint3D stored = FRotationAngle->Point();
  SetComponent(stored, AAxis, static_cast<float>(NormalizeAngle(raw)));
  FRotationAngle->SetPoint3DNoChange(stored);
}

void TControl3D::RotationAngleXChanged(TSceneObject*) { RotationAngleAxisChanged(0); }
void TControl3D::RotationAngleYChanged(TSceneObject*) { RotationAngleAxisChanged(1); }
void TControl3D::RotationAngleZChanged(TSceneObject*) { RotationAngleAxisChanged(2); }

void TControl3D::RotationAngleChanged(TSceneObject*) {
  const TPoint3D raw = FRotationAngle->Point();
  TPoint3D stored = raw;
  bool turned = false;
  for (int axis = 0; axis < 3; ++axis) {
    const float value = Component(raw, axis);
    if (!TurnAxis(axis, value)) continue;
    SetComponent(stored, axis, static_cast<float>(NormalizeAngle(value)));
    turned = true;
  }
  if (!turned) return;
  FSavedRotationAngle = raw;
  FRotationAngle->SetPoint3DNoChange(stored);
  RebuildLocalMatrix();
}

void TControl3D::ResetRotationAngle() {
  FQuaternion = TQuaternion3D::Identity();
  RebuildLocalMatrix();
  FRotationAngle->SetPoint3DNoChange({0, 0, 0});
  FSavedRotationAngle = TPoint3D(0, 0, 0);
}

// ---------------------------------------------------------------------------------------
// Repaint, updates, loading, viewport

void TControl3D::Repaint() {
  if (!FVisible || !FViewport || NodeDestroying() || FUpdating > 0) return;
  FViewport->NeedRender();
}

void TControl3D::BeginUpdate() {
  ++FUpdating;
  for (TSceneObject* child : Children())
    if (auto* node = dynamic_cast<TControl3D*>(child)) node->BeginUpdate();
}

void TControl3D::EndUpdate() {
  if (FUpdating > 0) --FUpdating;
  for (TSceneObject* child : Children())
    if (auto* node = dynamic_cast<TControl3D*>(child)) node->EndUpdate();
  if (FUpdating == 0) RebuildRenderingList();
}

void TControl3D::Loaded() {
  FLoading = false;
  RebuildLocalMatrix();
}

void TControl3D::SetNewViewport(IViewport3D* AViewport) {
  FViewport = AViewport;
  for (TSceneObject* child : Children())
    if (auto* node = dynamic_cast<TControl3D*>(child)) node->SetNewViewport(AViewport);
}

void TControl3D::DoAddObject(TSceneObject* AObject) {
  TSceneObject::DoAddObject(AObject);
  if (auto* node = dynamic_cast<TControl3D*>(AObject)) {
    node->FUpdating = FUpdating;
    node->SetNewViewport(FViewport);
    node->InvalidateOpacity();
    node->InvalidateAbsolute();
  }
  RebuildRenderingList();
}

void TControl3D::DoRemoveObject(TSceneObject* AObject) {
  TSceneObject::DoRemoveObject(AObject);
  if (auto* node = dynamic_cast<TControl3D*>(AObject)) {
    node->FUpdating = 0;
    node->Repaint();
    node->SetNewViewport(nullptr);
    // Its matrix and opacity no longer include this node.
    node->InvalidateOpacity();
    node->InvalidateAbsolute();
    // Even inside BeginUpdate, when the list is not rebuilt, it must not keep the node.
    FRenderingList.erase(std::remove(FRenderingList.begin(), FRenderingList.end(), node),
                         FRenderingList.end());
  }
  RebuildRenderingList();
}

// ---------------------------------------------------------------------------------------
// Rendering list and drawing

void TControl3D::RebuildRenderingList() {
  if (FUpdating > 0) return;
  FRenderingList.clear();
  for (TSceneObject* child : Children())
    if (auto* node = dynamic_cast<TControl3D*>(child)) FRenderingList.push_back(node);
  SortRenderingList(FRenderingList);
}

void TControl3D::RenderInternal(TDrawContext* AContext) {
  if (!AContext) return;
  AContext->SetMatrix(AbsoluteMatrix());
  AContext->SetContextState(FZWrite ? TRenderState::csZWriteOn : TRenderState::csZWriteOff);
  AContext->SetContextState(FZWrite ? TRenderState::csZTestOn : TRenderState::csZTestOff);
  AContext->SetContextState(FProjection == TProjection::Camera ? TRenderState::cs3DScene
                                                               : TRenderState::cs2DScene);
  AContext->SetContextState(FTwoSide ? TRenderState::csAllFace : TRenderState::csFrontFace);
  AContext->SetContextState(FOpaque ? TRenderState::csAlphaBlendOff : TRenderState::csAlphaBlendOn);
  Render(AContext);
  if (OnRender) {
    TObjectWatch self(this);
    // From a copy: a handler that destroys this node destroys the event member too.
    const TRenderEvent handler = OnRender;
    handler(this, AContext);
    if (!self.Alive()) return;
  }
  RenderNodes(FRenderingList, AContext);
}

void RenderNodes(const std::vector<TControl3D*>& AList, TDrawContext* AContext) {
  // A handler run while drawing (OnRender) may add, remove or destroy nodes of the list.
  // The walk follows a snapshot and draws a node only while the live list still holds it:
  // a node taken out of the tree, or destroyed, leaves the list at once.
  const std::vector<TControl3D*> snapshot = AList;
  for (TControl3D* node : snapshot) {
    if (std::find(AList.begin(), AList.end(), node) == AList.end()) continue;
    if (node->Visible()) node->RenderInternal(AContext);
  }
}

int RenderingCompare(TControl3D* ALeft, TControl3D* ARight) {
  const std::uintptr_t keyL = ALeft->MaterialKey();
  const std::uintptr_t keyR = ARight->MaterialKey();
  if (keyL != keyR) return keyL < keyR ? -1 : 1;
  if (!ALeft->ZWrite() || !ARight->ZWrite()) return 0;
  const bool translucentL = ALeft->Opacity() < 1;
  const bool translucentR = ARight->Opacity() < 1;
  if (translucentL != translucentR) return translucentL ? 1 : -1;
  TDrawContext* context = ALeft->Context();
  if (!context || !ARight->Context()) return 0;
  const TMatrix3D& view = context->CurrentCameraMatrix();
  const TPoint3D eye(view.m[3][0], view.m[3][1], view.m[3][2]);
  const float dL = ALeft->AbsolutePosition().ToPoint3D().Distance(eye);
  const float dR = ARight->AbsolutePosition().ToPoint3D().Distance(eye);
  const bool nanL = std::isnan(dL), nanR = std::isnan(dR);
  if (nanL && nanR) return 0;
  if (nanR) return 1;
  if (nanL) return -1;
  const float diff = std::trunc(dR - dL);
  // Farther first; an infinite distance must not overflow the integer.
  if (diff >= static_cast<float>(std::numeric_limits<int>::max())) return std::numeric_limits<int>::max();
  if (diff <= static_cast<float>(std::numeric_limits<int>::min())) return std::numeric_limits<int>::min();
  return static_cast<int>(diff);
}

namespace {

void QuickSort(std::vector<TControl3D*>& L, int lo, int hi) {
  while (lo < hi) {
    if (hi - lo == 1) {
      if (RenderingCompare(L[lo], L[hi]) > 0) std::swap(L[lo], L[hi]);
      return;
    }
    int i = lo, j = hi;
    TControl3D* pivot = L[lo + (hi - lo) / 2];
    do {
      // The bounds only matter for a comparison that is not a consistent order
      // (distances truncated to whole units are not transitive); they keep the scans
      // inside the range.
      while (i <= hi && RenderingCompare(L[i], pivot) < 0) ++i;
      while (j >= lo && RenderingCompare(L[j], pivot) > 0) --j;
      if (i <= j) {
        if (i != j) std::swap(L[i], L[j]);
        ++i;
        --j;
      }
    } while (i <= j);
    // Recurse into the smaller side, loop on the larger: the stack stays logarithmic.
    if (j - lo < hi - i) {
      if (lo < j) QuickSort(L, lo, j);
      lo = i;
    } else {
      if (i < hi) QuickSort(L, i, hi);
      hi = j;
    }
  }
}

}  // namespace

void SortRenderingList(std::vector<TControl3D*>& AList) {
  if (AList.size() > 1) QuickSort(AList, 0, static_cast<int>(AList.size()) - 1);
}

TDummy::TDummy(TSceneObject* AOwner) : TControl3D(AOwner) { SetHitTest(false); }

}  // namespace sphaerix
