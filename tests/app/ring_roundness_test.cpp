// The ring pictures are circles round their centres, so a ring looks the same however it
// is turned about its axis; a picture that is not must not pass for one.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>

#include "platform/qt_runtime.h"
#include "platform/resource_stream.h"
#include "scene/material/bitmap.h"
#include "scene/material/material.h"

namespace sphaerix {
namespace {

void Load(TBitmap& ABitmap, const char* AName) {
  TResourceStream stream(AName);
  ABitmap.LoadFromStream(stream);
}

TEST(RingRoundness, RingsAreRoundAndClearBeforeTheDisksEdge) {
  QtRuntime runtime;
  for (const char* name : {"SaturnRing", "UranusRing"}) {
    TBitmap bitmap;
    Load(bitmap, name);
    TTexture texture(bitmap);
    EXPECT_TRUE(texture.Round()) << name;
    // The disk's 50 segments keep their edges 0.4990 from the centre.
    EXPECT_LT(texture.ClearBeyond(), 0.499f) << name;
  }
}

TEST(RingRoundness, AnythingElseIsNot) {
  QtRuntime runtime;
  TBitmap ring;
  Load(ring, "SaturnRing");
  const int size = ring.Width();
  const struct {
    const char* Name;
    std::function<void(TBitmap&)> Change;
  } cases[] = {
      {"a spot on a ring", [&](TBitmap& b) { b.SetPixel(size / 2 + size / 3, size / 2 + 7, 0xFFFFFFFF); }},
      {"off centre by a pixel",
       [&](TBitmap& b) {
         for (int y = 0; y < size; ++y) std::memmove(b.Scanline(y) + 1, b.Scanline(y), (size - 1) * 4);
       }},
      {"a square", [&](TBitmap& b) { b.Clear(0x80808080); }},
      {"a square frame round the centre",
       [&](TBitmap& b) {
         b.Clear(0);
         for (int y = 0; y < size; ++y)
           for (int x = 0; x < size; ++x) {
             const int d = std::max(std::abs(2 * x + 1 - size), std::abs(2 * y + 1 - size)) / 2;
             if (d >= size / 4 && d < size / 4 + 4) b.SetPixel(x, y, 0xFFFFFFFF);
           }
       }},
      {"a map twice as wide", [&](TBitmap& b) { b.SetSize(size, size / 2); }},
  };
  for (const auto& c : cases) {
    TBitmap bitmap;
    bitmap.Assign(ring);
    c.Change(bitmap);
    TTexture texture(bitmap);
    EXPECT_FALSE(texture.Round()) << c.Name;
  }
}

}  // namespace
}  // namespace sphaerix
