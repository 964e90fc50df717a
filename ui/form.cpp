#include "ui/form.h"

#include "scene/view/viewport3d.h"

#include <QNativeGestureEvent>

#include <QGuiApplication>
#include <QOpenGLContext>
#include <QPaintEngine>
#include <QPainter>
#include <QCursor>
#include <QScreen>
#include <algorithm>

#include "platform/gl_device.h"
#include "platform/qt_input.h"
#include "scene/input/window_input.h"
#include "ui/accessibility.h"
#include "ui/application.h"
#include "ui/controls.h"
#include "ui/canvas.h"
#include "ui/form_window.h"
#include "ui/gl_viewport_renderer.h"
#include "ui/window_compositor.h"

namespace sphaerix {

TFormBase::TFormBase(TSceneObject* AOwner) : TSceneObject(AOwner) {
  FWindow = new TFormWindow(this);
  FViewportRenderer = std::make_unique<TGLViewportRenderer>(FWindow->Compositor());
  FInput = std::make_unique<TWindowInput>(*this, static_cast<IControlRoot&>(*this));
  FAdapter = std::make_unique<TQtInputAdapter>(*FInput);
  FWindow->OnInputEvent = [this](QEvent* e) { return HandleInput(e); };
}

bool TFormBase::HandleInput(QEvent* AEvent) {
  if (AEvent->type() == QEvent::NativeGesture) {
    const auto* g = static_cast<const QNativeGestureEvent*>(AEvent);
    if (g->gestureType() != Qt::ZoomNativeGesture || !OnPinchZoom) return false;
    const QPointF at = g->position();
    OnPinchZoom(FInput->ObjectAtPoint({static_cast<float>(at.x()), static_cast<float>(at.y())}), g->value());
    return true;
  }
  const bool used = FAdapter->HandleEvent(AEvent);
  // The pointer takes the shape the control under it asks for (a link's hand).
  const auto* label = dynamic_cast<const TLabel*>(FInput->Hovered());
  if (label && label->Cursor >= 0)
    FWindow->setCursor(QCursor(static_cast<Qt::CursorShape>(label->Cursor)));
  else
    FWindow->unsetCursor();
  return used;
}

TFormBase::~TFormBase() {
  // Controls go before the input that watches them; the window goes last.
  DestroyComponents();
  FAdapter.reset();
  FInput.reset();
  if (FWindow) {
    delete FWindow;
    FWindow = nullptr;
  }
}

IViewportRenderer& TFormBase::ViewportRenderer() const { return *FViewportRenderer; }

void TFormBase::SetCaption(const QString& AValue) {
  FCaption = AValue;
  FWindow->setTitle(AValue);
}

int TFormBase::ClientWidth() const { return FWindow->width(); }
int TFormBase::ClientHeight() const { return FWindow->height(); }

void TFormBase::SetClientSize(int AWidth, int AHeight) {
  FDesignWidth = AWidth;
  FDesignHeight = AHeight;
  if (!FFullScreen)
    FWindow->resize(AWidth, AHeight);
  else if (FRestoreGeometry.isValid())
    FRestoreGeometry.setSize(QSize(AWidth, AHeight));  // the size full screen gives back
}

void TFormBase::SetFill(TAlphaColor AValue) {
  if (FFill == AValue) return;
  FFill = AValue;
  Invalidate();
}

bool TFormBase::Visible() const { return FWindow->isVisible(); }

QRect FitIntoArea(const QRect& AClient, const QMargins& AFrame, const QRect& AAvailable, const QSize& AMinimum) {
  if (!AAvailable.isValid()) return AClient;
  const QRect inner = AAvailable.marginsRemoved(AFrame);
  const QSize room = inner.size().expandedTo(QSize(1, 1));
  const QSize size = AClient.size().boundedTo(room).expandedTo(AMinimum.boundedTo(room));
  QRect r(AClient.topLeft(), size);
  if (size != AClient.size() || !inner.contains(r)) r.moveCenter(inner.center());
  return r;
}

QRect TFormBase::CenteredOver(const QRect& AOuter) const {
  QRect r(0, 0, FDesignWidth, FDesignHeight);
  r.moveCenter(AOuter.center());
  return r;
}

// The first showing places the window as its layout asks; later showings keep where the
// user put it.
void TFormBase::PlaceWindow() {
  QScreen* screen = FWindow->screen() ? FWindow->screen() : QGuiApplication::primaryScreen();
  QRect frame(FWindow->position(), QSize(FDesignWidth, FDesignHeight));
  if (FPosition == TWindowPlacement::ScreenCenter && screen) {
    frame = CenteredOver(screen->availableGeometry());
  } else if (FPosition == TWindowPlacement::MainFormCenter) {
    TFormBase* main = Application ? Application->MainForm() : nullptr;
    if (main && main != this && main->Window())
      frame = CenteredOver(main->Window()->geometry());
    else if (screen)
      frame = CenteredOver(screen->availableGeometry());
  }
  if (screen) frame = FitIntoArea(frame, FWindow->frameMargins(), screen->availableGeometry(), FWindow->minimumSize());
  FWindow->setGeometry(frame);
  FRestoreGeometry = frame;
  FPlaced = true;
}

void TFormBase::Show() {
  if (!FConfigured) {
    ConfigureWindow(*FWindow);
    FConfigured = true;
  }
  DoShow();
  if (!FPlaced || FPosition == TWindowPlacement::MainFormCenter) PlaceWindow();
  if (!FWindow->isVisible()) {
    FFullScreenAsked = FFullScreen;
    FCoveredScreen = false;
  }
  // A window minimised through a button the window manager gave it anyway is brought
  // back: over a full-screen window there is no taskbar to find it in.
  const Qt::WindowStates states = FWindow->windowStates();
  if (FWindow->isVisible() && (states & Qt::WindowMinimized))
    FWindow->setWindowStates(states & ~Qt::WindowMinimized);
  if (FFullScreen)
    FWindow->showFullScreen();
  else
    FWindow->show();
  FWindow->raise();
  FWindow->requestActivate();
}

void TFormBase::Hide() { FWindow->hide(); }

void TFormBase::Activate() {
  if (FWindow->isVisible()) FWindow->requestActivate();
}

void TFormBase::SetFullScreen(bool AValue) {
  if (FFullScreen == AValue) return;
  FFullScreen = AValue;
  FFullScreenAsked = FWindow->isVisible();
  FCoveredScreen = false;
  if (!FWindow->isVisible()) return;
  if (AValue) {
    // Remember the normal frame, or that the window was maximised, so switching back
    // restores it.
    FFitPending = false;
    FSizeWhenNormal = QSize();
    const Qt::WindowStates states = FWindow->windowStates();
    FRestoreMaximized = states & Qt::WindowMaximized;
    if (states == Qt::WindowNoState) FRestoreGeometry = FWindow->geometry();
    // A maximised window stays maximised under full screen, so that leaving full screen
    // only drops the full-screen state. Dropping full screen and asking for maximised in
    // one go makes a Wayland compositor configure a maximised state without a size, which
    // the window then acknowledges with its old size: a protocol error that ends the
    // program. Going through the normal state instead resizes the window several times.
    FWindow->setWindowStates(FRestoreMaximized ? Qt::WindowFullScreen | Qt::WindowMaximized
                                               : Qt::WindowFullScreen);
  } else if (FRestoreMaximized) {
    FWindow->setWindowStates(Qt::WindowMaximized);
  } else if (!PlacesItsWindows()) {
    // A Wayland compositor places windows itself and sizes them on every change of
    // state: a size set now races with its configure and may outlive the next state (a
    // maximised window left at the windowed size). The size is given once the
    // compositor has the window in its normal state, and only where it gave none.
    FWindow->showNormal();
    FSizeWhenNormal = FRestoreGeometry.isValid() ? FRestoreGeometry.size() : QSize(FDesignWidth, FDesignHeight);
  } else {
    FWindow->showNormal();
    if (FRestoreGeometry.isValid()) FWindow->setGeometry(FRestoreGeometry);
    FFitPending = true;
    FFitClock.start();
    FitIntoScreen();
  }
}

bool TFormBase::PlacesItsWindows() { return !QGuiApplication::platformName().startsWith(QLatin1String("wayland")); }

void TFormBase::FitIntoScreen() {
  const QRect wanted = FRestoreGeometry.isValid() ? FRestoreGeometry : FWindow->geometry();
  if (FWindow->windowStates() != Qt::WindowNoState) return;
  QScreen* screen = FWindow->screen() ? FWindow->screen() : QGuiApplication::primaryScreen();
  if (!screen) return;
  QMargins frame = FWindow->frameMargins();
  // Until the window manager has framed the window again, allow for a title bar.
  if (frame.isNull()) frame = QMargins(4, 32, 4, 4);
  const QRect fitted = FitIntoArea(wanted, frame, screen->availableGeometry(), FWindow->minimumSize());
  if (fitted != FWindow->geometry()) FWindow->setGeometry(fitted);
}

void TFormBase::WindowGeometryChanged() {
  // The window system does not always report a state it applied as asked (X11 says
  // nothing when the window manager empties the state list): a size that fits the state
  // asked for ends the wait as well.
  QScreen* screen = FWindow->screen();
  if (screen && PlacesItsWindows() && FWindow->isVisible()) {
    const bool screenSized = FWindow->size() == screen->size();
    if (FFullScreenAsked && screenSized == FFullScreen) FFullScreenAsked = false;
    if (FFullScreen && screenSized) {
      FCoveredScreen = true;
    } else if (!FFullScreenAsked && FFullScreen && FCoveredScreen && !screenSized &&
               !(FWindow->windowStates() & Qt::WindowMinimized)) {
      // Nor the window manager's end of full screen, every time: a full-screen window
      // that covered its screen and no longer does has left it.
      FollowFullScreen(false);
    }
  }
  if (!FFitPending || FFullScreen || !FWindow->isVisible()) return;
  // Once the real frame is known the fit is final; the user may move the window later.
  if (!FWindow->frameMargins().isNull() || FFitClock.elapsed() > 3000) FFitPending = false;
  FitIntoScreen();
}

void TFormBase::WindowStateChanged() {
  const Qt::WindowStates states = FWindow->windowStates();
  const bool full = states.testFlag(Qt::WindowFullScreen);
  if (FFullScreenAsked) {
    // A state from before the program's own request (a window manager reports every
    // change of the window's state list) says nothing; the answer to it ends the wait.
    if (full != FFullScreen) return;
    FFullScreenAsked = false;
    if (FSizeWhenNormal.isValid()) {
      // A window that started full screen has no size of its own to go back to: the
      // compositor leaves it at the screen's size.
      const QSize size = FSizeWhenNormal;
      FSizeWhenNormal = QSize();
      QScreen* screen = FWindow->screen();
      if (!(states & (Qt::WindowMaximized | Qt::WindowMinimized)) && screen && FWindow->size() == screen->size())
        FWindow->resize(size);
    }
    return;
  }
  if (full == FFullScreen || !FWindow->isVisible()) return;
  FollowFullScreen(full);
}

void TFormBase::FollowFullScreen(bool AFull) {
  const Qt::WindowStates states = FWindow->windowStates();
  const bool full = AFull;
  // The window manager's doing: the form follows it, so that the next request starts
  // from the state the user sees. The window manager keeps the frame it gives back.
  FFullScreen = full;
  FCoveredScreen = false;
  FFitPending = false;
  FSizeWhenNormal = QSize();
  if (full) {
    FRestoreMaximized = states.testFlag(Qt::WindowMaximized);
    FRestoreGeometry = QRect();
  }
  if (OnFullScreenChange) OnFullScreenChange(this);
}

void TFormBase::WindowActivated() {
  if (FFocused) NotifyAccessibleFocus(FFocused);
}

void TFormBase::Close() {
  TCloseResult action = TCloseResult::Hide;
  if (OnClose) OnClose(this, action);
  if (action == TCloseResult::Keep) return;
  if (Application && Application->MainForm() == this) {
    Application->Terminate();
    return;
  }
  Hide();
}

void TFormBase::Invalidate() {
  FWindow->Compositor().WholeChanged();
  FWindow->update();
}

void TFormBase::InvalidateScene(TControl*) { FWindow->update(); }

void TFormBase::DoCreate() {
  if (OnCreate) OnCreate(this);
}

float TFormBase::Scale() const { return static_cast<float>(FWindow->devicePixelRatio()); }

TControl* TFormBase::FillCoveredBy() const {
  if (AlphaOf(FFill) != 0xFF) return nullptr;
  for (TControl* c : FControls) {
    if (!c->Visible()) continue;
    const bool covers = c->CanTakeWindowFill() && c->Position().X() <= 0 && c->Position().Y() <= 0 &&
                        c->Position().X() + c->Width() >= static_cast<float>(ClientWidth()) &&
                        c->Position().Y() + c->Height() >= static_cast<float>(ClientHeight());
    return covers ? c : nullptr;
  }
  return nullptr;
}

void TFormBase::PaintFill(TCanvas2D& ACanvas) {
  if (const TWindowFrame* frame = ACanvas.Frame(); frame && frame->Device) {
    if (frame->FillTakenBy) return;
    // A clear of the whole window costs a fraction of a painted rectangle as large on a
    // software renderer, and the window is painted in full at every frame.
    ACanvas.DrawWithOpenGL([&] { frame->Device->ClearWindow(frame->Target, FFill); });
    return;
  }
  const QColor fill(RedOf(FFill), GreenOf(FFill), BlueOf(FFill), AlphaOf(FFill));
  QPainter& painter = ACanvas.Painter();
  painter.setCompositionMode(QPainter::CompositionMode_Source);
  painter.fillRect(QRect(QPoint(0, 0), FWindow->size()), fill);
  painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
}

void TFormBase::Resized() {
  // Aligned top-level controls follow the client area.
  const float w = static_cast<float>(ClientWidth());
  const float h = static_cast<float>(ClientHeight());
  float top = 0;
  for (TControl* c : Controls()) {
    if (c->Align() == TAlignMode::Client || c->Align() == TAlignMode::Contents) {
      c->SetBounds(0, 0, w, h);
    } else if (c->Align() == TAlignMode::Top) {
      c->SetBounds(0, top, w, c->Height());
      top += c->Height();
    }
  }
  if (OnResize) OnResize(this);
}

void TFormBase::PaintContent(TCanvas2D& ACanvas) {
  for (TControl* c : Controls())
    if (c->Visible()) c->PaintTree(ACanvas);
  if (!ACanvas.PainterBegun()) return;
  ACanvas.Painter().resetTransform();
  ACanvas.Painter().setOpacity(1);
}

void TFormBase::SetCaptured(TControl* AControl) {
  if (FCaptured == AControl) return;
  FCaptured = AControl;
  // The platform grab keeps moves and the release coming while the pointer is outside.
  FWindow->setMouseGrabEnabled(AControl != nullptr);
}

void TFormBase::SetFocused(TControl* AControl) {
  FFocusFromKeyboard = false;
  if (FFocused == AControl) return;
  TControl* old = FFocused;
  FFocused = AControl;
  if (old) old->Repaint();
  if (AControl) AControl->Repaint();
  NotifyAccessibleFocus(AControl);
}

TPointF TFormBase::ScreenPointer() const {
  const QPoint p = QCursor::pos(FWindow->screen());
  return {static_cast<float>(p.x()), static_cast<float>(p.y())};
}

void TFormBase::ControlDestroyed(TControl* AControl) {
  // A parent going takes its children with it, and they can no longer reach the root.
  if (IsSelfOrDescendant(FCaptured, AControl)) SetCaptured(nullptr);
  if (IsSelfOrDescendant(FFocused, AControl)) FFocused = nullptr;
  if (FInput) FInput->ControlDestroyed(AControl);
  ForgetAccessible(AControl);
}

void TFormBase::ListControls() {
  FControls.clear();
  for (TSceneObject* o : Children())
    if (auto* control = dynamic_cast<TControl*>(o)) FControls.push_back(control);
}

void TFormBase::ControlVisibleChanged(TControl* AControl) { NotifyAccessibleShown(AControl); }

void TFormBase::DoAddObject(TSceneObject* AObject) {
  ListControls();
  if (auto* c = dynamic_cast<TControl*>(AObject)) {
    c->SetRoot(this);
    Invalidate();
  }
}

void TFormBase::DoRemoveObject(TSceneObject* AObject) {
  // The child has left the list of children already; one going away is no control
  // any more by now.
  ListControls();
  if (auto* c = dynamic_cast<TControl*>(AObject)) {
    ControlDestroyed(c);
    c->SetRoot(nullptr);
    Invalidate();
  }
}

namespace {

bool Focusable(const TControl* AControl) {
  return AControl->Visible() && AControl->Enabled() && AControl->CanFocus();
}

// Buttons of which one marks the current choice are one stop for Tab, as a group of
// radio buttons is: the arrow keys move within it (TButton::KeyDown).
bool InChoiceGroup(const TControl* AControl) {
  const auto* b = dynamic_cast<const TButton*>(AControl);
  return b && b->MarksCurrent;
}

// The member of the choice group among AControls that Tab stops at: the focused one,
// else the current choice, else the first in tab order.
TControl* ChoiceGroupStop(const std::vector<TControl*>& AControls, const TControl* AFocused) {
  TControl* stop = nullptr;
  for (TControl* c : AControls) {
    if (!InChoiceGroup(c) || !Focusable(c)) continue;
    if (c == AFocused) return c;
    if (!stop || (static_cast<TButton*>(c)->Current() && !static_cast<TButton*>(stop)->Current())) stop = c;
  }
  return stop;
}

void CollectFocusable(TControl* AControl, const TControl* AFocused, std::vector<TControl*>& AOut) {
  if (!AControl->Visible() || !AControl->Enabled()) return;
  if (AControl->CanFocus()) AOut.push_back(AControl);
  std::vector<TControl*> children = AControl->Controls();
  std::stable_sort(children.begin(), children.end(),
                   [](TControl* a, TControl* b) { return a->TabOrder() < b->TabOrder(); });
  // The group takes the place of its first member in tab order.
  TControl* groupStop = ChoiceGroupStop(children, AFocused);
  bool groupSeen = false;
  for (TControl* c : children) {
    if (InChoiceGroup(c) && Focusable(c)) {
      if (!groupSeen) CollectFocusable(groupStop, AFocused, AOut);
      groupSeen = true;
      continue;
    }
    CollectFocusable(c, AFocused, AOut);
  }
}

}  // namespace

void TFormBase::FocusByKeyboard(TControl* AControl) {
  SetFocused(AControl);
  FFocusFromKeyboard = AControl != nullptr;
  if (AControl) AControl->Repaint();
}

void TFormBase::FocusNext(bool ABackward) {
  std::vector<TControl*> order;
  for (TControl* c : Controls()) CollectFocusable(c, FFocused, order);
  if (order.empty()) return;
  auto it = std::find(order.begin(), order.end(), FFocused);
  int i = it == order.end() ? (ABackward ? 0 : -1) : static_cast<int>(it - order.begin());
  const int n = static_cast<int>(order.size());
  i = ((ABackward ? i - 1 : i + 1) % n + n) % n;
  FocusByKeyboard(order[static_cast<size_t>(i)]);
}

namespace {

// A control can be seen and used only when it and every control it sits in are visible
// and enabled: a button on a hidden panel is hidden too, whatever its own flag says.
bool ShownAndEnabled(const TControl* AControl) {
  for (const TControl* c = AControl; c; c = c->ParentControl())
    if (!c->Visible() || !c->Enabled()) return false;
  return true;
}

}  // namespace

bool TFormBase::KeyDown(int AKey, Qt::KeyboardModifiers AShift) {
  if (AKey == Qt::Key_Tab || AKey == Qt::Key_Backtab) {
    FocusNext((AShift & Qt::ShiftModifier) || AKey == Qt::Key_Backtab);
    return true;
  }
  // The focus of a control hidden with its parent is dropped, not kept for later: the
  // key goes on to the window as if nothing had the focus.
  if (FFocused && !ShownAndEnabled(FFocused)) SetFocused(nullptr);
  if (FFocused && FFocused->KeyDown(AKey)) return true;
  if (!OnKeyDown) return false;
  int key = AKey;
  OnKeyDown(this, key, AShift);
  return key == 0;
}

}  // namespace sphaerix
