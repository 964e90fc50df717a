#include "platform/qt_input.h"

#include <QCursor>
#include <QEvent>
#include <QInputDevice>
#include <QMouseEvent>
#include <QPointingDevice>
#include <QTouchEvent>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <exception>

#include "platform/guarded_call.h"

namespace sphaerix {

namespace {

bool ButtonOf(Qt::MouseButton AButton, TMouseButton& AResult) {
  switch (AButton) {
    case Qt::LeftButton: AResult = TMouseButton::mbLeft; return true;
    case Qt::RightButton: AResult = TMouseButton::mbRight; return true;
    case Qt::MiddleButton: AResult = TMouseButton::mbMiddle; return true;
    default: return false;
  }
}

// Qt's positions are already logical; the window works in whole logical pixels.
float Whole(qreal AValue) { return static_cast<float>(std::round(AValue)); }

}  // namespace

TQtInputAdapter::TQtInputAdapter(TWindowInput& AInput) : FInput(AInput) {
  FFlushTimer.setSingleShot(true);
  FFlushTimer.setInterval(0);
  QObject::connect(&FFlushTimer, &QTimer::timeout, [this] { GuardedCall([this] { FlushPendingPress(); }); });
}

TShiftState TQtInputAdapter::ShiftOf(const QSinglePointEvent& AEvent) {
  TShiftState s;
  const Qt::KeyboardModifiers mods = AEvent.modifiers();
  if (mods & Qt::ShiftModifier) s = s + ssShift;
  if (mods & Qt::AltModifier) s = s + ssAlt;
  if (mods & Qt::ControlModifier) s = s + ssCtrl;
  const Qt::MouseButtons buttons = AEvent.buttons();
  if (buttons & Qt::LeftButton) s = s + ssLeft;
  if (buttons & Qt::RightButton) s = s + ssRight;
  if (buttons & Qt::MiddleButton) s = s + ssMiddle;
  if (const QPointingDevice* device = AEvent.pointingDevice()) {
    if (device->type() == QInputDevice::DeviceType::TouchScreen) s = s + ssTouch;
    if (device->pointerType() == QPointingDevice::PointerType::Pen ||
        device->pointerType() == QPointingDevice::PointerType::Eraser)
      s = s + ssPen;
  }
  if (AEvent.type() != QEvent::Wheel) {
    const Qt::MouseEventSource source = static_cast<const QMouseEvent&>(AEvent).source();
    if (source == Qt::MouseEventSynthesizedBySystem || source == Qt::MouseEventSynthesizedByQt) s = s + ssTouch;
  }
  return s;
}

bool TQtInputAdapter::HandleEvent(QEvent* AEvent) {
  switch (AEvent->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseMove: {
      const auto& e = *static_cast<QMouseEvent*>(AEvent);
      TMouseButton button;
      if (AEvent->type() != QEvent::MouseMove && !ButtonOf(e.button(), button)) return false;
      GuardedCall([&] {
        if (AEvent->type() == QEvent::MouseButtonPress)
          Press(e);
        else if (AEvent->type() == QEvent::MouseButtonDblClick)
          DoubleClick(e);
        else if (AEvent->type() == QEvent::MouseButtonRelease)
          Release(e);
        else
          Move(e);
      });
      return true;
    }
    case QEvent::Wheel: {
      bool used = true;  // a failing handler still used the turn
      GuardedCall([&] { used = Wheel(*static_cast<QWheelEvent*>(AEvent)); });
      return used;
    }
    case QEvent::Enter:
      FInput.MouseEnter();
      return false;
    case QEvent::Leave:
      GuardedCall([&] {
        FlushPendingPress();
        ResolveTouchDoubleClick();
        FInput.MouseLeave();
      });
      return false;
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
      GuardedCall([&] { Touch(*static_cast<QTouchEvent*>(AEvent)); });
      return false;  // Qt's default handling emulates the mouse from the touch
    case QEvent::TouchCancel:
      GuardedCall([&] { FInput.TouchCancel(); });
      return false;
    default:
      return false;
  }
}

void TQtInputAdapter::Deliver(const TPress& APress) {
  FInput.MouseDown(APress.Button, APress.Shift, Whole(APress.Position.x()), Whole(APress.Position.y()));
}

// Qt sends a double click as an ordinary press followed at once by a separate
// double-click event. The press is held until it is clear which of the two it is.
void TQtInputAdapter::Press(const QMouseEvent& AEvent) {
  ResolveTouchDoubleClick();
  const bool hadPending = FHasPending;
  const TPress previous = FPending;
  FPending = {TMouseButton::mbLeft, ShiftOf(AEvent), AEvent.position(), false};
  ButtonOf(AEvent.button(), FPending.Button);
  FPending.FromTouch = FPending.Shift.Contains(ssTouch);
  FHasPending = true;
  FFlushTimer.start();
  if (hadPending) Deliver(previous);
}

void TQtInputAdapter::FlushPendingPress() {
  if (!FHasPending) return;
  FHasPending = false;
  FFlushTimer.stop();
  Deliver(FPending);
}

void TQtInputAdapter::DoubleClick(const QMouseEvent& AEvent) {
  TMouseButton button = TMouseButton::mbLeft;
  ButtonOf(AEvent.button(), button);
  // Without its press still held the press already went out as a plain one; a second
  // press now would leave a press without its release.
  if (!FHasPending || FPending.Button != button) return;
  FHasPending = false;
  FFlushTimer.stop();
  TPress press = FPending;
  press.Shift = press.Shift + ssDouble;
  if (press.FromTouch) {
    FHasTouchDouble = true;
    FTouchDouble = press;
    FTapsAtTouchDouble = FInput.TouchRecognizer().HandledDoubleTaps();
    return;
  }
  Deliver(press);
}

// The taps that made this emulated double click were taken as a double tap already: the
// press goes out as a plain one, so the panel is not toggled twice.
void TQtInputAdapter::ResolveTouchDoubleClick() {
  if (!FHasTouchDouble) return;
  FHasTouchDouble = false;
  TPress press = FTouchDouble;
  if (FInput.TouchRecognizer().HandledDoubleTaps() != FTapsAtTouchDouble) press.Shift = press.Shift - ssDouble;
  std::vector<TMove> moves;
  moves.swap(FHeldMoves);
  Deliver(press);
  for (const TMove& m : moves) FInput.MouseMove(m.Shift, Whole(m.Position.x()), Whole(m.Position.y()));
}

void TQtInputAdapter::Release(const QMouseEvent& AEvent) {
  FlushPendingPress();
  ResolveTouchDoubleClick();
  TMouseButton button = TMouseButton::mbLeft;
  ButtonOf(AEvent.button(), button);
  FInput.MouseUp(button, ShiftOf(AEvent), Whole(AEvent.position().x()), Whole(AEvent.position().y()), true);
}

void TQtInputAdapter::Move(const QMouseEvent& AEvent) {
  FlushPendingPress();
  if (FHasTouchDouble) {
    FHeldMoves.push_back({ShiftOf(AEvent), AEvent.position()});
    return;
  }
  FInput.MouseMove(ShiftOf(AEvent), Whole(AEvent.position().x()), Whole(AEvent.position().y()));
}

bool TQtInputAdapter::Wheel(const QWheelEvent& AEvent) {
  const int delta = AEvent.angleDelta().y();
  if (delta == 0) return false;  // the horizontal wheel is not handled
  FlushPendingPress();
  ResolveTouchDoubleClick();
  // The platform's wheel delta is a signed 16-bit quantity.
  const int clamped = std::clamp(delta, -32768, 32767);
  FInput.MouseWheel(ShiftOf(AEvent), clamped, Whole(AEvent.position().x()), Whole(AEvent.position().y()));
  return true;
}

void TQtInputAdapter::Touch(const QTouchEvent& AEvent) {
  const QInputDevice* device = AEvent.device();
  if (device && device->type() != QInputDevice::DeviceType::TouchScreen) return;
  FlushPendingPress();
  std::vector<TTouchPoint> points;
  points.reserve(AEvent.points().size());
  for (const QEventPoint& p : AEvent.points()) {
    TTouchPoint t;
    t.Id = p.id();
    t.Location = {static_cast<float>(p.position().x()), static_cast<float>(p.position().y())};
    switch (p.state()) {
      case QEventPoint::State::Pressed: t.Action = TTouchAction::Down; break;
      case QEventPoint::State::Released: t.Action = TTouchAction::Up; break;
      default: t.Action = TTouchAction::Move; break;
    }
    points.push_back(t);
  }
  FInput.TouchReport(points);
}

}  // namespace sphaerix
