// Pointer, wheel and gesture event types, shared by every control.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>

#include "scene/nodes/math3d.h"

namespace sphaerix {

class TSceneObject;

enum class TMouseButton { mbLeft, mbRight, mbMiddle };

// Bits 0 to 10 in this order: ssShift, ssAlt, ssCtrl, ssLeft, ssRight, ssMiddle, ssDouble,
// ssTouch, ssPen, ssCommand, ssHorizontal.
enum TShiftStateFlag : std::uint16_t {
  ssShift = 1 << 0,
  ssAlt = 1 << 1,
  ssCtrl = 1 << 2,
  ssLeft = 1 << 3,
  ssRight = 1 << 4,
  ssMiddle = 1 << 5,
  ssDouble = 1 << 6,
  ssTouch = 1 << 7,
  ssPen = 1 << 8,
  ssCommand = 1 << 9,
  ssHorizontal = 1 << 10,
};

struct TShiftState {
  std::uint16_t Bits = 0;
  constexpr TShiftState() = default;
  constexpr TShiftState(std::uint16_t ABits) : Bits(ABits) {}
  constexpr bool Contains(TShiftStateFlag f) const { return (Bits & f) != 0; }
  constexpr TShiftState operator+(TShiftStateFlag f) const {
    return TShiftState(static_cast<std::uint16_t>(Bits | f));
  }
  constexpr TShiftState operator-(TShiftStateFlag f) const {
    return TShiftState(static_cast<std::uint16_t>(Bits & ~f));
  }
  constexpr TShiftState operator|(TShiftState o) const {
    return TShiftState(static_cast<std::uint16_t>(Bits | o.Bits));
  }
  constexpr bool Empty() const { return Bits == 0; }
  constexpr bool operator==(TShiftState o) const { return Bits == o.Bits; }
  constexpr bool operator!=(TShiftState o) const { return Bits != o.Bits; }
};

// The interactive gestures, in the order whose ids are 259 ... 265.
enum class TInteractiveGesture { Zoom, Pan, Rotate, TwoFingerTap, PressAndTap, LongTap, DoubleTap };

struct TInteractiveGestures {
  std::uint8_t Bits = 0;
  constexpr TInteractiveGestures() = default;
  constexpr TInteractiveGestures(std::initializer_list<TInteractiveGesture> AList) {
    for (TInteractiveGesture g : AList) Bits = static_cast<std::uint8_t>(Bits | (1u << static_cast<int>(g)));
  }
  constexpr bool Contains(TInteractiveGesture g) const { return (Bits & (1u << static_cast<int>(g))) != 0; }
  constexpr bool Empty() const { return Bits == 0; }
  constexpr TInteractiveGestures operator|(TInteractiveGestures o) const {
    TInteractiveGestures r;
    r.Bits = static_cast<std::uint8_t>(Bits | o.Bits);
    return r;
  }
  constexpr bool operator==(TInteractiveGestures o) const { return Bits == o.Bits; }
};

using TGestureID = std::int16_t;

constexpr TGestureID igiZoom = 259;
constexpr TGestureID igiPan = 260;
constexpr TGestureID igiRotate = 261;
constexpr TGestureID igiTwoFingerTap = 262;
constexpr TGestureID igiPressAndTap = 263;
constexpr TGestureID igiLongTap = 264;
constexpr TGestureID igiDoubleTap = 265;

// Ids of the stroke gestures a gesture manager matches: a stroke to the left, one to the right.
constexpr TGestureID StrokeLeftGesture = 1;
constexpr TGestureID StrokeRightGesture = 2;

enum TInteractiveGestureFlag : std::uint8_t { gfBegin = 1, gfInertia = 2, gfEnd = 4 };

struct TGestureEventInfo {
  TGestureID GestureID = 0;
  TPointF Location;
  std::uint8_t Flags = 0;  // TInteractiveGestureFlag bits
  double Angle = 0;
  TPointF InertiaVector;
  std::int32_t Distance = 0;
  TPointF TapLocation;
};

using TMouseEvent = std::function<void(TSceneObject* Sender, TMouseButton Button, TShiftState Shift, float X, float Y)>;
using TMouseMoveEvent = std::function<void(TSceneObject* Sender, TShiftState Shift, float X, float Y)>;
using TMouseWheelEvent = std::function<void(TSceneObject* Sender, TShiftState Shift, int WheelDelta, bool& Handled)>;
using TNotifyEvent = std::function<void(TSceneObject* Sender)>;
using TGestureEvent = std::function<void(TSceneObject* Sender, const TGestureEventInfo& EventInfo, bool& Handled)>;

}  // namespace sphaerix
