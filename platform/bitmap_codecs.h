// The image codecs behind TBitmap: libjpeg-turbo for JPEG, Qt's image I/O for PNG, BMP,
// GIF and TIFF reading and for PNG, BMP and TIFF writing, and our own GIF encoder
// (gif_encoder.h: Qt reads GIF but cannot write it).
//
// Plain 8-bit RGBA PNGs (the program's own layout images) take a quicker path of their
// own (png_decoder.h) with the same result.
//
// Decoded images are 32-bit BGRA with premultiplied alpha; JPEG images are opaque.
// An image larger than MaxBitmapSize on a side is scaled down with bilinear
// interpolation to fit a square of that size, keeping its aspect ratio.
//
// Saving never loses the user's old file: the picture is encoded completely in memory
// and then written with WriteFileReplacing (platform/file_replace.h). Formats without alpha (JPEG, BMP) store the premultiplied
// colours, which is the picture composited over black; GIF keeps pixels with alpha of
// at least one half and makes the rest transparent.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "scene/material/bitmap.h"

namespace sphaerix {

// The largest side a decoded bitmap may have.
constexpr int MaxBitmapSize = 8192;
// A decoded image may not need more than this many bytes before scaling: a header that
// claims a huge picture is refused instead of exhausting memory.
constexpr std::uint64_t MaxDecodedBytes = 1ull << 30;

// Keeps one libjpeg-turbo handle per direction: use it from one thread (the
// user-interface thread) at a time.
class TQtBitmapCodecs : public IBitmapCodecs {
 public:
  TQtBitmapCodecs();
  ~TQtBitmapCodecs() override;
  TQtBitmapCodecs(const TQtBitmapCodecs&) = delete;
  TQtBitmapCodecs& operator=(const TQtBitmapCodecs&) = delete;

  void LoadFromMemory(TBitmap& ABitmap, const std::uint8_t* AData, std::size_t ASize) override;
  void SaveToFile(const TBitmap& ABitmap, const std::string& AFileName,
                  const TBitmapCodecSaveParams* AParams) override;

  // Off: every PNG goes through Qt (to compare both paths).
  void SetPlainPngPath(bool AValue) { FPlainPng = AValue; }
  // Pictures decode at 1/AValue of their size on each side (1, 2, 4 or 8; other values
  // round down to one of these), sides rounded up: JPEG for a fraction of the work, other
  // formats decoded whole and then scaled down (an even side halves to the mean of each
  // 2 x 2 block).
  void SetReduction(int AValue);
  int Reduction() const { return FReduction; }

 private:
  bool DecodeJpeg(TBitmap& ABitmap, const std::uint8_t* AData, std::size_t ASize);
  bool DecodeReducedPng(TBitmap& ABitmap, const std::uint8_t* AData, std::size_t ASize);
  void DecodeWithQt(TBitmap& ABitmap, const std::uint8_t* AData, std::size_t ASize);
  std::vector<std::uint8_t> EncodeJpeg(const TBitmap& ABitmap, int AQuality);

  void* FDecompressor = nullptr;  // tjhandle, made on first use and kept
  void* FCompressor = nullptr;
  bool FPlainPng = true;
  int FReduction = 1;
};

// True when AFileName ends in the extension of a picture type the codecs save, in any
// case (".jpg", ".JPEG", ".png", ...); "trip v1.2" has none.
bool HasPictureExtension(const std::string& AFileName);

}  // namespace sphaerix
