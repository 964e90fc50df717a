// The 2D control: a rectangle in its parent's coordinates with alignment, visibility,
// opacity and pointer events. The viewport, panels, buttons, labels and text blocks are
// controls; the window owning them is their root.
#pragma once

#include <string>
#include <vector>

#include "scene/input/events.h"
#include "scene/nodes/object.h"

namespace sphaerix {

class TControl;
class TCanvas2D;  // the 2D painter; defined by the toolkit that draws
struct TPixelRect;

// What a control needs from the window it lives in.
class IControlRoot {
 public:
  virtual ~IControlRoot() = default;
  // Asks for a paint of the window; several requests give one paint.
  virtual void InvalidateRoot() = 0;
  // Asks for a paint in which only AViewport's 3D scene may have changed: a window that
  // keeps its last frame draws and shows again only the pixels the scene changed.
  virtual void InvalidateScene(TControl* AViewport) {
    (void)AViewport;
    InvalidateRoot();
  }
  // The control that gets every pointer event until released (nullptr: none).
  virtual TControl* Captured() const = 0;
  virtual void SetCaptured(TControl* AControl) = 0;
  virtual TControl* Focused() const = 0;
  virtual void SetFocused(TControl* AControl) = 0;
  // The window's scale: physical pixels per logical pixel.
  virtual float RootScale() const = 0;
  // The pointer's position in screen pixels (where a popup menu opens).
  virtual TPointF ScreenPointer() const = 0;
  // The control is going away; the root forgets it (capture, focus, hover).
  virtual void ControlDestroyed(TControl* AControl) = 0;
  // The control was shown or hidden (those who read the window without seeing it are
  // told).
  virtual void ControlVisibleChanged(TControl* AControl) { (void)AControl; }
};

// A popup menu as controls see it: shown modally at a screen point.
class IPopupMenu {
 public:
  virtual ~IPopupMenu() = default;
  virtual void SetPopupComponent(TSceneObject* AComponent) = 0;
  virtual void Popup(float AScreenX, float AScreenY) = 0;
};

class TGestureManager;

struct TTouchSettings {
  TInteractiveGestures InteractiveGestures;
  TGestureManager* GestureManager = nullptr;
};

enum class TAlignMode { None, Top, Bottom, Left, Right, Client, Contents };

struct TRectF {
  float Left = 0, Top = 0, Right = 0, Bottom = 0;
  float Width() const { return Right - Left; }
  float Height() const { return Bottom - Top; }
  bool Contains(TPointF p) const { return p.X >= Left && p.X < Right && p.Y >= Top && p.Y < Bottom; }
};

// A 2D position whose writes reach the owning control.
class TControlPosition {
 public:
  explicit TControlPosition(TControl* AOwner) : FOwner(AOwner) {}
  float X() const { return FPoint.X; }
  float Y() const { return FPoint.Y; }
  TPointF Point() const { return FPoint; }
  void SetX(float AValue);
  void SetY(float AValue);
  void SetPoint(TPointF AValue);

 private:
  TControl* FOwner;
  TPointF FPoint;
};

class TControl : public TSceneObject {
 public:
  explicit TControl(TSceneObject* AOwner);
  ~TControl() override;

  bool IsControl() const override { return true; }
  bool Visible() const override { return FVisible; }
  virtual void SetVisible(bool AValue);

  TControlPosition& Position() { return FPosition; }
  const TControlPosition& Position() const { return FPosition; }
  float Width() const { return FWidth; }
  float Height() const { return FHeight; }
  virtual void SetWidth(float AValue) { SetBounds(FPosition.X(), FPosition.Y(), AValue, FHeight); }
  virtual void SetHeight(float AValue) { SetBounds(FPosition.X(), FPosition.Y(), FWidth, AValue); }
  void SetSize(float AWidth, float AHeight) { SetBounds(FPosition.X(), FPosition.Y(), AWidth, AHeight); }
  void SetBounds(float AX, float AY, float AWidth, float AHeight);

  TAlignMode Align() const { return FAlign; }
  void SetAlign(TAlignMode AValue);

  float Opacity() const { return FOpacity; }
  void SetOpacity(float AValue);
  // Own opacity times every 2D ancestor's.
  float AbsoluteOpacity() const;

  bool HitTest() const { return FHitTest; }
  void SetHitTest(bool AValue) { FHitTest = AValue; }
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool AValue);
  bool AutoCapture() const { return FAutoCapture; }
  void SetAutoCapture(bool AValue) { FAutoCapture = AValue; }
  bool CanFocus() const { return FCanFocus; }
  void SetCanFocus(bool AValue) { FCanFocus = AValue; }
  int TabOrder() const { return FTabOrder; }
  void SetTabOrder(int AValue) { FTabOrder = AValue; }
  bool IsFocused() const;
  bool IsPressed() const { return FPressed; }
  bool IsMouseOver() const { return FIsMouseOver; }

  IPopupMenu* PopupMenu() const { return FPopupMenu; }
  void SetPopupMenu(IPopupMenu* AMenu) { FPopupMenu = AMenu; }
  TTouchSettings& Touch() { return FTouch; }
  const TTouchSettings& Touch() const { return FTouch; }

  // The 2D parent, or nullptr at the top of the tree.
  TControl* ParentControl() const;
  // The direct children that are 2D controls, bottom first.
  std::vector<TControl*> Controls() const;

  // Geometry: LocalRect is (0, 0, Width, Height); absolute means window client coordinates.
  TRectF LocalRect() const { return {0, 0, FWidth, FHeight}; }
  TPointF LocalToAbsolute(TPointF APoint) const;
  TPointF AbsoluteToLocal(TPointF APoint) const;
  TRectF AbsoluteRect() const;
  // True when the absolute point lies inside this control.
  virtual bool PointInObject(TPointF AAbsolute) const;
  // The topmost visible, hit-testable control at the absolute point, children first.
  virtual TControl* ObjectAtPoint(TPointF AAbsolute);

  IControlRoot* Root() const;
  void SetRoot(IControlRoot* ARoot);
  // Asks the window for a new paint; the control and every control it sits in learn
  // that their picture changed (PictureChanged).
  virtual void Repaint();
  // Lays out the aligned children again (after a size change).
  void Realign();

  // Paints this control (not its children) with the opacity already applied.
  virtual void Paint(TCanvas2D& ACanvas) {}
  // Paints this control, then its visible children bottom first.
  virtual void PaintTree(TCanvas2D& ACanvas);

  // A control with a 3D scene of its own (a viewport) draws it into its own target when
  // the window begins a frame, before anything is painted: the window learns so which
  // of its pixels change. HasScene: whether the control has one; DrawSceneAhead: false
  // when it could not be drawn, else AChanged is what changed (window pixels, y down).
  virtual bool HasScene() const { return false; }
  virtual bool DrawSceneAhead(TPixelRect& AChanged) {
    (void)AChanged;
    return false;
  }
  // Whether the control paints every pixel of its rectangle when the window's opaque
  // fill is laid under its picture by the control itself, so that the window need not
  // paint the fill first where the control covers it.
  virtual bool CanTakeWindowFill() const { return false; }

  // Pointer operations the window calls; they raise the events below.
  virtual void MouseDown(TMouseButton AButton, TShiftState AShift, float AX, float AY);
  virtual void MouseMove(TShiftState AShift, float AX, float AY);
  virtual void MouseUp(TMouseButton AButton, TShiftState AShift, float AX, float AY);
  virtual void MouseClick(TMouseButton AButton, TShiftState AShift, float AX, float AY);
  virtual void MouseWheel(TShiftState AShift, int AWheelDelta, bool& AHandled);
  virtual void DblClick();
  virtual void Click();
  // The gesture operation: OnGesture, then DoGesture, then the parent's.
  virtual void Gesture(const TGestureEventInfo& AEventInfo, bool& AHandled);
  // Enter and leave of the pointer.
  virtual void DoMouseEnter();
  virtual void DoMouseLeave();
  // Keyboard: returns true when the key was used.
  virtual bool KeyDown(int AKey) { return false; }

  TMouseEvent OnMouseDown;
  TMouseEvent OnMouseUp;
  TMouseMoveEvent OnMouseMove;
  TMouseWheelEvent OnMouseWheel;
  TNotifyEvent OnClick;
  TNotifyEvent OnDblClick;
  TGestureEvent OnGesture;
  TNotifyEvent OnResized;

 protected:
  // The control's own gesture handling after OnGesture.
  virtual void DoGesture(const TGestureEventInfo& AEventInfo, bool& AHandled) {}
  virtual void Resize();
  void DoAddObject(TSceneObject* AObject) override;
  void DoRemoveObject(TSceneObject* AObject) override;
  void PositionChanged();
  friend class TControlPosition;
  // This control's picture, or that of a control inside it, changed (Repaint).
  virtual void PictureChanged() {}

  bool FPressed = false;
  bool FIsMouseOver = false;

 private:
  TControlPosition FPosition;
  float FWidth = 0;
  float FHeight = 0;
  TAlignMode FAlign = TAlignMode::None;
  float FOpacity = 1;
  bool FVisible = true;
  bool FHitTest = true;
  bool FEnabled = true;
  bool FAutoCapture = false;
  bool FCanFocus = false;
  int FTabOrder = -1;
  IPopupMenu* FPopupMenu = nullptr;
  TTouchSettings FTouch;
  IControlRoot* FRoot = nullptr;
};

// True when AObject is AAncestor or lies below it in the tree (null is below nothing).
bool IsSelfOrDescendant(const TSceneObject* AObject, const TSceneObject* AAncestor);

}  // namespace sphaerix
