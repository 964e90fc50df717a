// Recognition of the zoom and double-tap gestures from raw multi-touch reports, and their
// delivery to the control that enabled them.
#pragma once

#include <memory>
#include <vector>

#include "scene/input/control.h"
#include "scene/input/events.h"

namespace sphaerix {

class IPlatformTimer;

enum class TTouchAction { Down, Move, Up };

// One contact of a raw report; Location in logical window client coordinates.
struct TTouchPoint {
  int Id = 0;
  TPointF Location;
  TTouchAction Action = TTouchAction::Move;
};

// What the recogniser needs from its window.
class ITouchHost {
 public:
  virtual ~ITouchHost() = default;
  // The control under a point of the window's client area (nullptr: none).
  virtual TControl* ObjectAtPoint(TPointF APoint) const = 0;
  // Physical pixels per logical pixel.
  virtual float RootScale() const = 0;
  // The gestures recognised at all: those some control has enabled.
  virtual TInteractiveGestures EnabledGestures() const = 0;
};

class TTouchRecognizer {
 public:
  static constexpr int DoubleTapTimeMs = 300;
  // Farther than this (in physical pixels) between two reports and it is no tap.
  static constexpr float DoubleTapMovement = 10;
  // A zoom step needs a finger distance above this and a change above this per report.
  static constexpr float ZoomThreshold = 2;

  explicit TTouchRecognizer(ITouchHost& AHost);
  ~TTouchRecognizer();
  TTouchRecognizer(const TTouchRecognizer&) = delete;
  TTouchRecognizer& operator=(const TTouchRecognizer&) = delete;

  // One raw report: every contact currently known to the platform, each with its action.
  void Report(const std::vector<TTouchPoint>& APoints);
  // The platform dropped every contact: ends a zoom in progress and forgets any tap.
  void Cancel();
  // Forgets AControl and everything below it (touch-down control, gesture target).
  void ControlDestroyed(TControl* AControl);

  TControl* TouchDownControl() const { return FTouchDown; }
  TControl* Target() const { return FTarget; }
  bool ZoomInProgress() const { return FZoomInProgress; }
  bool DoubleTapTimerRunning() const { return FTapTimerRunning; }
  // How many double taps a control has handled so far; the input adapter uses it to
  // tell a double tap from the double click the platform emulates for the same taps.
  unsigned HandledDoubleTaps() const { return FHandledDoubleTaps; }

 private:
  struct TContact {
    int Id;
    TPointF Location;
  };
  struct TPending {
    TGestureEventInfo Info;
    TInteractiveGesture Gesture;
  };

  void RecognizeZoom(const std::vector<TContact>& ABefore, bool AAnyDown, size_t ARemaining,
                     std::vector<TPending>& AOut);
  void EndZoom(std::vector<TPending>& AOut);
  void RecognizeDoubleTap(TTouchAction AAction, std::vector<TPending>& AOut);
  void StartTapTimer();
  void StopTapTimer();
  void TapTimerFired();
  // Sends one gesture event; returns whether a control handled it.
  bool Deliver(const TGestureEventInfo& AInfo, TInteractiveGesture AGesture);
  TControl* FindTarget(TInteractiveGesture AGesture) const;

  ITouchHost& FHost;
  std::vector<TContact> FContacts;  // in the order they touched down
  TControl* FTouchDown = nullptr;
  TControl* FTarget = nullptr;
  bool FZoomInProgress = false;
  TGestureEventInfo FLastZoom;
  std::unique_ptr<IPlatformTimer> FTapTimer;
  bool FTapTimerRunning = false;
  bool FFirstTapMarked = false;
  TPointF FTapLast;
  unsigned FTapGeneration = 0;
  unsigned FHandledDoubleTaps = 0;
  // Timer callbacks that outlive the recogniser see it expire and do nothing.
  std::shared_ptr<char> FAlive = std::make_shared<char>();
};

}  // namespace sphaerix
