// Resource streams: found by name ignoring case, read in place, a clear error otherwise.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/resource_stream.h"

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
    } catch (const EResNotFound& e) {
      EXPECT_EQ(std::string(e.what()), std::string("Resource ") + name + " not found");
    }
  }
  // The program's own table works the same way.
  EXPECT_THROW(TResourceStream("NoSuchImage_99"), EResNotFound);
}

}  // namespace
}  // namespace sphaerix
