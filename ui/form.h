// A top-level window of the program: caption, client size, placement, fill, full screen,
// and the creation, close and resize events. The window system side is a QOpenGLWindow so
// that a 3D viewport and the 2D controls are drawn in one paint.
#pragma once

#include <QPointer>
#include <QElapsedTimer>
#include <QMargins>
#include <QRect>
#include <QString>
#include <Qt>
#include <functional>
#include <memory>
#include <vector>

#include "scene/material/color.h"
#include "scene/input/control.h"
#include "scene/nodes/object.h"

class QPainter;
class QOpenGLWindow;
class QEvent;

namespace sphaerix {

class TFormWindow;
class TGLViewportRenderer;
class IViewportRenderer;
class TStyleBook;
class TWindowInput;
class TQtInputAdapter;

enum class TWindowPlacement { Designed, ScreenCenter, MainFormCenter };

// The client rectangle AClient moved, and shrunk when it must be, so that with its frame
// AFrame it lies inside AAvailable (a screen's area without panels). A window that does
// not fit is centred; one that fits stays where it is. AMinimum is kept where the area
// allows it.
QRect FitIntoArea(const QRect& AClient, const QMargins& AFrame, const QRect& AAvailable,
                  const QSize& AMinimum = QSize());
enum class TCloseResult { Keep, Hide, Free, Minimize };

class TFormBase : public TSceneObject, public IControlRoot {
 public:
  explicit TFormBase(TSceneObject* AOwner);
  ~TFormBase() override;

  const QString& Caption() const { return FCaption; }
  void SetCaption(const QString& AValue);
  int ClientWidth() const;
  int ClientHeight() const;
  void SetClientSize(int AWidth, int AHeight);
  TWindowPlacement Position() const { return FPosition; }
  void SetPosition(TWindowPlacement AValue) { FPosition = AValue; }
  TAlphaColor Fill() const { return FFill; }
  // The control that paints every pixel of the window first, laying the opaque fill
  // under its own picture, so that the fill need not be painted: null when there is none.
  TControl* FillCoveredBy() const;
  void SetFill(TAlphaColor AValue);
  // The window's custom styles (not owned; none by default).
  const TStyleBook* StyleBook() const { return FStyleBook; }
  void SetStyleBook(const TStyleBook* AValue) { FStyleBook = AValue; }
  bool FullScreen() const { return FFullScreen; }
  void SetFullScreen(bool AValue);
  // The window system or the user through it (a window manager's key or menu) put the
  // window into full screen or took it out, so FullScreen changed without SetFullScreen.
  std::function<void(TSceneObject*)> OnFullScreenChange;
  // A dialog: assistive technology announces the window as one.
  bool Dialog = false;
  // The window has the keyboard again (activated, or its menu closed): assistive
  // technology hears which control has the focus in it.
  void WindowActivated();

  bool Visible() const override;
  bool IsControl() const override { return true; }
  void Show();
  void Hide();
  void Activate();
  // Runs OnClose; unless it answers Keep the window goes, and the main window ends
  // the application.
  void Close();
  // Asks the window system for a paint; several requests give one paint.
  void Invalidate();

  std::function<void(TSceneObject*)> OnCreate;
  std::function<void(TSceneObject*, TCloseResult&)> OnClose;
  std::function<void(TSceneObject*)> OnResize;

  // Runs the creation handler; called once by the application after construction.
  virtual void DoCreate();
  // Each time the window is asked to show, before it shows.
  virtual void DoShow() {}

  TFormWindow* Window() const { return FWindow; }
  // What the window's viewports draw and show their frames with: they are given it when
  // they are created, and paint through it inside the window's paint.
  IViewportRenderer& ViewportRenderer() const;
  // Routes the window's pointer, wheel and touch input to its controls.
  TWindowInput& Input() const { return *FInput; }

  // The top-level 2D controls, bottom first.
  const std::vector<TControl*>& Controls() const { return FControls; }

  // IControlRoot
  void InvalidateRoot() override { Invalidate(); }
  void InvalidateScene(TControl* AViewport) override;
  TControl* Captured() const override { return FCaptured; }
  void SetCaptured(TControl* AControl) override;
  TControl* Focused() const override { return FFocused; }
  void SetFocused(TControl* AControl) override;
  float RootScale() const override { return Scale(); }
  TPointF ScreenPointer() const override;
  void ControlDestroyed(TControl* AControl) override;
  void ControlVisibleChanged(TControl* AControl) override;

  // A touchpad's pinch over AControl (the control under the pointer): AScale is the
  // change of magnification since the previous event (0.1: ten percent larger).
  std::function<void(TControl* AControl, double AScale)> OnPinchZoom;

  // Keyboard: Tab and Shift+Tab move the focus in tab order, other keys go to the
  // focused control, then to OnKeyDown. Returns true when the key was used.
  bool KeyDown(int AKey, Qt::KeyboardModifiers AShift);
  // A key the focused control did not use; the handler sets AKey to 0 when it used it.
  std::function<void(TSceneObject*, int& AKey, Qt::KeyboardModifiers AShift)> OnKeyDown;
  // True when the focus last moved by the keyboard: only then do buttons show it, as the
  // desktop's own buttons do.
  bool FocusFromKeyboard() const { return FFocusFromKeyboard; }
  // Moves the focus to AControl as a key does, so that it shows.
  void FocusByKeyboard(TControl* AControl);
  // The window's scale: physical pixels per logical pixel.
  float Scale() const;

 protected:
  friend class TFormWindow;
  friend class TWindowCompositor;
  // Paints the form's content over its fill.
  virtual void PaintContent(TCanvas2D& ACanvas);
  virtual void PaintFill(TCanvas2D& ACanvas);
  virtual void Resized();
  // The window's pixel format and context wishes, before it is first shown.
  virtual void ConfigureWindow(TFormWindow& AWindow) {}
  // Placement for TWindowPlacement::MainFormCenter.
  QRect CenteredOver(const QRect& AOuter) const;
  void PlaceWindow();
  // Places the normal window at its remembered frame, moved and shrunk as far as needed
  // to keep it and its frame on its screen's available area.
  void FitIntoScreen();
  // The window system moved, resized or framed the window.
  void WindowGeometryChanged();
  // The window system applied a change of the window's state (full screen, maximised,
  // minimised), asked for by the program or not.
  void WindowStateChanged();

  QString FCaption;
  TWindowPlacement FPosition = TWindowPlacement::Designed;
  TAlphaColor FFill = 0xFFF0F0F0;
  bool FFullScreen = false;
  int FDesignWidth = 640;
  int FDesignHeight = 480;
  bool FPlaced = false;
  QRect FRestoreGeometry;
  bool FRestoreMaximized = false;
  // Set when full screen was left: the frame comes back only after the window manager
  // has seen the window, and the fit is checked again then. A window manager that never
  // frames the window would otherwise keep the user from moving it: the check ends after
  // a few seconds whatever happens.
  bool FFitPending = false;
  QElapsedTimer FFitClock;
  // A change of full screen asked for and not yet applied by the window system: until it
  // is, the window's reported state is the old one and says nothing of the user's wish.
  bool FFullScreenAsked = false;
  // The window was seen covering its screen in full screen since the last change.
  bool FCoveredScreen = false;
  // Where the window system places and sizes windows itself (Wayland): the size to give
  // the window once it is back in its normal state, if the compositor gives it none.
  QSize FSizeWhenNormal;
  static bool PlacesItsWindows();
  // The window manager put the window into full screen (AFull) or took it out.
  void FollowFullScreen(bool AFull);
  TFormWindow* FWindow = nullptr;
  const TStyleBook* FStyleBook = nullptr;
  std::unique_ptr<TGLViewportRenderer> FViewportRenderer;
  std::unique_ptr<TWindowInput> FInput;
  std::unique_ptr<TQtInputAdapter> FAdapter;
  TControl* FCaptured = nullptr;
  TControl* FFocused = nullptr;
  bool FConfigured = false;
  bool FFocusFromKeyboard = false;

  void DoAddObject(TSceneObject* AObject) override;
  void DoRemoveObject(TSceneObject* AObject) override;
  // The top-level controls in child order, listed again as children come and go.
  std::vector<TControl*> FControls;
  void ListControls();
  void FocusNext(bool ABackward);
  bool HandleInput(QEvent* AEvent);
};

}  // namespace sphaerix
