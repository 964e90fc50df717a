#include "scene/input/window_input.h"

#include "scene/runtime/scene_runtime.h"

#include <algorithm>
#include <cmath>
#include <exception>

namespace sphaerix {

namespace {

void CollectGestures(const TSceneObject& AObject, TInteractiveGestures& AResult) {
  for (const TSceneObject* child : AObject.Children()) {
    if (auto* c = dynamic_cast<const TControl*>(child)) AResult = AResult | c->Touch().InteractiveGestures;
    CollectGestures(*child, AResult);
  }
}

}  // namespace

TInteractiveGestures EnabledInteractiveGestures() {
  TInteractiveGestures result;
  if (const SceneRuntime* runtime = SceneRuntime::Current())
    for (const TWindowInput* w : runtime->Windows()) CollectGestures(w->Window(), result);
  return result;
}

// Keeps a local control pointer honest across handlers: it becomes null when the control
// (or one of its ancestors) is destroyed or leaves the tree meanwhile.
class TWindowInput::TWatch {
 public:
  TWatch(TWindowInput& AInput, TControl*& APointer) : FInput(AInput), FPointer(&APointer) {
    FInput.FWatched.push_back(FPointer);
  }
  ~TWatch() {
    auto& w = FInput.FWatched;
    w.erase(std::find(w.begin(), w.end(), FPointer));
  }
  TWatch(const TWatch&) = delete;
  TWatch& operator=(const TWatch&) = delete;

 private:
  TWindowInput& FInput;
  TControl** FPointer;
};

TWindowInput::TWindowInput(TSceneObject& AWindow, IControlRoot& ARoot)
    : FWindow(AWindow), FRoot(ARoot), FRuntime(SceneRuntime::Current()), FTouch(*this) {
  if (FRuntime) FRuntime->AddWindow(this);
}

TWindowInput::~TWindowInput() {
  if (FRuntime) FRuntime->RemoveWindow(this);
}

std::vector<TControl*> TWindowInput::TopLevelControls() const {
  std::vector<TControl*> result;
  for (TSceneObject* o : FWindow.Children())
    if (auto* c = dynamic_cast<TControl*>(o)) result.push_back(c);
  return result;
}

TControl* TWindowInput::ObjectAtPoint(TPointF APoint) const {
  const std::vector<TControl*> controls = TopLevelControls();
  for (auto it = controls.rbegin(); it != controls.rend(); ++it) {
    if (!(*it)->Visible()) continue;
    if (TControl* hit = (*it)->ObjectAtPoint(APoint)) return hit;
  }
  return nullptr;
}

void TWindowInput::ControlDestroyed(TControl* AControl) {
  if (IsSelfOrDescendant(FHovered, AControl)) FHovered = nullptr;
  for (TControl** watched : FWatched)
    if (IsSelfOrDescendant(*watched, AControl)) *watched = nullptr;
  FTouch.ControlDestroyed(AControl);
}

void TWindowInput::SetHovered(TControl* AControl) {
  if (FHovered == AControl) return;
  TControl* previous = FHovered;
  FHovered = AControl;
  if (previous) previous->DoMouseLeave();
  if (AControl && FHovered == AControl) AControl->DoMouseEnter();
}

// A right press on a control with a popup menu shows the menu (modally) instead of
// pressing the control. Returns whether a menu was shown.
bool TWindowInput::PopupTest(TControl* AControl) {
  TWatch watch(*this, AControl);
  if (AControl->CanFocus() && !AControl->IsFocused()) FRoot.SetFocused(AControl);
  if (!AControl) return false;
  IPopupMenu* menu = AControl->PopupMenu();
  if (!menu) return false;
  menu->SetPopupComponent(AControl);
  const TPointF screen = FRoot.ScreenPointer();
  menu->Popup(std::round(screen.X), std::round(screen.Y));
  return true;
}

void TWindowInput::MouseDown(TMouseButton AButton, TShiftState AShift, float AX, float AY) {
  const TPointF p{AX, AY};
  FMoveReported = false;
  TControl* target = ObjectAtPoint(p);
  TWatch watch(*this, target);
  if (AButton == TMouseButton::mbRight && target && PopupTest(target)) return;
  if (!target) {
    if (OnMouseDown) OnMouseDown(&FWindow, AButton, AShift, AX, AY);
    return;
  }
  const TPointF local = ToLocal(target, p);
  target->MouseDown(AButton, AShift, local.X, local.Y);
}

void TWindowInput::MouseMove(TShiftState AShift, float AX, float AY) {
  const TPointF p{AX, AY};
  if (FMoveReported && FLastMove.X == p.X && FLastMove.Y == p.Y) return;
  FMoveReported = true;
  FLastMove = p;
  DoMove(AShift, p);
}

void TWindowInput::DoMove(TShiftState AShift, TPointF APoint) {
  if (TControl* captured = FRoot.Captured()) {
    const TPointF local = ToLocal(captured, APoint);
    captured->MouseMove(AShift, local.X, local.Y);
    return;
  }
  TControl* target = ObjectAtPoint(APoint);
  TWatch watch(*this, target);
  SetHovered(target);
  if (target) {
    const TPointF local = ToLocal(target, APoint);
    target->MouseMove(AShift, local.X, local.Y);
  } else if (OnMouseMove) {
    OnMouseMove(&FWindow, AShift, APoint.X, APoint.Y);
  }
}

// A click handler that fails must not leave the pointer captured or the control pressed:
// the release still runs, and the failure is passed on afterwards.
static void ClickThenRelease(TControl*& ATarget, TMouseButton AButton, TShiftState AShift, TPointF ALocal,
                             bool AClick) {
  std::exception_ptr failure;
  if (AClick) {
    try {
      ATarget->MouseClick(AButton, AShift, ALocal.X, ALocal.Y);
    } catch (...) {
      failure = std::current_exception();
    }
  }
  if (ATarget) ATarget->MouseUp(AButton, AShift, ALocal.X, ALocal.Y);
  if (failure) std::rethrow_exception(failure);
}

void TWindowInput::MouseUp(TMouseButton AButton, TShiftState AShift, float AX, float AY, bool AClick) {
  const TPointF p{AX, AY};
  FMoveReported = false;
  if (FRoot.Captured()) {
    TControl* target = FRoot.Captured();
    TWatch watch(*this, target);
    struct TReleaseCapture {
      TWindowInput& Input;
      ~TReleaseCapture() { Input.FRoot.SetCaptured(nullptr); }
    } release{*this};
    ClickThenRelease(target, AButton, AShift, ToLocal(target, p), AClick);
  } else {
    TControl* target = ObjectAtPoint(p);
    TWatch watch(*this, target);
    if (!target) {
      if (OnMouseUp) OnMouseUp(&FWindow, AButton, AShift, AX, AY);
    } else {
      ClickThenRelease(target, AButton, AShift, ToLocal(target, p), AClick);
    }
  }
  if (FLeavePending && !FRoot.Captured()) MouseLeave();
}

bool TWindowInput::MouseWheel(TShiftState AShift, int AWheelDelta, float AX, float AY) {
  bool handled = false;
  if (TControl* captured = FRoot.Captured()) {
    captured->MouseWheel(AShift, AWheelDelta, handled);
    return handled;
  }
  if (OnMouseWheel) OnMouseWheel(&FWindow, AShift, AWheelDelta, handled);
  TControl* target = handled ? nullptr : ObjectAtPoint({AX, AY});
  TWatch watch(*this, target);
  while (target && !handled) {
    target->MouseWheel(AShift, AWheelDelta, handled);
    if (target) target = target->ParentControl();
  }
  return handled;
}

void TWindowInput::MouseEnter() { FLeavePending = false; }

// While a control holds the capture the pointer is still its own: a move to (-1, -1)
// would read as a jump across the window in the middle of a drag. The leave is played
// when the capture ends instead.
void TWindowInput::MouseLeave() {
  if (FRoot.Captured()) {
    FLeavePending = true;
    return;
  }
  FLeavePending = false;
  const TPointF outside{-1, -1};
  // The window system may report the same leave twice (once more when a grab ends).
  if (FMoveReported && FLastMove.X == outside.X && FLastMove.Y == outside.Y && !FHovered) return;
  FMoveReported = true;
  FLastMove = outside;
  DoMove(TShiftState(), outside);
  SetHovered(nullptr);
}

void TWindowInput::TouchReport(const std::vector<TTouchPoint>& APoints) { FTouch.Report(APoints); }

void TWindowInput::TouchCancel() { FTouch.Cancel(); }

}  // namespace sphaerix
