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
#include "platform/gif_encoder.h"
#include "platform/png_decoder.h"
#include "scene/material/stream.h"

static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN,
              "BGRA pixels are read as 0xAARRGGBB words: little-endian only");

namespace sphaerix {

namespace {

bool IsJpeg(const std::uint8_t* AData, std::size_t ASize) {
  return ASize >= 3 && AData[0] == 0xFF && AData[1] == 0xD8 && AData[2] == 0xFF;
}

// Bilinear scaling of premultiplied pixels (interpolating premultiplied values keeps
// colour from bleeding out of transparent areas). Sample points are pixel centres. The
// source comes a row at a time, top first, so that a decoder can hand its rows over as
// it makes them without ever holding the whole picture; only the last two are kept,
// already scaled across.
class TLinearScaler {
 public:
  TLinearScaler(int AW, int AH, int ANewW, int ANewH)
      : FNewW(ANewW), FNewH(ANewH), FXs(Taps(AW, ANewW)), FYs(Taps(AH, ANewH)),
        FOut(TBitmap::AllocatePixels(ANewW, ANewH)), FNeeded(static_cast<std::size_t>(AH)),
        FAbove(static_cast<std::size_t>(ANewW)), FLatest(static_cast<std::size_t>(ANewW)) {
    for (const Tap& t : FYs) FNeeded[static_cast<std::size_t>(t.I0)] = FNeeded[static_cast<std::size_t>(t.I1)] = true;
  }

  // The next source row, of AW pixels.
  void AddRow(const std::uint32_t* ARow) {
    // Blending across, then down, is separable: each source row is scaled across once,
    // and only the rows a result row reads are (a quarter of them at an eighth).
    if (FNeeded[static_cast<std::size_t>(FRow)]) {
      for (int x = 0; x < FNewW; ++x) {
        const Tap& tx = FXs[static_cast<std::size_t>(x)];
        FLatest[static_cast<std::size_t>(x)] = Lerp(ARow[tx.I0], ARow[tx.I1], tx.F);
      }
    }
    // Each tap reads this row and the one above it, or this one twice at the edge.
    while (FNext < FNewH && FYs[static_cast<std::size_t>(FNext)].I1 == FRow) {
      const Tap& t = FYs[static_cast<std::size_t>(FNext)];
      const std::uint32_t* r0 = t.I0 == FRow ? FLatest.data() : FAbove.data();
      std::uint32_t* d = FOut.get() + static_cast<std::size_t>(FNext) * FNewW;
      for (int x = 0; x < FNewW; ++x) d[x] = Lerp(r0[x], FLatest[static_cast<std::size_t>(x)], t.F);
      ++FNext;
    }
    FAbove.swap(FLatest);
    ++FRow;
  }
  // The scaled pixels, once every source row has been added.
  TBitmapPixels Take() { return std::move(FOut); }

 private:
  struct Tap { int I0, I1, F; };  // F: weight of I1 in 1/256
  static std::vector<Tap> Taps(int AFrom, int ATo) {
    std::vector<Tap> t(static_cast<std::size_t>(ATo));
    const double ratio = static_cast<double>(AFrom) / ATo;
    for (int i = 0; i < ATo; ++i) {
      double s = (i + 0.5) * ratio - 0.5;
      s = std::clamp(s, 0.0, static_cast<double>(AFrom - 1));
      const int i0 = static_cast<int>(s);
      t[static_cast<std::size_t>(i)] = {i0, std::min(i0 + 1, AFrom - 1), static_cast<int>(std::lround((s - i0) * 256))};
    }
    return t;
  }
  static std::uint32_t Lerp(std::uint32_t a, std::uint32_t b, int f) {
    // Halving puts every sample midway, where the blend is the mean rounded up, which
    // the four channels can take at once: (a + b + 1) / 2 = (a | b) - (a ^ b) / 2.
    if (f == 128) return (a | b) - (((a ^ b) >> 1) & 0x7F7F7F7Fu);
    std::uint32_t r = 0;
    for (int shift = 0; shift < 32; shift += 8) {
      const int ca = (a >> shift) & 0xFF, cb = (b >> shift) & 0xFF;
      r |= static_cast<std::uint32_t>((ca * (256 - f) + cb * f + 128) >> 8) << shift;
    }
    return r;
  }

  int FNewW, FNewH;
  std::vector<Tap> FXs, FYs;
  TBitmapPixels FOut;
  std::vector<bool> FNeeded;  // the source rows some result row reads
  std::vector<std::uint32_t> FAbove, FLatest;  // the last two source rows, scaled across
  int FRow = 0, FNext = 0;
};

TBitmapPixels ScaleLinear(const std::uint32_t* ASrc, int AW, int AH, int ANewW, int ANewH) {
  TLinearScaler scaler(AW, AH, ANewW, ANewH);
  for (int y = 0; y < AH; ++y) scaler.AddRow(ASrc + static_cast<std::size_t>(y) * AW);
  return scaler.Take();
}

// Hands the decoded pixels to the bitmap, scaled down first when a side is too long, or
// to 1/AReduction of each side (rounded up, as libjpeg-turbo's reduced sizes are).
void Deliver(TBitmap& ABitmap, int AW, int AH, TBitmapPixels APixels, int AReduction = 1) {
  if (AReduction > 1) {
    const int w = (AW + AReduction - 1) / AReduction, h = (AH + AReduction - 1) / AReduction;
    APixels = ScaleLinear(APixels.get(), AW, AH, w, h);
    AW = w;
    AH = h;
  }
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

void TQtBitmapCodecs::SetReduction(int AValue) {
  FReduction = AValue >= 8 ? 8 : AValue >= 4 ? 4 : AValue >= 2 ? 2 : 1;
}

void TQtBitmapCodecs::LoadFromMemory(TBitmap& ABitmap, const std::uint8_t* AData,
                                     std::size_t ASize) {
  if (!AData || ASize == 0) throw EBitmapLoadingFailed();
  try {
    if (IsJpeg(AData, ASize) && DecodeJpeg(ABitmap, AData, ASize)) return;
    if (FPlainPng && FReduction > 1 && IsPng(AData, ASize) && DecodeReducedPng(ABitmap, AData, ASize)) return;
    if (FPlainPng && IsPng(AData, ASize)) {
      TBitmapPixels pixels;
      int w = 0, h = 0;
      if (DecodePlainPng(AData, ASize, pixels, w, h)) {
        Deliver(ABitmap, w, h, std::move(pixels), FReduction);
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

// A plain PNG wanted smaller is scaled as its rows come, so the whole picture is never
// held: a ring picture is four times the size it is shown at. The same pixels as the
// whole picture decoded, then scaled. False when the file is a PNG of another kind.
bool TQtBitmapCodecs::DecodeReducedPng(TBitmap& ABitmap, const std::uint8_t* AData, std::size_t ASize) {
  std::unique_ptr<TLinearScaler> scaler;
  int w = 0, h = 0;
  const bool plain = DecodePlainPngRows(
      AData, ASize,
      [&](int AW, int AH) {
        if (static_cast<std::uint64_t>(AW) * AH * 4 > MaxDecodedBytes) throw EBitmapLoadingFailed();
        w = (AW + FReduction - 1) / FReduction;
        h = (AH + FReduction - 1) / FReduction;
        scaler = std::make_unique<TLinearScaler>(AW, AH, w, h);
      },
      [&](const std::uint32_t* ARow) { scaler->AddRow(ARow); });
  if (!plain) return false;
  Deliver(ABitmap, w, h, scaler->Take());
  return true;
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
  // libjpeg-turbo skips most of the inverse transform at these scales; the size rounds
  // up, as the decoder's own does.
  if (FReduction > 1) {
    const tjscalingfactor factor{1, FReduction};
    w = TJSCALED(w, factor);
    h = TJSCALED(h, factor);
  }
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
  Deliver(ABitmap, w, h, std::move(pixels), FReduction);
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

}  // namespace sphaerix
