// The window's side of pointer input: which control a press, move, release, wheel turn or
// touch gesture goes to, pointer capture, hover, focus and the right-button popup menu.
// Positions are logical pixels in the window's client area; the platform adapter
// converts and rounds them before they arrive here.
#pragma once

#include <memory>
#include <vector>

#include "scene/control.h"
#include "scene/events.h"
#include "scene/touch_recognizer.h"

namespace sphaerix {

// What the window input needs from the window system.
class IWindowInputHost {
 public:
  virtual ~IWindowInputHost() = default;
  // Asks for a paint of the window; several requests give one paint.
  virtual void InvalidateRoot() = 0;
  // Physical pixels per logical pixel.
  virtual float RootScale() const = 0;
  // The pointer's position on the screen, as the popup menu expects it.
  virtual TPointF ScreenPointer() const = 0;
  // Takes (true) or releases (false) the platform's pointer grab for the window, so that
  // moves and releases outside it keep arriving.
  virtual void SetPointerGrab(bool AGrab) = 0;
};

// The gestures that some control of some window has enabled (process-wide union).
TInteractiveGestures EnabledInteractiveGestures();

// Either the window's control root itself (capture, focus and hover kept here, the
// platform reached through an IWindowInputHost), or a layer over a root the window
// already is (capture and focus kept there). Hover, the pointer positions and the touch
// recogniser are always kept here.
class TWindowInput : public IControlRoot, private ITouchHost {
 public:
  // Self-contained: make this the root of the window's controls with AttachControls.
  // AWindow is the object whose child controls are the window's top-level controls.
  TWindowInput(TSceneObject& AWindow, IWindowInputHost& AHost);
  // Over an existing root: capture, focus, scale and the screen pointer are ARoot's, and
  // ARoot must pass its ControlDestroyed calls on to this object.
  TWindowInput(TSceneObject& AWindow, IControlRoot& ARoot);
  ~TWindowInput() override;
  TWindowInput(const TWindowInput&) = delete;
  TWindowInput& operator=(const TWindowInput&) = delete;

  // IControlRoot
  void InvalidateRoot() override;
  TControl* Captured() const override;
  void SetCaptured(TControl* AControl) override;
  TControl* Focused() const override;
  void SetFocused(TControl* AControl) override;
  float RootScale() const override;
  TPointF ScreenPointer() const override;
  // Forgets AControl and everything below it (capture and focus too when self-contained).
  void ControlDestroyed(TControl* AControl) override;

  TSceneObject& Window() const { return FWindow; }
  // Makes this the root of every top-level control of the window (call after adding some).
  void AttachControls();
  // The window's top-level controls, bottom first.
  std::vector<TControl*> TopLevelControls() const;
  // The control under a point of the client area: topmost first, hidden controls skipped,
  // controls with HitTest false passed over while their children are searched.
  TControl* ObjectAtPoint(TPointF APoint) const override;
  TControl* Hovered() const { return FHovered; }
  TPointF LastPosition() const { return FLastPosition; }
  TPointF PressPosition() const { return FPressPosition; }

  // Window operations, called by the platform adapter (virtual so tests can record them).
  virtual void MouseDown(TMouseButton AButton, TShiftState AShift, float AX, float AY);
  virtual void MouseMove(TShiftState AShift, float AX, float AY);
  virtual void MouseUp(TMouseButton AButton, TShiftState AShift, float AX, float AY, bool AClick);
  // Returns whether some handler set Handled.
  virtual bool MouseWheel(TShiftState AShift, int AWheelDelta, float AX, float AY);
  // The pointer entered or left the window's client area.
  virtual void MouseEnter();
  virtual void MouseLeave();
  // One raw multi-touch report; positions in logical client coordinates.
  virtual void TouchReport(const std::vector<TTouchPoint>& APoints);
  virtual void TouchCancel();
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

  // ITouchHost
  TInteractiveGestures EnabledGestures() const override { return EnabledInteractiveGestures(); }

  bool PopupTest(TControl* AControl);
  void SetHovered(TControl* AControl);
  void DoMove(TShiftState AShift, TPointF APoint);
  static TPointF ToLocal(const TControl* AControl, TPointF APoint) { return AControl->AbsoluteToLocal(APoint); }

  TSceneObject& FWindow;
  IWindowInputHost* FHost = nullptr;     // self-contained
  IControlRoot* FOuterRoot = nullptr;    // over an existing root
  TControl* FCaptured = nullptr;
  TControl* FFocused = nullptr;
  TControl* FHovered = nullptr;
  TPointF FLastPosition{-1, -1};
  TPointF FPressPosition{-1, -1};
  // The last move reported; cleared by presses and releases so the next move always goes out.
  bool FMoveReported = false;
  TPointF FLastMove;
  // The pointer left while a control held the capture; the leave is played once it ends.
  bool FLeavePending = false;
  std::vector<TControl**> FWatched;
  TTouchRecognizer FTouch;
};

}  // namespace sphaerix
