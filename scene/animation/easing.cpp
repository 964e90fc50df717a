#include "scene/animation/easing.h"

#include <algorithm>
#include <cmath>

namespace sphaerix {

namespace {

constexpr double kPi = 3.14159265358979323846;

double BounceOut(double x) {
  const double n = 7.5625, d = 2.75;
  if (x < 1 / d) return n * x * x;
  if (x < 2 / d) {
    x -= 1.5 / d;
    return n * x * x + 0.75;
  }
  if (x < 2.5 / d) {
    x -= 2.25 / d;
    return n * x * x + 0.9375;
  }
  x -= 2.625 / d;
  return n * x * x + 0.984375;
}

// The ease-in form of each curve on [0, 1]: 0 at 0, 1 at 1.
double EaseIn(TInterpolationType AInterpolation, double x) {
  switch (AInterpolation) {
    case TInterpolationType::Linear: return x;
    case TInterpolationType::Quadratic: return x * x;
    case TInterpolationType::Cubic: return x * x * x;
    case TInterpolationType::Quartic: return x * x * x * x;
    case TInterpolationType::Quintic: return x * x * x * x * x;
    case TInterpolationType::Sinusoidal: return 1 - std::cos(x * kPi / 2);
    case TInterpolationType::Exponential: return x <= 0 ? 0 : std::pow(2.0, 10 * (x - 1));
    case TInterpolationType::Circular: return 1 - std::sqrt(std::max(0.0, 1 - x * x));
    case TInterpolationType::Elastic: {
      if (x <= 0) return 0;
      if (x >= 1) return 1;
      const double p = 0.3, s = p / 4;
      return -std::pow(2.0, 10 * (x - 1)) * std::sin((x - 1 - s) * 2 * kPi / p);
    }
    case TInterpolationType::Back: {
      const double s = 1.70158;
      return x * x * ((s + 1) * x - s);
    }
    case TInterpolationType::Bounce: return 1 - BounceOut(1 - x);
  }
  return x;
}

}  // namespace

float InterpolateFraction(float T, TInterpolationType AInterpolation, TAnimationType AType) {
  if (AInterpolation == TInterpolationType::Linear) return T;
  const double x = T;
  double r = 0;
  switch (AType) {
    case TAnimationType::In: r = EaseIn(AInterpolation, x); break;
    case TAnimationType::Out: r = 1 - EaseIn(AInterpolation, 1 - x); break;
    case TAnimationType::InOut:
      r = x < 0.5 ? EaseIn(AInterpolation, 2 * x) / 2 : 1 - EaseIn(AInterpolation, 2 - 2 * x) / 2;
      break;
  }
  return static_cast<float>(r);
}

}  // namespace sphaerix
