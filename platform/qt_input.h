// The thin layer between Qt's input events and the window input of the scene layer:
// mouse presses, releases, double clicks, moves, the vertical wheel, leaving the window
// and raw touch points become TWindowInput operations in logical, rounded coordinates.
#pragma once

#include <QPointF>
#include <QPointer>
#include <QTimer>
#include <QWindow>
#include <memory>
#include <vector>

#include "scene/window_input.h"

class QEvent;
class QMouseEvent;
class QPaintDeviceWindow;
class QSinglePointEvent;
class QTouchEvent;
class QWheelEvent;

namespace sphaerix {

class TFormWindow;

// The window-system side TWindowInput needs, for one Qt window.
class TQtInputHost : public IWindowInputHost {
 public:
  explicit TQtInputHost(QPaintDeviceWindow& AWindow);
  void InvalidateRoot() override;
  float RootScale() const override;
  // Where the last pointer event happened on the screen (before any: the cursor's position).
  TPointF ScreenPointer() const override;
  void SetPointerGrab(bool AGrab) override;
  void SetLastScreenPosition(QPointF APosition);

 private:
  QPointer<QPaintDeviceWindow> FWindow;
  bool FHasScreenPosition = false;
  QPointF FScreenPosition;
};

class TQtInputAdapter {
 public:
  // AHost, when given, learns the screen position of each pointer event.
  explicit TQtInputAdapter(TWindowInput& AInput, TQtInputHost* AHost = nullptr);
  ~TQtInputAdapter();
  TQtInputAdapter(const TQtInputAdapter&) = delete;
  TQtInputAdapter& operator=(const TQtInputAdapter&) = delete;

  // Translates one event of the window; returns true when it was consumed. Touch events
  // are never consumed, so Qt still emulates the mouse from them.
  bool HandleEvent(QEvent* AEvent);
  // Sends a press that was held back to see whether Qt's double-click event follows.
  void FlushPendingPress();

  // The shift state of a pointer event: keys, held buttons, and the touch and pen marks.
  static TShiftState ShiftOf(const QSinglePointEvent& AEvent);

 private:
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
  void NoteScreenPosition(const QSinglePointEvent& AEvent);

  TWindowInput& FInput;
  TQtInputHost* FHost;
  bool FHasPending = false;
  TPress FPending{};
  QTimer FFlushTimer;
  // A touch-emulated double click waits for its release: only then is it known whether
  // the same taps were taken as a double-tap gesture.
  bool FHasTouchDouble = false;
  TPress FTouchDouble{};
  unsigned FTapsAtTouchDouble = 0;
  std::vector<TMove> FHeldMoves;
  QPointer<QWindow> FWindow;
  friend std::unique_ptr<TQtInputAdapter> InstallInputAdapter(TFormWindow&, TWindowInput&, TQtInputHost*);
};

// Routes the input events of AWindow to AInput. Destroy the result before AInput; it
// detaches itself from the window when it goes. AHost (when AInput was built on one)
// learns where on the screen each pointer event happened, for the popup menu.
std::unique_ptr<TQtInputAdapter> InstallInputAdapter(TFormWindow& AWindow, TWindowInput& AInput,
                                                     TQtInputHost* AHost = nullptr);

}  // namespace sphaerix
