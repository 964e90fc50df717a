// One picture comparer for the rendering tests: the largest and the mean difference of
// the channels (alpha included) between two pictures of the same size, over every
// pixel or over those a test names, and a check of both against stated thresholds.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>

#include "scene/material/bitmap.h"

namespace sphaerix::testing {

struct TPictureDifference {
  double Largest = 0;  // of one channel at one pixel, 0 to 255
  double Sum = 0;      // of each pixel's largest channel difference
  long Pixels = 0;     // compared
  long Beyond = 0;     // pixels with a channel apart by more than the tolerance asked
  double Mean() const { return Pixels ? Sum / double(Pixels) : 0; }
};

// The largest channel difference of two premultiplied pixels.
inline int PixelDifference(std::uint32_t A, std::uint32_t B) {
  int most = 0;
  for (int shift = 0; shift < 32; shift += 8)
    most = std::max(most, std::abs(int((A >> shift) & 255) - int((B >> shift) & 255)));
  return most;
}

// ACompared(x, y) picks the pixels (all when empty); ATolerance counts those beyond it.
// Pictures of different sizes differ wholly.
inline TPictureDifference ComparePictures(const TBitmap& A, const TBitmap& B, double ATolerance = 0,
                                          const std::function<bool(int, int)>& ACompared = {}) {
  TPictureDifference d;
  if (A.Width() != B.Width() || A.Height() != B.Height()) {
    d.Largest = 255;
    d.Sum = 255;
    d.Pixels = d.Beyond = 1;
    return d;
  }
  for (int y = 0; y < A.Height(); ++y) {
    const std::uint32_t *a = A.Scanline(y), *b = B.Scanline(y);
    for (int x = 0; x < A.Width(); ++x) {
      if (ACompared && !ACompared(x, y)) continue;
      const int m = a[x] == b[x] ? 0 : PixelDifference(a[x], b[x]);
      d.Largest = std::max(d.Largest, double(m));
      d.Sum += m;
      d.Beyond += m > ATolerance;
      ++d.Pixels;
    }
  }
  return d;
}

// No channel of any pixel apart by more than AMaxThreshold, and the mean of the pixels'
// largest differences at most AMeanThreshold.
inline ::testing::AssertionResult PicturesMatch(const TBitmap& A, const TBitmap& B, double AMaxThreshold,
                                                double AMeanThreshold) {
  const TPictureDifference d = ComparePictures(A, B);
  if (d.Largest <= AMaxThreshold && d.Mean() <= AMeanThreshold) return ::testing::AssertionSuccess();
  char text[160];
  std::snprintf(text, sizeof text, "pictures differ: largest %.0f (at most %.0f), mean %.3f (at most %.3f)",
                d.Largest, AMaxThreshold, d.Mean(), AMeanThreshold);
  return ::testing::AssertionFailure() << text;
}

}  // namespace sphaerix::testing
