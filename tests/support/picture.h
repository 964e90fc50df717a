// Pixel checks: colours read from pictures and compared channel by channel within a
// stated tolerance, at positions taken from the controls on screen.
#pragma once

#include <gtest/gtest.h>

#include <QImage>
#include <QPoint>
#include <cmath>
#include <cstdio>
#include <string>

#include "scene/input/control.h"
#include "scene/material/color.h"

namespace sphaerix::testing {

// The channels of a pixel, 0 to 255 (premultiplied where the picture is).
struct Rgba {
  double R = 0, G = 0, B = 0, A = 255;
};

inline Rgba Channels(TAlphaColor AColour) {
  return {double(RedOf(AColour)), double(GreenOf(AColour)), double(BlueOf(AColour)), double(AlphaOf(AColour))};
}

inline Rgba ColourAt(const QImage& AImage, QPoint APoint) {
  const QColor c = AImage.pixelColor(APoint);
  return {double(c.red()), double(c.green()), double(c.blue()), double(c.alpha())};
}

// Every channel of AActual within ATolerance of AExpected; the message names them all.
inline ::testing::AssertionResult ColourNear(const Rgba& AActual, const Rgba& AExpected, double ATolerance) {
  const double d = std::fmax(std::fmax(std::fabs(AActual.R - AExpected.R), std::fabs(AActual.G - AExpected.G)),
                             std::fmax(std::fabs(AActual.B - AExpected.B), std::fabs(AActual.A - AExpected.A)));
  if (d <= ATolerance) return ::testing::AssertionSuccess();
  char text[200];
  std::snprintf(text, sizeof text, "(%.1f, %.1f, %.1f, %.1f) is not within %.1f of (%.1f, %.1f, %.1f, %.1f)",
                AActual.R, AActual.G, AActual.B, AActual.A, ATolerance, AExpected.R, AExpected.G, AExpected.B,
                AExpected.A);
  return ::testing::AssertionFailure() << text;
}

// The pixel at (AFractionX, AFractionY) of ARect (window coordinates, logical pixels) in
// a picture of the window at AScale physical pixels per logical one.
inline QPoint PixelIn(const TRectF& ARect, double AFractionX, double AFractionY, double AScale) {
  return QPoint(int(std::lround((ARect.Left + (ARect.Right - ARect.Left) * AFractionX) * AScale)),
                int(std::lround((ARect.Top + (ARect.Bottom - ARect.Top) * AFractionY) * AScale)));
}

}  // namespace sphaerix::testing
