// The curves that map an animation's elapsed-time fraction to the fraction of its way.
#pragma once

namespace sphaerix {

enum class TInterpolationType {
  Linear,
  Quadratic,
  Cubic,
  Quartic,
  Quintic,
  Sinusoidal,
  Exponential,
  Circular,
  Elastic,
  Back,
  Bounce
};

enum class TAnimationType { In, Out, InOut };

// The fraction 0..1 that the curve AInterpolation gives for the time fraction T (0..1);
// In eases the start, Out the end, InOut both.
float InterpolateFraction(float T, TInterpolationType AInterpolation, TAnimationType AType);

}  // namespace sphaerix
