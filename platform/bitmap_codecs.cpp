#include "platform/bitmap_codecs.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QtGlobal>

#include <turbojpeg.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <new>
#include <unordered_map>

#include "platform/file_replace.h"
#include "platform/png_decoder.h"
#include "scene/stream.h"

static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN,
              "BGRA pixels are read as 0xAARRGGBB words: little-endian only");

namespace sphaerix {

namespace {

// A decoded image may not need more than this many bytes before scaling: a header that
// claims a huge picture is refused instead of exhausting memory.
constexpr std::uint64_t MaxDecodedBytes = 1ull << 30;

bool IsJpeg(const std::uint8_t* AData, std::size_t ASize) {
  return ASize >= 3 && AData[0] == 0xFF && AData[1] == 0xD8 && AData[2] == 0xFF;
}

// Bilinear scaling of premultiplied pixels (interpolating premultiplied values keeps
// colour from bleeding out of transparent areas). Sample points are pixel centres.
TBitmapPixels ScaleLinear(const std::uint32_t* ASrc, int AW, int AH, int ANewW, int ANewH) {
  struct Tap { int I0, I1, F; };  // F: weight of I1 in 1/256
  auto taps = [](int from, int to) {
    std::vector<Tap> t(static_cast<std::size_t>(to));
    const double ratio = static_cast<double>(from) / to;
    for (int i = 0; i < to; ++i) {
      double s = (i + 0.5) * ratio - 0.5;
      s = std::clamp(s, 0.0, static_cast<double>(from - 1));
      const int i0 = static_cast<int>(s);
      t[i] = {i0, std::min(i0 + 1, from - 1), static_cast<int>(std::lround((s - i0) * 256))};
    }
    return t;
  };
  const std::vector<Tap> xs = taps(AW, ANewW), ys = taps(AH, ANewH);
  TBitmapPixels out = TBitmap::AllocatePixels(ANewW, ANewH);
  auto lerp = [](std::uint32_t a, std::uint32_t b, int f) -> std::uint32_t {
    std::uint32_t r = 0;
    for (int shift = 0; shift < 32; shift += 8) {
      const int ca = (a >> shift) & 0xFF, cb = (b >> shift) & 0xFF;
      r |= static_cast<std::uint32_t>((ca * (256 - f) + cb * f + 128) >> 8) << shift;
    }
    return r;
  };
  for (int y = 0; y < ANewH; ++y) {
    const std::uint32_t* r0 = ASrc + static_cast<std::size_t>(ys[y].I0) * AW;
    const std::uint32_t* r1 = ASrc + static_cast<std::size_t>(ys[y].I1) * AW;
    std::uint32_t* d = out.get() + static_cast<std::size_t>(y) * ANewW;
    for (int x = 0; x < ANewW; ++x) {
      const Tap& t = xs[x];
      d[x] = lerp(lerp(r0[t.I0], r0[t.I1], t.F), lerp(r1[t.I0], r1[t.I1], t.F), ys[y].F);
    }
  }
  return out;
}

// Hands the decoded pixels to the bitmap, scaled down first when a side is too long.
void Deliver(TBitmap& ABitmap, int AW, int AH, TBitmapPixels APixels) {
  if (AW > MaxBitmapSize || AH > MaxBitmapSize) {
    const double scale = static_cast<double>(MaxBitmapSize) / std::max(AW, AH);
    const int w = std::clamp(static_cast<int>(std::lround(AW * scale)), 1, MaxBitmapSize);
    const int h = std::clamp(static_cast<int>(std::lround(AH * scale)), 1, MaxBitmapSize);
    APixels = ScaleLinear(APixels.get(), AW, AH, w, h);
    AW = w;
    AH = h;
  }
  ABitmap.SetPixels(AW, AH, std::move(APixels));
}

std::string LowerExtension(const std::string& AFileName) {
  // The extension of the last path component only: a dot in a folder name is no
  // extension of the file.
  const std::size_t slash = AFileName.find_last_of('/');
  const std::size_t dot = AFileName.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  std::string ext = AFileName.substr(dot);
  for (char& c : ext)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return ext;
}

enum class TSaveFormat { None, Jpeg, Bmp, Png, Tiff, Gif };

TSaveFormat FormatForExtension(const std::string& AExt) {
  if (AExt == ".jpg" || AExt == ".jpeg") return TSaveFormat::Jpeg;
  if (AExt == ".bmp") return TSaveFormat::Bmp;
  if (AExt == ".png" || AExt == ".ico" || AExt == ".hdp") return TSaveFormat::Png;
  if (AExt == ".tif" || AExt == ".tiff") return TSaveFormat::Tiff;
  if (AExt == ".gif") return TSaveFormat::Gif;
  return TSaveFormat::None;
}

std::string FileNameOnly(const std::string& APath) {
  const std::size_t slash = APath.find_last_of('/');
  return slash == std::string::npos ? APath : APath.substr(slash + 1);
}

std::vector<std::uint8_t> EncodeWithQt(const TBitmap& ABitmap, const char* AFormat,
                                       QImage::Format APixelFormat) {
  // A view on the bitmap's pixels; RGB32 ignores the alpha byte, which stores the
  // premultiplied colours, that is the picture over black.
  const QImage image(reinterpret_cast<const uchar*>(ABitmap.Bits()), ABitmap.Width(),
                     ABitmap.Height(), ABitmap.Stride(), APixelFormat);
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  QImageWriter writer(&buffer, AFormat);
  if (!writer.canWrite() || !writer.write(image))
    throw EBitmapSavingFailed("The " + std::string(AFormat) + " encoder refused the picture: " +
                              writer.errorString().toStdString() + ".");
  return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Decoding

TQtBitmapCodecs::TQtBitmapCodecs() = default;

TQtBitmapCodecs::~TQtBitmapCodecs() {
  if (FDecompressor) tjDestroy(static_cast<tjhandle>(FDecompressor));
  if (FCompressor) tjDestroy(static_cast<tjhandle>(FCompressor));
}

void TQtBitmapCodecs::LoadFromMemory(TBitmap& ABitmap, const std::uint8_t* AData,
                                     std::size_t ASize) {
  if (!AData || ASize == 0) throw EBitmapLoadingFailed();
  try {
    if (IsJpeg(AData, ASize) && DecodeJpeg(ABitmap, AData, ASize)) return;
    if (FPlainPng && IsPng(AData, ASize)) {
      TBitmapPixels pixels;
      int w = 0, h = 0;
      if (DecodePlainPng(AData, ASize, pixels, w, h)) {
        Deliver(ABitmap, w, h, std::move(pixels));
        return;
      }
    }
    // Everything else, and the rare JPEG that libjpeg-turbo cannot turn into BGRA
    // (CMYK), goes through Qt.
    DecodeWithQt(ABitmap, AData, ASize);
  } catch (const std::bad_alloc&) {
    throw EBitmapLoadingFailed();
  }
}

// Decodes straight into the bitmap's future buffer. False when libjpeg-turbo cannot
// produce BGRA from this file; raises for data that is no JPEG at all.
bool TQtBitmapCodecs::DecodeJpeg(TBitmap& ABitmap, const std::uint8_t* AData,
                                 std::size_t ASize) {
  if (!FDecompressor) FDecompressor = tjInitDecompress();
  tjhandle tj = static_cast<tjhandle>(FDecompressor);
  if (!tj || ASize > ULONG_MAX) throw EBitmapLoadingFailed();
  int w = 0, h = 0, subsamp = 0, colorspace = 0;
  if (tjDecompressHeader3(tj, AData, static_cast<unsigned long>(ASize), &w, &h, &subsamp,
                          &colorspace) != 0)
    throw EBitmapLoadingFailed();
  if (w <= 0 || h <= 0 || static_cast<std::uint64_t>(w) * h * 4 > MaxDecodedBytes)
    throw EBitmapLoadingFailed();
  if (colorspace == TJCS_CMYK || colorspace == TJCS_YCCK) return false;
  TBitmapPixels pixels = TBitmap::AllocatePixels(w, h);
  // A warning (a truncated or slightly damaged file) still yields a whole picture, as
  // any viewer shows it; only a fatal error fails the load.
  if (tjDecompress2(tj, AData, static_cast<unsigned long>(ASize),
                    reinterpret_cast<unsigned char*>(pixels.get()), w, 0, h, TJPF_BGRA, 0) != 0 &&
      tjGetErrorCode(tj) != TJERR_WARNING)
    throw EBitmapLoadingFailed();
  Deliver(ABitmap, w, h, std::move(pixels));
  return true;
}

void TQtBitmapCodecs::DecodeWithQt(TBitmap& ABitmap, const std::uint8_t* AData,
                                   std::size_t ASize) {
  if (ASize > static_cast<std::size_t>(INT_MAX)) throw EBitmapLoadingFailed();
  const QByteArray bytes =
      QByteArray::fromRawData(reinterpret_cast<const char*>(AData), static_cast<int>(ASize));
  QBuffer buffer;
  buffer.setData(bytes);
  buffer.open(QIODevice::ReadOnly);
  QImageReader reader(&buffer);
  reader.setDecideFormatFromContent(true);
  // Only the raster formats an image resource can hold; text formats (XPM, PBM) would
  // happily take arbitrary bytes for a picture.
  static const QByteArray known[] = {"png", "bmp", "gif", "tif", "tiff", "ico", "jpeg", "jpg"};
  const QByteArray format = reader.format();
  if (std::find(std::begin(known), std::end(known), format) == std::end(known))
    throw EBitmapLoadingFailed();
  const QSize size = reader.size();
  if (size.isValid() &&
      static_cast<std::uint64_t>(size.width()) * size.height() * 4 > MaxDecodedBytes)
    throw EBitmapLoadingFailed();
  QImage image;
  if (!reader.read(&image) || image.isNull()) throw EBitmapLoadingFailed();
  if (image.format() != QImage::Format_ARGB32_Premultiplied)
    image.convertTo(QImage::Format_ARGB32_Premultiplied);
  if (image.isNull()) throw EBitmapLoadingFailed();
  const int w = image.width(), h = image.height();
  TBitmapPixels pixels = TBitmap::AllocatePixels(w, h);
  for (int y = 0; y < h; ++y)
    std::memcpy(pixels.get() + static_cast<std::size_t>(y) * w, image.constScanLine(y),
                static_cast<std::size_t>(w) * 4);
  Deliver(ABitmap, w, h, std::move(pixels));
}

// ---------------------------------------------------------------------------------------
// Encoding

std::vector<std::uint8_t> TQtBitmapCodecs::EncodeJpeg(const TBitmap& ABitmap, int AQuality) {
  if (!FCompressor) FCompressor = tjInitCompress();
  tjhandle tj = static_cast<tjhandle>(FCompressor);
  if (!tj) throw EBitmapSavingFailed("The JPEG encoder could not start: " + std::string(tjGetErrorStr2(nullptr)) + ".");
  unsigned char* out = nullptr;
  unsigned long outSize = 0;
  // Full chroma resolution for high quality: screenshots carry thin coloured text.
  const int subsamp = AQuality >= 90 ? TJSAMP_444 : TJSAMP_420;
  // JPEG has no alpha: BGRA with the alpha byte ignored is the premultiplied picture
  // over black.
  const int rc = tjCompress2(tj, reinterpret_cast<const unsigned char*>(ABitmap.Bits()),
                             ABitmap.Width(), 0, ABitmap.Height(), TJPF_BGRA, &out, &outSize,
                             subsamp, AQuality, 0);
  std::vector<std::uint8_t> bytes;
  if (rc == 0) bytes.assign(out, out + outSize);
  tjFree(out);
  if (rc != 0) throw EBitmapSavingFailed("The JPEG encoder refused the picture: " + std::string(tjGetErrorStr2(tj)) + ".");
  return bytes;
}

bool HasPictureExtension(const std::string& AFileName) {
  return FormatForExtension(LowerExtension(AFileName)) != TSaveFormat::None;
}

void TQtBitmapCodecs::SaveToFile(const TBitmap& ABitmap, const std::string& AFileName,
                                 const TBitmapCodecSaveParams* AParams) {
  const TSaveFormat format = FormatForExtension(LowerExtension(AFileName));
  if (format == TSaveFormat::None)
    throw EBitmapSavingFailed("\"" + FileNameOnly(AFileName) +
                              "\" does not end in a picture type: .jpg, .jpeg, .png, .bmp, .gif, .tif or .tiff.");
  if (ABitmap.IsEmpty()) throw EBitmapSavingFailed("The picture is empty.");
  const int quality = std::clamp(AParams ? AParams->Quality : 90, 1, 100);
  std::vector<std::uint8_t> bytes;
  switch (format) {
    case TSaveFormat::Jpeg: bytes = EncodeJpeg(ABitmap, quality); break;
    case TSaveFormat::Bmp: bytes = EncodeWithQt(ABitmap, "bmp", QImage::Format_RGB32); break;
    case TSaveFormat::Png:
      bytes = EncodeWithQt(ABitmap, "png", QImage::Format_ARGB32_Premultiplied);
      break;
    case TSaveFormat::Tiff:
      bytes = EncodeWithQt(ABitmap, "tiff", QImage::Format_ARGB32_Premultiplied);
      break;
    case TSaveFormat::Gif: bytes = EncodeGif(ABitmap); break;
    case TSaveFormat::None: break;
  }
  WriteFileReplacing(AFileName, bytes.data(), bytes.size());
}

// ---------------------------------------------------------------------------------------
// GIF

namespace {

// Packs variable-length LZW codes LSB first into 255-byte sub-blocks.
class TGifCodeWriter {
 public:
  explicit TGifCodeWriter(std::vector<std::uint8_t>& AOut) : FOut(AOut) {}
  void Put(int ACode, int ABits) {
    FAcc |= static_cast<std::uint32_t>(ACode) << FCount;
    FCount += ABits;
    while (FCount >= 8) {
      Byte(static_cast<std::uint8_t>(FAcc & 0xFF));
      FAcc >>= 8;
      FCount -= 8;
    }
  }
  void Finish() {
    if (FCount > 0) Byte(static_cast<std::uint8_t>(FAcc & 0xFF));
    FlushBlock();
    FOut.push_back(0);  // block terminator
  }

 private:
  void Byte(std::uint8_t AByte) {
    FBlock[FBlockLen++] = AByte;
    if (FBlockLen == 255) FlushBlock();
  }
  void FlushBlock() {
    if (FBlockLen == 0) return;
    FOut.push_back(static_cast<std::uint8_t>(FBlockLen));
    FOut.insert(FOut.end(), FBlock.begin(), FBlock.begin() + FBlockLen);
    FBlockLen = 0;
  }
  std::vector<std::uint8_t>& FOut;
  std::array<std::uint8_t, 255> FBlock{};
  int FBlockLen = 0;
  std::uint32_t FAcc = 0;
  int FCount = 0;
};

void LzwEncode(const std::vector<std::uint8_t>& AIndices, int AMinCodeSize,
               std::vector<std::uint8_t>& AOut) {
  const int clear = 1 << AMinCodeSize, eoi = clear + 1;
  // Child table: code x next index -> code, 0 meaning none (no code maps to 0 as a child).
  std::vector<std::uint16_t> next(static_cast<std::size_t>(4096) << 8, 0);
  std::vector<std::uint32_t> used;  // slots set since the last clear, to reset cheaply
  used.reserve(4096);
  TGifCodeWriter writer(AOut);
  int codeSize = AMinCodeSize + 1;
  int maxCode = eoi;
  writer.Put(clear, codeSize);
  int cur = AIndices[0];
  for (std::size_t i = 1; i < AIndices.size(); ++i) {
    const int k = AIndices[i];
    const std::uint32_t slot = (static_cast<std::uint32_t>(cur) << 8) | k;
    std::uint16_t& child = next[slot];
    if (child) {
      cur = child;
      continue;
    }
    writer.Put(cur, codeSize);
    child = static_cast<std::uint16_t>(++maxCode);
    used.push_back(slot);
    if (maxCode >= (1 << codeSize) && codeSize < 12) ++codeSize;
    if (maxCode == 4095) {
      writer.Put(clear, codeSize);
      for (std::uint32_t u : used) next[u] = 0;
      used.clear();
      codeSize = AMinCodeSize + 1;
      maxCode = eoi;
    }
    cur = k;
  }
  writer.Put(cur, codeSize);
  // The decoder adds one more entry on reading that last code and may widen its codes
  // before it reads the end code.
  if (maxCode + 1 >= (1 << codeSize) && codeSize < 12) ++codeSize;
  writer.Put(eoi, codeSize);
  writer.Finish();
}

std::uint32_t Unpremultiplied(std::uint32_t APixel) {
  const std::uint32_t a = APixel >> 24;
  if (a == 255 || a == 0) return APixel & 0xFFFFFF;
  auto un = [a](std::uint32_t c) { return std::min<std::uint32_t>(255, (c * 255 + a / 2) / a); };
  return (un((APixel >> 16) & 0xFF) << 16) | (un((APixel >> 8) & 0xFF) << 8) | un(APixel & 0xFF);
}

}  // namespace

std::vector<std::uint8_t> EncodeGif(const TBitmap& ABitmap) {
  const int w = ABitmap.Width(), h = ABitmap.Height();
  if (ABitmap.IsEmpty() || w > 65535 || h > 65535) throw EBitmapSavingFailed();
  const std::size_t n = static_cast<std::size_t>(w) * h;
  const std::uint32_t* px = ABitmap.Bits();
  auto transparent = [](std::uint32_t p) { return (p >> 24) < 128; };

  bool hasTransparency = false;
  std::unordered_map<std::uint32_t, int> exact;
  for (std::size_t i = 0; i < n; ++i) {
    if (transparent(px[i])) {
      hasTransparency = true;
      continue;
    }
    if (exact.size() <= 256) exact.emplace(Unpremultiplied(px[i]), 0);
  }
  const bool useExact = exact.size() + (hasTransparency ? 1 : 0) <= 256;

  std::vector<std::uint32_t> palette;  // 0xRRGGBB
  std::vector<std::uint8_t> indices(n);
  if (useExact) {
    for (auto& entry : exact) {
      entry.second = static_cast<int>(palette.size());
      palette.push_back(entry.first);
    }
  } else {
    for (int r = 0; r < 6; ++r)
      for (int g = 0; g < 7; ++g)
        for (int b = 0; b < 6; ++b)
          palette.push_back((static_cast<std::uint32_t>(r * 51) << 16) |
                            (static_cast<std::uint32_t>(std::lround(g * 42.5)) << 8) |
                            static_cast<std::uint32_t>(b * 51));
  }
  const int transparentIndex = hasTransparency ? static_cast<int>(palette.size()) : -1;
  if (hasTransparency) palette.push_back(0);

  if (useExact) {
    for (std::size_t i = 0; i < n; ++i)
      indices[i] = static_cast<std::uint8_t>(
          transparent(px[i]) ? transparentIndex : exact[Unpremultiplied(px[i])]);
  } else {
    // Floyd-Steinberg over the colour cube; errors in 1/16 units, two rows kept.
    std::vector<int> err0((static_cast<std::size_t>(w) + 2) * 3, 0), err1(err0.size(), 0);
    for (int y = 0; y < h; ++y) {
      std::fill(err1.begin(), err1.end(), 0);
      for (int x = 0; x < w; ++x) {
        const std::size_t i = static_cast<std::size_t>(y) * w + x;
        if (transparent(px[i])) {
          indices[i] = static_cast<std::uint8_t>(transparentIndex);
          continue;
        }
        const std::uint32_t c = Unpremultiplied(px[i]);
        int want[3] = {static_cast<int>((c >> 16) & 0xFF), static_cast<int>((c >> 8) & 0xFF),
                       static_cast<int>(c & 0xFF)};
        const int levels[3] = {6, 7, 6};
        int q[3];
        for (int ch = 0; ch < 3; ++ch) {
          const int v = std::clamp(want[ch] + err0[(x + 1) * 3 + ch] / 16, 0, 255);
          want[ch] = v;
          q[ch] = (v * (levels[ch] - 1) + 127) / 255;
        }
        const int index = q[0] * 42 + q[1] * 6 + q[2];
        indices[i] = static_cast<std::uint8_t>(index);
        const std::uint32_t got = palette[index];
        const int have[3] = {static_cast<int>((got >> 16) & 0xFF),
                             static_cast<int>((got >> 8) & 0xFF), static_cast<int>(got & 0xFF)};
        for (int ch = 0; ch < 3; ++ch) {
          const int e = want[ch] - have[ch];
          err0[(x + 2) * 3 + ch] += e * 7;
          err1[(x + 0) * 3 + ch] += e * 3;
          err1[(x + 1) * 3 + ch] += e * 5;
          err1[(x + 2) * 3 + ch] += e * 1;
        }
      }
      std::swap(err0, err1);
    }
  }

  int tableBits = 1;  // the colour table holds 2^tableBits entries
  while ((1u << tableBits) < palette.size()) ++tableBits;
  palette.resize(static_cast<std::size_t>(1) << tableBits, 0);

  std::vector<std::uint8_t> out;
  out.reserve(n / 2 + 1024);
  auto put16 = [&out](int v) {
    out.push_back(static_cast<std::uint8_t>(v & 0xFF));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
  };
  const char header[] = "GIF89a";
  out.insert(out.end(), header, header + 6);
  put16(w);
  put16(h);
  out.push_back(static_cast<std::uint8_t>(0x80 | (7 << 4) | (tableBits - 1)));
  out.push_back(0);  // background colour index
  out.push_back(0);  // pixel aspect ratio: none given
  for (std::uint32_t c : palette) {
    out.push_back(static_cast<std::uint8_t>(c >> 16));
    out.push_back(static_cast<std::uint8_t>(c >> 8));
    out.push_back(static_cast<std::uint8_t>(c));
  }
  if (transparentIndex >= 0) {
    const std::uint8_t gce[] = {0x21, 0xF9, 0x04, 0x01, 0x00, 0x00,
                                static_cast<std::uint8_t>(transparentIndex), 0x00};
    out.insert(out.end(), gce, gce + sizeof gce);
  }
  out.push_back(0x2C);
  put16(0);
  put16(0);
  put16(w);
  put16(h);
  out.push_back(0);  // no local table, not interlaced
  const int minCodeSize = std::max(2, tableBits);
  out.push_back(static_cast<std::uint8_t>(minCodeSize));
  LzwEncode(indices, minCodeSize, out);
  out.push_back(0x3B);
  return out;
}

void InstallBitmapCodecs() {
  static TQtBitmapCodecs codecs;
  // Qt refuses images above 256 MB by default; allow what the JPEG path allows.
  QImageReader::setAllocationLimit(static_cast<int>(MaxDecodedBytes >> 20));
  SetBitmapCodecs(&codecs);
}

}  // namespace sphaerix
