// Resource streams: found by name ignoring case, read in place, a clear error otherwise.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "platform/bitmap_codecs.h"
#include "platform/qt_runtime.h"
#include "platform/resource_stream.h"
#include "scene/material/bitmap.h"

namespace sphaerix {
namespace {

const unsigned char KEarth[] = {0xFF, 0xD8, 0xFF, 1, 2, 3, 4};
const unsigned char KMoon[] = {9, 8};
const TResourceEntry KTable[] = {
    {"JPGIMAGE_1", KEarth, sizeof KEarth},
    {"JPGIMAGE_10", KMoon, sizeof KMoon},
};

TEST(ResourceStreamTest, FindsByNameIgnoringCaseAndReadsInPlace) {
  for (const char* name : {"JpgImage_1", "jpgimage_1", "JPGIMAGE_1"}) {
    TResourceStream stream(KTable, 2, name);
    EXPECT_EQ(stream.Size(), 7);
    EXPECT_EQ(stream.Memory(), KEarth) << "no copy";
    EXPECT_EQ(stream.Position(), 0);
  }
  TResourceStream moon(KTable, 2, "JpgImage_10");
  EXPECT_EQ(moon.Memory(), KMoon) << "a prefix is no match";

  TResourceStream stream(KTable, 2, "JpgImage_1");
  unsigned char buffer[8] = {};
  stream.SetPosition(5);
  EXPECT_EQ(stream.Read(buffer, 8), 2);
  EXPECT_EQ(buffer[0], 3);
  EXPECT_EQ(stream.Read(buffer, 8), 0);
  EXPECT_EQ(stream.Seek(-3, TSeekOrigin::End), 4);
  EXPECT_EQ(stream.Seek(-10, TSeekOrigin::Current), 0);
  EXPECT_EQ(stream.Seek(20, TSeekOrigin::Beginning), 20);
  EXPECT_EQ(stream.Read(buffer, 1), 0);
}

TEST(ResourceStreamTest, MissingResourceNamesItself) {
  for (const char* name : {"JpgImage_2", "JpgImage_", ""}) {
    try {
      TResourceStream stream(KTable, 2, name);
      ADD_FAILURE() << name << " found";
    } catch (const EResourceNotFound& e) {
      EXPECT_EQ(std::string(e.what()), std::string("Resource ") + name + " not found");
    }
  }
  // The program's own table works the same way.
  EXPECT_THROW(TResourceStream("NoSuchImage_99"), EResourceNotFound);
}

// The fourteen surface maps the program carries: 4096 x 2048, opaque, the Enceladus map
// (12) grey. Skipped while the build embeds no images.
TEST(ResourceStreamTest, EmbeddedMapsDecode) {
  QtRuntime runtime;
  for (int i = 1; i <= 14; ++i) {
    const std::string name = "JpgImage_" + std::to_string(i);
    std::unique_ptr<TResourceStream> stream;
    try {
      stream = std::make_unique<TResourceStream>(name);
    } catch (const EResourceNotFound&) {
      GTEST_SKIP() << name << " is not embedded in this build";
    }
    TBitmap bitmap;
    bitmap.LoadFromStream(*stream);
    ASSERT_EQ(bitmap.Width(), 4096) << name;
    ASSERT_EQ(bitmap.Height(), 2048) << name;
    bool grey = true, opaque = true;
    for (int y = 0; y < 2048; y += 61)
      for (int x = 0; x < 4096; x += 67) {
        const TAlphaColor c = bitmap.Pixel(x, y);
        opaque = opaque && AlphaOf(c) == 255;
        grey = grey && RedOf(c) == GreenOf(c) && GreenOf(c) == BlueOf(c);
      }
    EXPECT_TRUE(opaque) << name;
    if (i == 12) {
      EXPECT_TRUE(grey) << name;
    }
  }
}

}  // namespace
}  // namespace sphaerix
