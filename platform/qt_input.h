// The thin layer between Qt's input events and the window input of the scene layer:
// mouse presses, releases, double clicks, moves, the vertical wheel, leaving the window
// and raw touch points become TWindowInput operations in logical, rounded coordinates.
#pragma once

#include <QPointF>
#include <QTimer>
#include <QWindow>
#include <memory>
#include <vector>

#include "scene/input/window_input.h"

class QEvent;
class QMouseEvent;
class QSinglePointEvent;
class QTouchEvent;
class QWheelEvent;

namespace sphaerix {

class TQtInputAdapter {
 public:
  explicit TQtInputAdapter(TWindowInput& AInput);
  TQtInputAdapter(const TQtInputAdapter&) = delete;
  TQtInputAdapter& operator=(const TQtInputAdapter&) = delete;

  // Translates one event of the window; returns true when it was consumed. Touch events
  // are never consumed, so Qt still emulates the mouse from them.
  bool HandleEvent(QEvent* AEvent);

 private:
  // Sends a press that was held back to see whether Qt's double-click event follows.
  void FlushPendingPress();
  // The shift state of a pointer event: keys, held buttons, and the touch and pen marks.
  static TShiftState ShiftOf(const QSinglePointEvent& AEvent);

  struct TPress {
    TMouseButton Button;
    TShiftState Shift;
    QPointF Position;
    bool FromTouch;
  };
  struct TMove {
    TShiftState Shift;
    QPointF Position;
  };

  void Press(const QMouseEvent& AEvent);
  void DoubleClick(const QMouseEvent& AEvent);
  void Release(const QMouseEvent& AEvent);
  void Move(const QMouseEvent& AEvent);
  bool Wheel(const QWheelEvent& AEvent);
  void Touch(const QTouchEvent& AEvent);
  void ResolveTouchDoubleClick();
  void Deliver(const TPress& APress);

  TWindowInput& FInput;
  bool FHasPending = false;
  TPress FPending{};
  QTimer FFlushTimer;
  // A touch-emulated double click waits for its release: only then is it known whether
  // the same taps were taken as a double-tap gesture.
  bool FHasTouchDouble = false;
  TPress FTouchDouble{};
  unsigned FTapsAtTouchDouble = 0;
  std::vector<TMove> FHeldMoves;
};

}  // namespace sphaerix
