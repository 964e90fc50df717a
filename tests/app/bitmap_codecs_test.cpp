// TBitmap with the real codecs: decoding JPEG, PNG and friends into premultiplied BGRA,
// the size limit, failures that leave the bitmap alone, and saving that never loses
// the old file.
#include <QBuffer>
#include <QByteArray>
#include <QDir>
#include <QFileInfo>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <turbojpeg.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/bitmap_codecs.h"
#include "platform/qt_runtime.h"
#include "scene/material/bitmap.h"
#include "scene/material/stream.h"

namespace sphaerix {
namespace {

using Bytes = std::vector<std::uint8_t>;

// A JPEG made by libjpeg-turbo from packed pixels of the given format.
Bytes MakeJpeg(const std::vector<unsigned char>& APixels, int AW, int AH, int APixelFormat,
               int ASubsamp) {
  tjhandle tj = tjInitCompress();
  unsigned char* out = nullptr;
  unsigned long size = 0;
  const int rc = tjCompress2(tj, APixels.data(), AW, 0, AH, APixelFormat, &out, &size, ASubsamp,
                             100, 0);
  EXPECT_EQ(rc, 0) << tjGetErrorStr2(tj);
  Bytes bytes(out, out + size);
  tjFree(out);
  tjDestroy(tj);
  return bytes;
}

Bytes Encode(const QImage& AImage, const char* AFormat) {
  QByteArray data;
  QBuffer buffer(&data);
  buffer.open(QIODevice::WriteOnly);
  EXPECT_TRUE(AImage.save(&buffer, AFormat));
  return Bytes(data.begin(), data.end());
}

Bytes ReadAll(const QString& APath) {
  QFile f(APath);
  if (!f.open(QIODevice::ReadOnly)) return {};
  const QByteArray data = f.readAll();
  return Bytes(data.begin(), data.end());
}

void WriteAll(const QString& APath, const Bytes& ABytes) {
  QFile f(APath);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(reinterpret_cast<const char*>(ABytes.data()), static_cast<qint64>(ABytes.size()));
}

void Load(TBitmap& ABitmap, const Bytes& ABytes) {
  TOwnedBytesStream stream(ABytes);
  ABitmap.LoadFromStream(stream);
}

int Channel(TAlphaColor c, int AShift) { return static_cast<int>((c >> AShift) & 0xFF); }

// Largest per-channel difference between two colours.
int Distance(TAlphaColor a, TAlphaColor b) {
  int d = 0;
  for (int s = 0; s < 32; s += 8) d = std::max(d, std::abs(Channel(a, s) - Channel(b, s)));
  return d;
}

// A bitmap of opaque colour blocks plus a horizontal ramp row: a few distinct colours,
// so lossless formats must give them back exactly.
void FillBlocks(TBitmap& ABitmap) {
  const TAlphaColor colours[] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFC86432};
  for (int y = 0; y < ABitmap.Height(); ++y)
    for (int x = 0; x < ABitmap.Width(); ++x)
      ABitmap.SetPixel(x, y, colours[(x * 2 / ABitmap.Width()) + 2 * (y * 2 / ABitmap.Height())]);
}

class BitmapCodecsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(Dir.isValid());
  }
  std::string Path(const char* AName) const { return Dir.filePath(AName).toStdString(); }
  QStringList Entries() const {
    return QDir(Dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
  }
  QtRuntime Runtime;
  QTemporaryDir Dir;
};

// --- TBitmap itself -----------------------------------------------------------------

TEST_F(BitmapCodecsTest, SetSizeClearAssignAndChangeEvents) {
  TBitmap bitmap;
  int changes = 0;
  bitmap.OnChange = [&](TBitmap& sender) {
    EXPECT_EQ(&sender, &bitmap);
    ++changes;
  };
  EXPECT_TRUE(bitmap.IsEmpty());
  EXPECT_FLOAT_EQ(bitmap.BitmapScale(), 1.0f);
  bitmap.SetSize(3, 2);
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(bitmap.Stride(), 12);
  EXPECT_EQ(bitmap.Pixel(2, 1), claNull);
  bitmap.SetSize(3, 2);  // same size: nothing happens
  EXPECT_EQ(changes, 1);
  bitmap.Clear(0x80FF8000);  // stored premultiplied
  EXPECT_EQ(bitmap.Pixel(0, 0), 0x80804000u);
  EXPECT_EQ(changes, 2);

  TBitmap copy;
  copy.SetBitmapScale(2);
  copy.Assign(bitmap);
  EXPECT_EQ(copy.Width(), 3);
  EXPECT_EQ(copy.Pixel(2, 1), 0x80804000u);
  EXPECT_FLOAT_EQ(copy.BitmapScale(), 1.0f);
  copy.SetPixel(0, 0, claWhite);
  EXPECT_EQ(bitmap.Pixel(0, 0), 0x80804000u) << "Assign copies the pixels";
  bitmap.SetSize(0, 5);
  EXPECT_TRUE(bitmap.IsEmpty());
  EXPECT_EQ(bitmap.Width(), 0);
}

// --- Decoding -----------------------------------------------------------------------

TEST_F(BitmapCodecsTest, ColourJpegDecodesToOpaqueBgra) {
  const int w = 16, h = 16;
  std::vector<unsigned char> rgb(w * h * 3);
  const unsigned char quadrant[4][3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {200, 100, 50}};
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      std::memcpy(&rgb[(y * w + x) * 3], quadrant[(x / 8) + 2 * (y / 8)], 3);
  const Bytes jpeg = MakeJpeg(rgb, w, h, TJPF_RGB, TJSAMP_444);

  TBitmap bitmap;
  Load(bitmap, jpeg);
  ASSERT_EQ(bitmap.Width(), w);
  ASSERT_EQ(bitmap.Height(), h);
  // Against libjpeg-turbo's own RGB output of the same file: same values, channels in
  // BGRA order, alpha 255.
  tjhandle tj = tjInitDecompress();
  std::vector<unsigned char> ref(w * h * 3);
  ASSERT_EQ(tjDecompress2(tj, jpeg.data(), jpeg.size(), ref.data(), w, 0, h, TJPF_RGB, 0), 0);
  tjDestroy(tj);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const unsigned char* r = &ref[(y * w + x) * 3];
      const TAlphaColor expected = 0xFF000000u | (r[0] << 16) | (r[1] << 8) | r[2];
      ASSERT_EQ(bitmap.Pixel(x, y), expected) << x << "," << y;
    }
  EXPECT_LE(Distance(bitmap.Pixel(2, 2), 0xFFFF0000), 3);
  EXPECT_LE(Distance(bitmap.Pixel(13, 13), 0xFFC86432), 3);
}

TEST_F(BitmapCodecsTest, ReducedJpegDecodesAtAFractionOfItsSizeAsLibjpegScalesIt) {
  // Odd sides: the reduced size rounds up, as libjpeg-turbo's own does.
  const int w = 37, h = 21;
  std::vector<unsigned char> rgb(w * h * 3);
  for (int i = 0; i < w * h * 3; ++i) rgb[i] = static_cast<unsigned char>((i * 37) % 251);
  const Bytes jpeg = MakeJpeg(rgb, w, h, TJPF_RGB, TJSAMP_420);
  struct TCase { int Asked, Used, W, H; };
  for (const TCase c : {TCase{1, 1, 37, 21}, TCase{2, 2, 19, 11}, TCase{3, 2, 19, 11}, TCase{4, 4, 10, 6},
                        TCase{8, 8, 5, 3}, TCase{16, 8, 5, 3}}) {
    SCOPED_TRACE(c.Asked);
    TQtBitmapCodecs codecs;
    codecs.SetReduction(c.Asked);
    EXPECT_EQ(codecs.Reduction(), c.Used);
    TBitmap bitmap;
    codecs.LoadFromMemory(bitmap, jpeg.data(), jpeg.size());
    ASSERT_EQ(bitmap.Width(), c.W);
    ASSERT_EQ(bitmap.Height(), c.H);
    tjhandle tj = tjInitDecompress();
    std::vector<unsigned char> ref(c.W * c.H * 4);
    ASSERT_EQ(tjDecompress2(tj, jpeg.data(), jpeg.size(), ref.data(), c.W, 0, c.H, TJPF_BGRA, 0), 0);
    tjDestroy(tj);
    EXPECT_EQ(std::memcmp(bitmap.Bits(), ref.data(), ref.size()), 0);
  }
  // Other formats decode whole, then shrink: by half, each pixel the mean of its block.
  QImage image(10, 6, QImage::Format_ARGB32);
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 10; ++x) image.setPixel(x, y, (x + y) % 2 ? qRgba(200, 100, 40, 255) : qRgba(0, 0, 0, 255));
  const Bytes png = Encode(image, "PNG");
  TQtBitmapCodecs codecs;
  codecs.SetReduction(2);
  TBitmap bitmap;
  codecs.LoadFromMemory(bitmap, png.data(), png.size());
  ASSERT_EQ(bitmap.Width(), 5);
  ASSERT_EQ(bitmap.Height(), 3);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x) EXPECT_LE(Distance(bitmap.Pixel(x, y), 0xFF643214), 1) << x << "," << y;
}

TEST_F(BitmapCodecsTest, GreyscaleJpegDecodesToOpaqueGrey) {
  const int w = 8, h = 8;
  std::vector<unsigned char> grey(w * h);
  for (int i = 0; i < w * h; ++i) grey[i] = static_cast<unsigned char>(i * 4);
  const Bytes jpeg = MakeJpeg(grey, w, h, TJPF_GRAY, TJSAMP_GRAY);

  TBitmap bitmap;
  Load(bitmap, jpeg);
  ASSERT_EQ(bitmap.Width(), w);
  for (int i = 0; i < w * h; ++i) {
    const TAlphaColor c = bitmap.Pixel(i % w, i / w);
    EXPECT_EQ(AlphaOf(c), 255);
    EXPECT_EQ(RedOf(c), GreenOf(c));
    EXPECT_EQ(GreenOf(c), BlueOf(c));
    EXPECT_NEAR(RedOf(c), grey[i], 2) << i;
  }
}

TEST_F(BitmapCodecsTest, PngAlphaIsPremultiplied) {
  QImage image(3, 1, QImage::Format_ARGB32);
  image.setPixel(0, 0, qRgba(255, 128, 0, 128));
  image.setPixel(1, 0, qRgba(10, 200, 30, 0));
  image.setPixel(2, 0, qRgba(1, 2, 3, 255));
  TBitmap bitmap;
  Load(bitmap, Encode(image, "png"));
  ASSERT_EQ(bitmap.Width(), 3);
  EXPECT_LE(Distance(bitmap.Pixel(0, 0), 0x80804000), 1);
  EXPECT_EQ(bitmap.Pixel(1, 0), claNull);
  EXPECT_EQ(bitmap.Pixel(2, 0), 0xFF010203u);
}

// The quick path for plain RGBA PNGs gives exactly the pixels the general decoder gives,
// whichever row filters the encoder chose, and fails a damaged file as it does.
TEST_F(BitmapCodecsTest, PlainPngQuickPathMatchesTheGeneralDecoder) {
  const struct {
    int W, H;
    bool Noise;
  } cases[] = {{1, 1, false}, {7, 5, true}, {300, 200, false}, {129, 77, true}};
  TQtBitmapCodecs quick, general;
  general.SetPlainPngPath(false);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.W);
    QImage image(c.W, c.H, QImage::Format_ARGB32);
    std::uint32_t seed = 12345;
    for (int y = 0; y < c.H; ++y)
      for (int x = 0; x < c.W; ++x) {
        seed = seed * 1103515245u + 12345u;
        const int n = c.Noise ? static_cast<int>(seed >> 16) : x * 3 + y * 5;
        image.setPixel(x, y, qRgba(n & 255, (n >> 3) & 255, (x + y) & 255, (x * 7 + (n & 3)) % 256));
      }
    const Bytes png = Encode(image, "PNG");
    TBitmap a, b;
    quick.LoadFromMemory(a, png.data(), png.size());
    general.LoadFromMemory(b, png.data(), png.size());
    ASSERT_EQ(a.Width(), c.W);
    ASSERT_EQ(a.Height(), c.H);
    EXPECT_EQ(std::memcmp(a.Bits(), b.Bits(), static_cast<std::size_t>(c.W) * c.H * 4), 0);
    // Cut inside the image data.
    const Bytes cut(png.begin(), png.begin() + static_cast<std::ptrdiff_t>(png.size() * 2 / 3));
    TBitmap d;
    EXPECT_THROW(quick.LoadFromMemory(d, cut.data(), cut.size()), EBitmapLoadingFailed);
    EXPECT_TRUE(d.IsEmpty());
  }
}

// A plain PNG wanted at a fraction of its size is scaled as its rows are decoded: the
// same pixels as the whole picture decoded and then scaled, at even and odd sizes, and a
// damaged file still fails, leaving the bitmap as it was.
TEST_F(BitmapCodecsTest, ReducedPlainPngIsScaledRowByRowToTheSamePixels) {
  const struct {
    int W, H;
  } sizes[] = {{1, 1}, {7, 5}, {300, 200}, {129, 77}};
  for (const auto& c : sizes) {
    QImage image(c.W, c.H, QImage::Format_ARGB32);
    std::uint32_t seed = 777;
    for (int y = 0; y < c.H; ++y)
      for (int x = 0; x < c.W; ++x) {
        seed = seed * 1103515245u + 12345u;
        const int n = static_cast<int>(seed >> 16);
        image.setPixel(x, y, qRgba(n & 255, (x * 5 + y) & 255, (n >> 4) & 255, (x + 3 * y + (n & 7)) % 256));
      }
    const Bytes png = Encode(image, "PNG");
    for (const int reduction : {2, 4, 8}) {
      SCOPED_TRACE(std::to_string(c.W) + " x " + std::to_string(c.H) + " / " + std::to_string(reduction));
      TQtBitmapCodecs quick, general;
      general.SetPlainPngPath(false);
      quick.SetReduction(reduction);
      general.SetReduction(reduction);
      TBitmap a, b;
      quick.LoadFromMemory(a, png.data(), png.size());
      general.LoadFromMemory(b, png.data(), png.size());
      ASSERT_EQ(a.Width(), (c.W + reduction - 1) / reduction);
      ASSERT_EQ(a.Height(), (c.H + reduction - 1) / reduction);
      ASSERT_EQ(b.Width(), a.Width());
      ASSERT_EQ(b.Height(), a.Height());
      EXPECT_EQ(std::memcmp(a.Bits(), b.Bits(), static_cast<std::size_t>(a.Width()) * a.Height() * 4), 0);
      const Bytes cut(png.begin(), png.begin() + static_cast<std::ptrdiff_t>(png.size() * 2 / 3));
      TBitmap d;
      d.SetSize(3, 2);
      const std::uint64_t before = d.Pixel(1, 1);
      EXPECT_THROW(quick.LoadFromMemory(d, cut.data(), cut.size()), EBitmapLoadingFailed);
      EXPECT_EQ(d.Width(), 3);
      EXPECT_EQ(d.Pixel(1, 1), before);
    }
  }
}

// Mip levels: each a half of the one above (rounded down, at least 1), each pixel the
// rounded mean of the 2 x 2 above it, channel by channel.
TEST_F(BitmapCodecsTest, MipLevelsHalveDownToOnePixel) {
  TBitmap bitmap(4, 2);
  const TAlphaColor row0[] = {0xFF000000, 0xFF040404, 0x80402000, 0x00000000};
  const TAlphaColor row1[] = {0xFF080808, 0xFF0C0C0C, 0x80402000, 0xFFFFFFFF};
  for (int x = 0; x < 4; ++x) {
    bitmap.SetPixel(x, 0, row0[x]);
    bitmap.SetPixel(x, 1, row1[x]);
  }
  bitmap.BuildMipLevels();
  ASSERT_EQ(bitmap.MipLevelCount(), 2);
  EXPECT_EQ(TBitmap::FullMipChain(4, 2), 3);
  EXPECT_EQ(bitmap.MipLevel(1)[0], 0xFF060606u);
  EXPECT_EQ(bitmap.MipLevel(1)[1], 0x80605040u);  // alpha (128 + 0 + 128 + 255 + 2) / 4, ...
  EXPECT_EQ(bitmap.MipLevel(2)[0], 0xC0332B23u);
  // New pixels drop the old levels.
  bitmap.SetSize(2, 2);
  EXPECT_EQ(bitmap.MipLevelCount(), 0);
}

TEST_F(BitmapCodecsTest, UndecodableDataFailsAndLeavesBitmapAlone) {
  std::vector<unsigned char> rgb(8 * 8 * 3, 90);
  Bytes hugeJpeg = MakeJpeg(rgb, 8, 8, TJPF_RGB, TJSAMP_444);
  // Patch the frame header to claim 65000 x 65000 pixels (16 GB decoded).
  for (std::size_t i = 0; i + 8 < hugeJpeg.size(); ++i)
    if (hugeJpeg[i] == 0xFF && hugeJpeg[i + 1] == 0xC0) {
      hugeJpeg[i + 5] = hugeJpeg[i + 7] = 0xFD;
      hugeJpeg[i + 6] = hugeJpeg[i + 8] = 0xE8;
      break;
    }
  const Bytes png = Encode(QImage(4, 4, QImage::Format_ARGB32), "png");
  const Bytes cases[] = {
      {},                                                    // nothing
      Bytes{'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd'},  // text
      Bytes{0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0, 1, 2, 3},  // JPEG start, junk
      Bytes(png.begin(), png.begin() + 33),                  // PNG signature and header only
      Bytes{'P', '1', '\n', '2', ' ', '2', '\n', '0', ' ', '1', '\n', '1', ' ', '0', '\n'},  // PBM text
      hugeJpeg,
  };
  TBitmap bitmap(2, 2);
  bitmap.Clear(0xFF123456);
  int changes = 0;
  bitmap.OnChange = [&](TBitmap&) { ++changes; };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    try {
      Load(bitmap, cases[i]);
      ADD_FAILURE() << "case " << i << " decoded";
    } catch (const EBitmapLoadingFailed& e) {
      EXPECT_STREQ(e.what(), "Loading bitmap failed.");
    }
    EXPECT_EQ(bitmap.Width(), 2);
    EXPECT_EQ(bitmap.Height(), 2);
    EXPECT_EQ(bitmap.Pixel(1, 1), 0xFF123456u);
  }
  EXPECT_EQ(changes, 0);
}

TEST_F(BitmapCodecsTest, OversizedImageIsScaledToFitKeepingAspect) {
  struct Case { const char* Format; int W, H, ExpectW, ExpectH; };
  const Case cases[] = {
      {"png", 9000, 10, 8192, 9},
      {"png", 10, 9000, 9, 8192},
      {"jpeg", 9000, 16, 8192, 15},
      {"png", 8192, 3, 8192, 3},  // at the limit: untouched
  };
  for (const Case& c : cases) {
    // A ramp along the long side: bilinear scaling keeps it a ramp.
    QImage image(c.W, c.H, QImage::Format_RGB32);
    const int longSide = std::max(c.W, c.H);
    for (int y = 0; y < c.H; ++y)
      for (int x = 0; x < c.W; ++x) {
        const int v = (std::max(x, y) * 255) / (longSide - 1);
        image.setPixel(x, y, qRgb(v, 255 - v, 128));
      }
    TBitmap bitmap;
    Load(bitmap, Encode(image, c.Format));
    ASSERT_EQ(bitmap.Width(), c.ExpectW) << c.Format << " " << c.W << "x" << c.H;
    ASSERT_EQ(bitmap.Height(), c.ExpectH);
    const int tolerance = std::string(c.Format) == "jpeg" ? 4 : 2;
    for (int i : {0, 1000, 4096, 8191}) {
      const int x = c.ExpectW > c.ExpectH ? i : 0, y = c.ExpectW > c.ExpectH ? 0 : i;
      const double s = std::max(0.0, (i + 0.5) * longSide / 8192.0 - 0.5);
      const int v = static_cast<int>(s * 255 / (longSide - 1));
      const TAlphaColor got = bitmap.Pixel(x, y);
      EXPECT_NEAR(RedOf(got), v, tolerance) << i;
      EXPECT_NEAR(GreenOf(got), 255 - v, tolerance) << i;
      EXPECT_EQ(AlphaOf(got), 255);
    }
  }
}

// A stream that is not in memory: read piece by piece.
class TChunkStream : public TStream {
 public:
  explicit TChunkStream(Bytes ABytes) : FBytes(std::move(ABytes)) {}
  std::int64_t Size() const override { return static_cast<std::int64_t>(FBytes.size()); }
  std::int64_t Read(void* ABuffer, std::int64_t ACount) override {
    const std::int64_t n = std::clamp<std::int64_t>(Size() - FPosition, 0, std::min<std::int64_t>(ACount, 7));
    std::memcpy(ABuffer, FBytes.data() + FPosition, static_cast<std::size_t>(n));
    FPosition += n;
    return n;
  }

 private:
  Bytes FBytes;
};

TEST_F(BitmapCodecsTest, LoadingReadsFromTheFirstByteWhateverThePosition) {
  QImage image(5, 4, QImage::Format_RGB32);
  image.fill(qRgb(10, 20, 30));
  const Bytes png = Encode(image, "png");
  TOwnedBytesStream memory(png);
  TChunkStream chunks(png);
  for (TStream* stream : std::initializer_list<TStream*>{&memory, &chunks}) {
    stream->SetPosition(9);
    for (int pass = 0; pass < 2; ++pass) {  // the second pass starts at the end
      TBitmap bitmap;
      bitmap.LoadFromStream(*stream);
      ASSERT_EQ(bitmap.Width(), 5);
      EXPECT_EQ(bitmap.Pixel(4, 3), 0xFF0A141Eu);
      EXPECT_EQ(stream->Position(), stream->Size());
    }
  }
}

// --- Saving -------------------------------------------------------------------------

TEST_F(BitmapCodecsTest, SavesEachFormatByExtension) {
  struct Case { const char* Name; const char* Format; bool Lossless; };
  const Case cases[] = {
      {"a.jpg", "jpeg", false}, {"b.JPEG", "jpeg", false}, {"c.bmp", "bmp", true},
      {"d.png", "png", true},   {"e.gif", "gif", true},    {"f.tif", "tiff", true},
      {"g.Tiff", "tiff", true}, {"h.ico", "png", true},    {"i.hdp", "png", true},
  };
  TBitmap bitmap(37, 23);
  FillBlocks(bitmap);
  const TBitmapCodecSaveParams params{100};
  for (const Case& c : cases) {
    const std::string path = Path(c.Name);
    bitmap.SaveToFile(path, &params);
    QImageReader reader(QString::fromStdString(path));
    reader.setDecideFormatFromContent(true);
    EXPECT_EQ(reader.format(), QByteArray(c.Format)) << c.Name;
    EXPECT_EQ(reader.size(), QSize(37, 23)) << c.Name;

    TBitmap back;
    Load(back, ReadAll(QString::fromStdString(path)));
    ASSERT_EQ(back.Width(), 37) << c.Name;
    ASSERT_EQ(back.Height(), 23) << c.Name;
    int worst = 0;
    for (int y = 0; y < 23; ++y)
      for (int x = 0; x < 37; ++x) worst = std::max(worst, Distance(back.Pixel(x, y), bitmap.Pixel(x, y)));
    if (c.Lossless)
      EXPECT_EQ(worst, 0) << c.Name;
    else
      EXPECT_LE(worst, 24) << c.Name;  // block edges ring a little even at quality 100
  }
}

TEST_F(BitmapCodecsTest, PngKeepsAlphaAndJpegStoresThePictureOverBlack) {
  TBitmap bitmap(2, 1);
  bitmap.SetPixel(0, 0, 0x80804000);  // half-transparent orange, premultiplied
  bitmap.SetPixel(1, 0, claNull);
  for (const char* name : {"alpha.png", "alpha.jpg"}) {
    bitmap.SaveToFile(Path(name));
    TBitmap back;
    Load(back, ReadAll(Dir.filePath(name)));
    const bool png = std::string(name).find(".png") != std::string::npos;
    EXPECT_LE(Distance(back.Pixel(0, 0), png ? 0x80804000 : 0xFF804000), png ? 1 : 12) << name;
    EXPECT_LE(Distance(back.Pixel(1, 0), png ? claNull : claBlack), png ? 0 : 12) << name;
  }
}

TEST_F(BitmapCodecsTest, GifOfManyColoursIsDitheredAndDecodable) {
  // More than 256 colours and enough pixels to fill the LZW table several times.
  TBitmap bitmap(300, 200);
  unsigned seed = 12345;
  for (int y = 0; y < 200; ++y)
    for (int x = 0; x < 300; ++x) {
      seed = seed * 1103515245u + 12345u;
      const int noise = static_cast<int>((seed >> 16) % 9) - 4;
      const int r = std::clamp(x * 255 / 299 + noise, 0, 255);
      const int g = std::clamp(y * 255 / 199 - noise, 0, 255);
      const int b = (x + y) % 256;
      // A transparent band at the left.
      bitmap.SetPixel(x, y, x < 10 ? claNull : (0xFF000000u | (r << 16) | (g << 8) | b));
    }
  bitmap.SaveToFile(Path("many.gif"));
  QImage back(Dir.filePath("many.gif"));
  ASSERT_FALSE(back.isNull());
  ASSERT_EQ(back.size(), QSize(300, 200));
  back.convertTo(QImage::Format_ARGB32);
  // Dithering keeps the local average: compare 10 x 10 block means.
  double worst = 0;
  for (int by = 0; by < 20; ++by)
    for (int bx = 1; bx < 30; ++bx) {
      double sum[3] = {0, 0, 0}, want[3] = {0, 0, 0};
      for (int y = by * 10; y < by * 10 + 10; ++y)
        for (int x = bx * 10; x < bx * 10 + 10; ++x) {
          const QRgb p = back.pixel(x, y);
          const TAlphaColor q = bitmap.Pixel(x, y);
          sum[0] += qRed(p), sum[1] += qGreen(p), sum[2] += qBlue(p);
          want[0] += RedOf(q), want[1] += GreenOf(q), want[2] += BlueOf(q);
        }
      for (int ch = 0; ch < 3; ++ch) worst = std::max(worst, std::abs(sum[ch] - want[ch]) / 100);
    }
  EXPECT_LT(worst, 8.0);
  for (int y = 0; y < 200; y += 37) EXPECT_EQ(qAlpha(back.pixel(3, y)), 0) << y;
  EXPECT_EQ(qAlpha(back.pixel(150, 100)), 255);
}

TEST_F(BitmapCodecsTest, UnknownExtensionFailsAndWritesNothing) {
  TBitmap bitmap(4, 4);
  QDir(Dir.path()).mkdir("shots.png");
  for (const char* name : {"shot.txt", "shot", "shot.jpg.txt", "shots.png/shot"}) {
    try {
      bitmap.SaveToFile(Path(name));
      ADD_FAILURE() << name << " saved";
    } catch (const EBitmapSavingFailed& e) {
      // What failed and why: the name and the types it may end in.
      const std::string file = QFileInfo(QString::fromUtf8(name)).fileName().toStdString();
      EXPECT_EQ(e.what(), "Saving bitmap failed. \"" + file +
                              "\" does not end in a picture type: .jpg, .jpeg, .png, .bmp, .gif, .tif or .tiff.");
    }
  }
  EXPECT_EQ(Entries(), QStringList{"shots.png"});
  EXPECT_TRUE(QDir(Dir.filePath("shots.png")).isEmpty());
}

TEST_F(BitmapCodecsTest, SavingReplacesAnExistingFileKeepingItsMode) {
  const QString path = Dir.filePath("shot.jpg");
  WriteAll(path, Bytes{'o', 'l', 'd'});
  ASSERT_EQ(chmod(path.toLocal8Bit().constData(), 0640), 0);
  TBitmap bitmap(8, 6);
  bitmap.Clear(claWhite);
  bitmap.SaveToFile(path.toStdString());
  TBitmap back;
  Load(back, ReadAll(path));
  EXPECT_EQ(back.Width(), 8);
  EXPECT_EQ(back.Height(), 6);
  struct stat st {};
  ASSERT_EQ(stat(path.toLocal8Bit().constData(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(Entries(), QStringList{"shot.jpg"});
}

TEST_F(BitmapCodecsTest, FailedSaveKeepsTheOldFileAndLeavesNoTemporary) {
  const Bytes old{'o', 'l', 'd', ' ', 'p', 'i', 'c', 't', 'u', 'r', 'e'};
  const QString folder = Dir.filePath("shots");
  QDir(Dir.path()).mkdir("shots");
  WriteAll(folder + "/shot.jpg", old);
  WriteAll(Dir.filePath("plain.txt"), old);
  QDir(folder).mkdir("taken.png");

  TBitmap good(4, 4);
  good.Clear(claWhite);
  const TBitmap empty;
  struct Case {
    const TBitmap* Bitmap;
    std::string File;
    std::string Message;  // empty: the encoder's failure
  };
  const std::string base = Dir.path().toStdString();
  std::vector<Case> cases = {
      {&empty, base + "/shots/shot.jpg", ""},  // the encoder fails
      {&good, base + "/plain.txt/shot.jpg", "Cannot create file \"" + base + "/plain.txt/shot.jpg\". Not a directory"},
      {&good, base + "/missing/shot.jpg", "Cannot create file \"" + base + "/missing/shot.jpg\". No such file or directory"},
      {&good, base + "/shots/taken.png", "Cannot create file \"" + base + "/shots/taken.png\". Is a directory"},
  };
  const bool permissionsBite = geteuid() != 0;  // root writes through mode bits
  if (permissionsBite)
    cases.push_back({&good, base + "/shots/shot.jpg",
                     "Cannot create file \"" + base + "/shots/shot.jpg\". Permission denied"});
  ASSERT_EQ(chmod(folder.toLocal8Bit().constData(), 0555), 0);
  // Write-protected as well: a writable file would be overwritten in place.
  ASSERT_EQ(chmod((folder + "/shot.jpg").toLocal8Bit().constData(), 0444), 0);
  for (const Case& c : cases) {
    try {
      c.Bitmap->SaveToFile(c.File);
      ADD_FAILURE() << c.File << " saved";
    } catch (const EBitmapSavingFailed& e) {
      EXPECT_TRUE(c.Message.empty()) << e.what();
    } catch (const EFileCreateError& e) {
      EXPECT_EQ(e.what(), c.Message);
    }
    EXPECT_EQ(ReadAll(folder + "/shot.jpg"), old) << c.File;
  }
  chmod(folder.toLocal8Bit().constData(), 0755);
  EXPECT_EQ(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
            (QStringList{"shot.jpg", "taken.png"}));
  EXPECT_EQ(Entries(), (QStringList{"plain.txt", "shots"}));
  EXPECT_EQ(ReadAll(Dir.filePath("plain.txt")), old);
}

}  // namespace
}  // namespace sphaerix
