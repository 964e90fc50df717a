// The window's side of pointer input: which control a press, move, release, wheel turn or
// touch gesture goes to, pointer capture, hover, focus and the right-button popup menu.
// Positions are logical pixels in the window's client area; the platform adapter
// converts and rounds them before they arrive here.
#pragma once

#include <memory>
#include <vector>

#include "scene/input/control.h"
#include "scene/input/events.h"
#include "scene/input/touch_recognizer.h"

namespace sphaerix {

// The gestures that some control of some window of the current scene runtime has enabled.
TInteractiveGestures EnabledInteractiveGestures();

// The window is its controls' root and keeps their capture and focus; this object keeps
// hover, the pointer positions and the touch recogniser, and sends each operation to the
// control it is for.
class SceneRuntime;

class TWindowInput : private ITouchHost {
 public:
  // AWindow is the object whose child controls are the window's top-level controls,
  // ARoot the window as its controls see it; ARoot passes its ControlDestroyed calls on
  // to this object.
  TWindowInput(TSceneObject& AWindow, IControlRoot& ARoot);
  ~TWindowInput() override;
  TWindowInput(const TWindowInput&) = delete;
  TWindowInput& operator=(const TWindowInput&) = delete;

  // Forgets AControl and everything below it: hover, the controls handlers are working
  // on, the touch recogniser's targets.
  void ControlDestroyed(TControl* AControl);

  TSceneObject& Window() const { return FWindow; }
  // The window's top-level controls, bottom first.
  std::vector<TControl*> TopLevelControls() const;
  // The control under a point of the client area: topmost first, hidden controls skipped,
  // controls with HitTest false passed over while their children are searched.
  TControl* ObjectAtPoint(TPointF APoint) const override;
  TControl* Hovered() const { return FHovered; }

  // Window operations, called by the platform adapter.
  void MouseDown(TMouseButton AButton, TShiftState AShift, float AX, float AY);
  void MouseMove(TShiftState AShift, float AX, float AY);
  void MouseUp(TMouseButton AButton, TShiftState AShift, float AX, float AY, bool AClick);
  // Returns whether some handler set Handled.
  bool MouseWheel(TShiftState AShift, int AWheelDelta, float AX, float AY);
  // The pointer entered or left the window's client area.
  void MouseEnter();
  void MouseLeave();
  // One raw multi-touch report; positions in logical client coordinates.
  void TouchReport(const std::vector<TTouchPoint>& APoints);
  void TouchCancel();
  TTouchRecognizer& TouchRecognizer() { return FTouch; }
  const TTouchRecognizer& TouchRecognizer() const { return FTouch; }

  // The window's own events, raised when no control is under the pointer (the wheel's
  // before any control); the sender is the window object.
  TMouseEvent OnMouseDown;
  TMouseEvent OnMouseUp;
  TMouseMoveEvent OnMouseMove;
  TMouseWheelEvent OnMouseWheel;

 private:
  class TWatch;
  friend class TWatch;
  friend class SceneRuntime;
  // The runtime this window joined has ended before it.
  void RuntimeEnded() { FRuntime = nullptr; }

  // ITouchHost
  float RootScale() const override { return FRoot.RootScale(); }
  TInteractiveGestures EnabledGestures() const override { return EnabledInteractiveGestures(); }

  bool PopupTest(TControl* AControl);
  void SetHovered(TControl* AControl);
  void DoMove(TShiftState AShift, TPointF APoint);
  static TPointF ToLocal(const TControl* AControl, TPointF APoint) { return AControl->AbsoluteToLocal(APoint); }

  TSceneObject& FWindow;
  IControlRoot& FRoot;
  SceneRuntime* FRuntime;  // whose windows make the enabled gestures; null without one
  TControl* FHovered = nullptr;
  // The last move reported; cleared by presses and releases so the next move always goes out.
  bool FMoveReported = false;
  TPointF FLastMove;
  // The pointer left while a control held the capture; the leave is played once it ends.
  bool FLeavePending = false;
  std::vector<TControl**> FWatched;
  TTouchRecognizer FTouch;
};

}  // namespace sphaerix
