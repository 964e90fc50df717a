#include "scene/input/control.h"

#include <cmath>
#include <exception>

#include "scene/runtime/platform_services.h"

namespace sphaerix {

void TControlPosition::SetX(float AValue) {
  if (FPoint.X == AValue) return;
  FPoint.X = AValue;
  FOwner->PositionChanged();
}

void TControlPosition::SetY(float AValue) {
  if (FPoint.Y == AValue) return;
  FPoint.Y = AValue;
  FOwner->PositionChanged();
}

void TControlPosition::SetPoint(TPointF AValue) {
  if (FPoint.X == AValue.X && FPoint.Y == AValue.Y) return;
  FPoint = AValue;
  FOwner->PositionChanged();
}

TControl::TControl(TSceneObject* AOwner) : TSceneObject(AOwner), FPosition(this) {
  RegisterFloatProperty("Opacity", [this] { return FOpacity; }, [this](float v) { SetOpacity(v); });
  RegisterFloatProperty("Width", [this] { return FWidth; }, [this](float v) { SetWidth(v); });
  RegisterFloatProperty("Height", [this] { return FHeight; }, [this](float v) { SetHeight(v); });
}

TControl::~TControl() {
  if (IControlRoot* r = Root()) r->ControlDestroyed(this);
}

void TControl::SetVisible(bool AValue) {
  if (FVisible == AValue) return;
  if (FVisible) Repaint();
  FVisible = AValue;
  if (!FVisible && FRoot) {
    // A hidden control keeps neither the pointer nor the keyboard.
    if (FRoot->Captured() == this) FRoot->SetCaptured(nullptr);
    if (FRoot->Focused() == this) FRoot->SetFocused(nullptr);
  }
  if (FVisible) Repaint();
  if (IControlRoot* r = Root()) r->ControlVisibleChanged(this);
}

void TControl::SetBounds(float AX, float AY, float AWidth, float AHeight) {
  const bool moved = AX != FPosition.X() || AY != FPosition.Y();
  const bool resized = AWidth != FWidth || AHeight != FHeight;
  if (!moved && !resized) return;
  Repaint();
  FWidth = AWidth;
  FHeight = AHeight;
  FPosition.SetPoint({AX, AY});  // repaints through PositionChanged when moved
  if (resized) Resize();
  Repaint();
}

void TControl::PositionChanged() { Repaint(); }

void TControl::Resize() {
  Realign();
  if (OnResized) OnResized(this);
}

void TControl::SetAlign(TAlignMode AValue) {
  if (FAlign == AValue) return;
  FAlign = AValue;
  if (TControl* p = ParentControl()) p->Realign();
}

// Top and bottom bars take the full width first; left and right take what height is
// left; Client fills the rest; Contents always fills the whole parent.
void TControl::Realign() {
  TRectF rest = LocalRect();
  for (TControl* c : Controls()) {
    if (!c->Visible()) continue;
    switch (c->FAlign) {
      case TAlignMode::Top:
        c->SetBounds(rest.Left, rest.Top, rest.Width(), c->FHeight);
        rest.Top += c->FHeight;
        break;
      case TAlignMode::Bottom:
        c->SetBounds(rest.Left, rest.Bottom - c->FHeight, rest.Width(), c->FHeight);
        rest.Bottom -= c->FHeight;
        break;
      case TAlignMode::Left:
        c->SetBounds(rest.Left, rest.Top, c->FWidth, rest.Height());
        rest.Left += c->FWidth;
        break;
      case TAlignMode::Right:
        c->SetBounds(rest.Right - c->FWidth, rest.Top, c->FWidth, rest.Height());
        rest.Right -= c->FWidth;
        break;
      default:
        break;
    }
  }
  for (TControl* c : Controls()) {
    if (c->FAlign == TAlignMode::Client)
      c->SetBounds(rest.Left, rest.Top, std::max(0.0f, rest.Width()), std::max(0.0f, rest.Height()));
    else if (c->FAlign == TAlignMode::Contents)
      c->SetBounds(0, 0, FWidth, FHeight);
  }
}

void TControl::SetOpacity(float AValue) {
  if (std::isnan(AValue) || AValue < 0) AValue = 0;
  if (AValue > 1) AValue = 1;
  if (FOpacity == AValue) return;
  FOpacity = AValue;
  Repaint();
}

float TControl::AbsoluteOpacity() const {
  const TControl* p = ParentControl();
  return p ? p->AbsoluteOpacity() * FOpacity : FOpacity;
}

void TControl::SetEnabled(bool AValue) {
  if (FEnabled == AValue) return;
  FEnabled = AValue;
  Repaint();
}

bool TControl::IsFocused() const {
  const IControlRoot* root = Root();  // nested controls reach the window through their parents
  return root && root->Focused() == this;
}

TControl* TControl::ParentControl() const { return dynamic_cast<TControl*>(Parent()); }

std::vector<TControl*> TControl::Controls() const {
  std::vector<TControl*> result;
  for (TSceneObject* o : Children())
    if (auto* c = dynamic_cast<TControl*>(o)) result.push_back(c);
  return result;
}

TPointF TControl::LocalToAbsolute(TPointF APoint) const {
  TPointF p{APoint.X + FPosition.X(), APoint.Y + FPosition.Y()};
  const TControl* parent = ParentControl();
  return parent ? parent->LocalToAbsolute(p) : p;
}

TPointF TControl::AbsoluteToLocal(TPointF APoint) const {
  const TControl* parent = ParentControl();
  TPointF p = parent ? parent->AbsoluteToLocal(APoint) : APoint;
  return {p.X - FPosition.X(), p.Y - FPosition.Y()};
}

TRectF TControl::AbsoluteRect() const {
  const TPointF tl = LocalToAbsolute({0, 0});
  return {tl.X, tl.Y, tl.X + FWidth, tl.Y + FHeight};
}

bool TControl::PointInObject(TPointF AAbsolute) const { return AbsoluteRect().Contains(AAbsolute); }

TControl* TControl::ObjectAtPoint(TPointF AAbsolute) {
  if (!FVisible) return nullptr;
  const std::vector<TControl*> children = Controls();
  for (auto it = children.rbegin(); it != children.rend(); ++it)
    if (TControl* hit = (*it)->ObjectAtPoint(AAbsolute)) return hit;
  if (FHitTest && PointInObject(AAbsolute)) return this;
  return nullptr;
}

IControlRoot* TControl::Root() const {
  if (FRoot) return FRoot;
  const TControl* p = ParentControl();
  return p ? p->Root() : nullptr;
}

void TControl::SetRoot(IControlRoot* ARoot) { FRoot = ARoot; }

void TControl::Repaint() {
  if (IsDestroying()) return;
  for (TControl* c = this; c; c = c->ParentControl()) c->PictureChanged();
  if (IControlRoot* r = Root()) r->InvalidateRoot();
}

void TControl::PaintTree(TCanvas2D& ACanvas) {
  Paint(ACanvas);
  for (TControl* c : Controls())
    if (c->Visible()) c->PaintTree(ACanvas);
}

void TControl::MouseDown(TMouseButton AButton, TShiftState AShift, float AX, float AY) {
  IControlRoot* root = Root();
  if (root && FCanFocus && !IsFocused()) root->SetFocused(this);
  if (OnMouseDown) OnMouseDown(this, AButton, AShift, AX, AY);
  if (FAutoCapture && root) root->SetCaptured(this);
  if (AShift.Contains(ssDouble)) {
    DblClick();
  } else if (AButton == TMouseButton::mbLeft) {
    FPressed = true;
    Repaint();
  }
}

void TControl::MouseMove(TShiftState AShift, float AX, float AY) {
  if (OnMouseMove) OnMouseMove(this, AShift, AX, AY);
}

void TControl::MouseUp(TMouseButton AButton, TShiftState AShift, float AX, float AY) {
  IControlRoot* root = Root();
  if (root && root->Captured() == this) root->SetCaptured(nullptr);
  if (OnMouseUp) OnMouseUp(this, AButton, AShift, AX, AY);
  if (AButton == TMouseButton::mbLeft && FPressed) {
    FPressed = false;
    Repaint();
  }
}

void TControl::MouseClick(TMouseButton AButton, TShiftState AShift, float AX, float AY) {
  if (AButton != TMouseButton::mbLeft || !FPressed || AShift.Contains(ssDouble)) return;
  if (AX < 0 || AY < 0 || AX >= FWidth || AY >= FHeight) return;
  Click();
}

void TControl::MouseWheel(TShiftState AShift, int AWheelDelta, bool& AHandled) {
  if (OnMouseWheel) OnMouseWheel(this, AShift, AWheelDelta, AHandled);
}

void TControl::DblClick() {
  if (OnDblClick) OnDblClick(this);
}

void TControl::Click() {
  if (FEnabled && OnClick) OnClick(this);
}

// A failing gesture handler is reported and the event counts as not handled, so the next
// step (default handling, then the parent) still gets its chance.
template <class F>
static void GuardedGestureStep(F AStep, bool& AHandled) {
  try {
    AStep();
  } catch (...) {
    AHandled = false;
    Platform().HandleException(std::current_exception());
  }
}

void TControl::Gesture(const TGestureEventInfo& AEventInfo, bool& AHandled) {
  if (OnGesture) GuardedGestureStep([&] { OnGesture(this, AEventInfo, AHandled); }, AHandled);
  if (!AHandled) GuardedGestureStep([&] { DoGesture(AEventInfo, AHandled); }, AHandled);
  if (!AHandled && AEventInfo.GestureID != 0)
    if (TControl* p = ParentControl()) p->Gesture(AEventInfo, AHandled);
}

void TControl::DoMouseEnter() {
  FIsMouseOver = true;
  Repaint();
}

void TControl::DoMouseLeave() {
  FIsMouseOver = false;
  Repaint();
}

void TControl::DoAddObject(TSceneObject* AObject) {
  if (auto* c = dynamic_cast<TControl*>(AObject)) {
    if (c->FAlign != TAlignMode::None) Realign();
    c->Repaint();
  }
}

void TControl::DoRemoveObject(TSceneObject* AObject) {
  if (auto* c = dynamic_cast<TControl*>(AObject)) {
    if (IControlRoot* r = Root()) r->ControlDestroyed(c);
    Repaint();
  }
}

bool IsSelfOrDescendant(const TSceneObject* AObject, const TSceneObject* AAncestor) {
  if (!AAncestor) return false;
  for (const TSceneObject* o = AObject; o; o = o->Parent())
    if (o == AAncestor) return true;
  return false;
}

}  // namespace sphaerix
