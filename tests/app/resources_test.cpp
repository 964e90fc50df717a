// The pictures compiled into the program: their names, formats, sizes and the places
// where the viewer relies on transparency or brightness.
#include <QImage>

#include <gtest/gtest.h>
#include <turbojpeg.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {
struct EmbeddedImage {
  const char* name;
  const unsigned char* data;
  std::uint64_t size;
};
}  // namespace

extern "C" const EmbeddedImage sphaerix_resources[];
extern "C" const std::uint32_t sphaerix_resource_count;

namespace {

const EmbeddedImage* Find(const std::string& name) {
  for (std::uint32_t i = 0; i < sphaerix_resource_count; ++i)
    if (name == sphaerix_resources[i].name) return &sphaerix_resources[i];
  return nullptr;
}

std::string Lower(std::string s) {
  for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// The frame header of a JPEG, read from its markers.
struct JpegFrame {
  int sofType = -1;  // 0 baseline, 2 progressive, ...
  int width = 0, height = 0, components = 0;
};

JpegFrame ReadJpegFrame(const unsigned char* p, std::uint64_t n) {
  JpegFrame f;
  if (n < 4 || p[0] != 0xFF || p[1] != 0xD8) return f;
  std::uint64_t i = 2;
  while (i + 4 <= n) {
    if (p[i] != 0xFF) return f;
    const int marker = p[i + 1];
    const std::uint64_t len = (std::uint64_t(p[i + 2]) << 8) | p[i + 3];
    if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) {
      if (i + 2 + len > n || len < 8) return f;
      f.sofType = marker - 0xC0;
      f.height = (p[i + 5] << 8) | p[i + 6];
      f.width = (p[i + 7] << 8) | p[i + 8];
      f.components = p[i + 9];
      return f;
    }
    if (marker == 0xDA) return f;  // scan data before any frame header
    i += 2 + len;
  }
  return f;
}

struct PngHeader {
  bool valid = false;
  std::uint32_t width = 0, height = 0;
  int bitDepth = 0, colourType = 0;
};

PngHeader ReadPngHeader(const unsigned char* p, std::uint64_t n) {
  static const unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  PngHeader h;
  if (n < 33 || std::memcmp(p, kSignature, 8) != 0 || std::memcmp(p + 12, "IHDR", 4) != 0) return h;
  auto be32 = [&](int o) {
    return (std::uint32_t(p[o]) << 24) | (std::uint32_t(p[o + 1]) << 16) | (std::uint32_t(p[o + 2]) << 8) | p[o + 3];
  };
  h.valid = true;
  h.width = be32(16);
  h.height = be32(20);
  h.bitDepth = p[24];
  h.colourType = p[25];
  return h;
}

QImage Decode(const EmbeddedImage& r) {
  QImage img = QImage::fromData(r.data, int(r.size));  // the format from the signature
  return img.convertToFormat(QImage::Format_ARGB32);
}

// Alpha at a distance of `fraction` half-widths from the centre, along the direction
// given by the angle (degrees).
int AlphaAt(const QImage& img, double fraction, double angleDeg = 0.0) {
  const double half = img.width() / 2.0, a = angleDeg * M_PI / 180.0;
  const int x = std::clamp(int(half + fraction * half * std::cos(a)), 0, img.width() - 1);
  const int y = std::clamp(int(half + fraction * half * std::sin(a)), 0, img.height() - 1);
  return qAlpha(img.pixel(x, y));
}

}  // namespace

TEST(EmbeddedImages, AllEighteenArePresentWithNamesUniqueIgnoringCase) {
  std::vector<std::string> expected;
  for (int i = 1; i <= 14; ++i) expected.push_back("JpgImage_" + std::to_string(i));
  for (const char* n : {"SaturnRing", "UranusRing", "Stars", "AboutPicture"}) expected.push_back(n);
  ASSERT_EQ(sphaerix_resource_count, expected.size());
  std::vector<std::string> lower;
  for (const std::string& n : expected) {
    const EmbeddedImage* r = Find(n);
    ASSERT_NE(r, nullptr) << n;
    EXPECT_GT(r->size, 1000u) << n;
    lower.push_back(Lower(n));
  }
  std::sort(lower.begin(), lower.end());
  EXPECT_EQ(std::adjacent_find(lower.begin(), lower.end()), lower.end());
}

TEST(EmbeddedImages, BodyMapsAreBaselineJpegs4096x2048EnceladusGrey) {
  tjhandle tj = tjInitDecompress();
  for (int i = 1; i <= 14; ++i) {
    const std::string name = "JpgImage_" + std::to_string(i);
    SCOPED_TRACE(name);
    const EmbeddedImage* r = Find(name);
    ASSERT_NE(r, nullptr);
    const int wantComponents = i == 12 ? 1 : 3;  // the Enceladus map is greyscale
    const JpegFrame f = ReadJpegFrame(r->data, r->size);
    EXPECT_EQ(f.sofType, 0) << "not baseline";
    EXPECT_EQ(f.width, 4096);
    EXPECT_EQ(f.height, 2048);
    EXPECT_EQ(f.components, wantComponents);
    int w = 0, h = 0, subsamp = -1, colourspace = -1;
    ASSERT_EQ(tjDecompressHeader3(tj, r->data, (unsigned long)r->size, &w, &h, &subsamp, &colourspace), 0);
    EXPECT_EQ(w, 4096);
    EXPECT_EQ(h, 2048);
    EXPECT_EQ(colourspace, i == 12 ? TJCS_GRAY : TJCS_YCbCr);
  }
  tjDestroy(tj);
}

TEST(EmbeddedImages, PngsAreEightBitRgbaOfTheirSizes) {
  const struct {
    const char* name;
    std::uint32_t w, h;
  } cases[] = {{"SaturnRing", 4096, 4096}, {"UranusRing", 4096, 4096}, {"AboutPicture", 435, 280}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const EmbeddedImage* r = Find(c.name);
    ASSERT_NE(r, nullptr);
    const PngHeader h = ReadPngHeader(r->data, r->size);
    ASSERT_TRUE(h.valid);
    EXPECT_EQ(h.width, c.w);
    EXPECT_EQ(h.height, c.h);
    EXPECT_EQ(h.bitDepth, 8);
    EXPECT_EQ(h.colourType, 6);  // truecolour with alpha
    const QImage img = Decode(*r);
    EXPECT_EQ(img.width(), int(c.w));
    EXPECT_EQ(img.height(), int(c.h));
  }
}

TEST(EmbeddedImages, SaturnRingIsClearInsideAndOutsideWithBandAndCassiniDivision) {
  const QImage img = Decode(*Find("SaturnRing"));
  ASSERT_FALSE(img.isNull());
  const int last = img.width() - 1;
  for (const QPoint& p : {QPoint(img.width() / 2, img.height() / 2), QPoint(0, 0), QPoint(last, 0), QPoint(0, last), QPoint(last, last)})
    EXPECT_EQ(qAlpha(img.pixel(p)), 0) << p.x() << "," << p.y();
  for (double angle : {0.0, 90.0, 200.0, 315.0}) {
    SCOPED_TRACE(angle);
    EXPECT_EQ(AlphaAt(img, 0.30, angle), 0);   // the planet shows through
    EXPECT_EQ(AlphaAt(img, 0.52, angle), 0);   // still inside the inner edge
    EXPECT_GT(AlphaAt(img, 0.78, angle), 200); // the dense middle of the band
    EXPECT_EQ(AlphaAt(img, 0.995, angle), 0);  // beyond the outer edge
  }
  // Along a radius: the band's densest part lies inside the Cassini division, a clear
  // gap, and the outer band lies beyond it.
  int inner = 0, gap = 255, outer = 0;
  double gapAt = 0.0;
  for (double f = 0.70; f < 0.82; f += 0.001) inner = std::max(inner, AlphaAt(img, f));
  for (double f = 0.80; f < 0.88; f += 0.001)
    if (AlphaAt(img, f) < gap) gap = AlphaAt(img, f), gapAt = f;
  for (double f = gapAt + 0.01; f < 0.95; f += 0.001) outer = std::max(outer, AlphaAt(img, f));
  EXPECT_GT(inner, 220);
  EXPECT_LT(gap, inner / 3);
  EXPECT_GT(outer, 2 * gap);
}

TEST(EmbeddedImages, UranusRingsAreNarrowRingsBetween080And098) {
  const QImage img = Decode(*Find("UranusRing"));
  ASSERT_FALSE(img.isNull());
  const int last = img.width() - 1;
  for (const QPoint& p : {QPoint(img.width() / 2, img.height() / 2), QPoint(0, 0), QPoint(last, 0), QPoint(0, last), QPoint(last, last)})
    EXPECT_EQ(qAlpha(img.pixel(p)), 0);
  for (double f = 0.0; f < 0.78; f += 0.01) EXPECT_EQ(AlphaAt(img, f, 30.0), 0) << f;
  for (double f = 0.995; f <= 1.0; f += 0.001) EXPECT_EQ(AlphaAt(img, f, 30.0), 0) << f;
  // Count the rings crossed along one radius: runs of clearly visible pixels.
  const int cy = img.height() / 2;
  int rings = 0, widest = 0, run = 0;
  bool in = false;
  for (int x = img.width() / 2; x < img.width(); ++x) {
    const bool visible = qAlpha(img.pixel(x, cy)) > 100;
    if (visible) {
      const double f = (x + 0.5 - img.width() / 2.0) / (img.width() / 2.0);
      EXPECT_GE(f, 0.79);
      EXPECT_LE(f, 0.99);
      ++run;
    }
    if (visible && !in) ++rings;
    if (!visible && in) widest = std::max(widest, run), run = 0;
    in = visible;
  }
  EXPECT_GE(rings, 5);
  EXPECT_LE(widest, 40);  // narrow rings, not a band
}

TEST(EmbeddedImages, StarMapIsAnOpaqueJpegBrightAtSiriusAndCanopus) {
  const EmbeddedImage* r = Find("Stars");
  ASSERT_NE(r, nullptr);
  const JpegFrame f = ReadJpegFrame(r->data, r->size);
  EXPECT_EQ(f.sofType, 0) << "not baseline";
  EXPECT_EQ(f.width, 6000);
  EXPECT_EQ(f.height, 3000);
  EXPECT_EQ(f.components, 3);
  const QImage img = Decode(*r);
  ASSERT_FALSE(img.isNull());
  bool opaque = true;
  for (int y = 0; y < img.height() && opaque; y += 7)
    for (int x = 0; x < img.width(); x += 3) opaque = opaque && qAlpha(img.pixel(x, y)) == 255;
  EXPECT_TRUE(opaque);

  // Right ascension grows to the right from 0 h at the left edge; declination +90 at the top.
  const struct {
    const char* star;
    double raHours, decDeg;
  } stars[] = {{"Sirius", 6.0 + 45.0 / 60.0, -16.7}, {"Canopus", 6.0 + 24.0 / 60.0, -52.7}};
  for (const auto& s : stars) {
    SCOPED_TRACE(s.star);
    const int cx = int(s.raHours / 24.0 * img.width()), cy = int((90.0 - s.decDeg) / 180.0 * img.height());
    int peak = 0;
    for (int y = cy - 3; y <= cy + 3; ++y)
      for (int x = cx - 3; x <= cx + 3; ++x) peak = std::max(peak, qGray(img.pixel(x, y)));
    EXPECT_GE(peak, 240);
    // The same place mirrored in right ascension is not a bright star: the map runs the
    // right way round.
    const int mx = img.width() - 1 - cx;
    int mirrored = 0;
    for (int y = cy - 3; y <= cy + 3; ++y)
      for (int x = mx - 3; x <= mx + 3; ++x) mirrored = std::max(mirrored, qGray(img.pixel(x, y)));
    EXPECT_LT(mirrored, 200);
  }
}

TEST(EmbeddedImages, AboutPictureHasBodiesOnATransparentBackground) {
  const QImage img = Decode(*Find("AboutPicture"));
  ASSERT_FALSE(img.isNull());
  EXPECT_EQ(qAlpha(img.pixel(0, 0)), 0);
  EXPECT_EQ(qAlpha(img.pixel(img.width() - 1, img.height() - 1)), 0);
  int opaque = 0;
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x) opaque += qAlpha(img.pixel(x, y)) == 255;
  EXPECT_GT(opaque, img.width() * img.height() / 5);
  EXPECT_LT(opaque, img.width() * img.height() * 4 / 5);
}
