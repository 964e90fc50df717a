// TBitmap: an image of 32-bit BGRA pixels with premultiplied alpha, top row first,
// rows packed without padding (stride = width * 4). Read as a little-endian 32-bit word a
// pixel is a premultiplied TAlphaColor (0xAARRGGBB).
//
// Decoding and encoding are platform services behind IBitmapCodecs; the scene layer
// only calls LoadFromStream / SaveToFile.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "scene/material/color.h"

namespace sphaerix {

class TStream;
class IBitmapCodecs;

// Data that the codecs cannot decode.
class EBitmapLoadingFailed : public std::runtime_error {
 public:
  EBitmapLoadingFailed() : std::runtime_error("Loading bitmap failed.") {}
};

// No codec for the file name's extension, or the encoder failed.
class EBitmapSavingFailed : public std::runtime_error {
 public:
  EBitmapSavingFailed() : std::runtime_error("Saving bitmap failed.") {}
  // The same, followed by what failed and why.
  explicit EBitmapSavingFailed(const std::string& AWhy) : std::runtime_error("Saving bitmap failed. " + AWhy) {}
};

// Options for the encoder. Quality 0 to 100 matters to JPEG only.
struct TBitmapCodecSaveParams {
  std::int32_t Quality = 0;
};

// Pixel storage of a bitmap; uninitialised on allocation so that a decoder can write
// straight into it. Allocated by TBitmap::AllocatePixels only.
struct TBitmapPixelsFree {
  std::size_t Bytes = 0;  // as allocated
  void operator()(std::uint32_t* APixels) const noexcept;
};
using TBitmapPixels = std::unique_ptr<std::uint32_t[], TBitmapPixelsFree>;

class TBitmap {
 public:
  TBitmap() = default;
  TBitmap(int AWidth, int AHeight);
  TBitmap(const TBitmap&) = delete;
  TBitmap& operator=(const TBitmap&) = delete;

  int Width() const { return FWidth; }
  int Height() const { return FHeight; }
  int Stride() const { return FWidth * 4; }
  // True when width x height is 0.
  bool IsEmpty() const { return FWidth == 0 || FHeight == 0; }

  // Physical pixels per logical pixel; 1 unless a screenshot at another scale set it.
  float BitmapScale() const { return FBitmapScale; }
  void SetBitmapScale(float AValue) { FBitmapScale = AValue; }

  // New size with every pixel transparent (claNull); a negative side counts as 0.
  // Raises OnChange when the size changed.
  void SetSize(int AWidth, int AHeight);
  // Fills every pixel with AColor, premultiplied; raises OnChange.
  void Clear(TAlphaColor AColor);

  // The pixels, top row first; nullptr when empty. Writing through them raises no
  // change: call BitmapChanged() when done.
  std::uint32_t* Bits() { return FBits.get(); }
  const std::uint32_t* Bits() const { return FBits.get(); }
  std::uint32_t* Scanline(int AY) { return FBits.get() + static_cast<std::size_t>(AY) * FWidth; }
  const std::uint32_t* Scanline(int AY) const {
    return FBits.get() + static_cast<std::size_t>(AY) * FWidth;
  }
  // The premultiplied colour at (AX, AY); no range check beyond a debug assertion.
  TAlphaColor Pixel(int AX, int AY) const;
  void SetPixel(int AX, int AY, TAlphaColor APremultiplied);

  // Copies size, pixels and scale of ASource (OnChange stays); raises OnChange.
  void Assign(const TBitmap& ASource);
  // Takes over a pixel buffer of AWidth x AHeight (codecs decode into one made by
  // AllocatePixels, then hand it over); raises OnChange.
  void SetPixels(int AWidth, int AHeight, TBitmapPixels APixels);
  // Uninitialised pixels for AWidth x AHeight (nullptr for an empty size); raises
  // std::bad_alloc.
  static TBitmapPixels AllocatePixels(int AWidth, int AHeight);

  // Decodes the whole content of AStream, from its first byte whatever its position;
  // afterwards the position is at the end. On EBitmapLoadingFailed the bitmap is
  // left as it was.
  void LoadFromStream(TStream& AStream);
  // Encodes into AFileName, the format chosen by its extension. Raises
  // EBitmapSavingFailed (unknown extension, encoder failure) or EFileCreateError; an
  // existing file is replaced only by a complete new one.
  void SaveToFile(const std::string& AFileName,
                  const TBitmapCodecSaveParams* AParams = nullptr) const;

  // Raises OnChange; for code that wrote through Bits().
  void BitmapChanged();

  // Takes over size, pixels, mip levels and origin of ASource, which is left empty;
  // raises OnChange (ASource raises none).
  void TakeOver(TBitmap& ASource);

  // Smaller copies of the picture for a device that samples it from afar: level 1 at
  // half the size (rounded down, at least 1) and so on down to 1 x 1, each pixel the
  // mean of the 2 x 2 pixels above it. Made on demand (a worker can make them while it
  // owns the bitmap); dropped with the pixels. Raises no change.
  void BuildMipLevels();
  // Levels below the picture held now (0 when none were made).
  int MipLevelCount() const { return static_cast<int>(FLevelOffsets.size()); }
  // Level ALevel (1 .. MipLevelCount()), rows packed, top row first.
  const std::uint32_t* MipLevel(int ALevel) const {
    return FLevels.get() + FLevelOffsets[static_cast<std::size_t>(ALevel - 1)];
  }
  // Number of levels of a full chain for AWidth x AHeight, the picture included.
  static int FullMipChain(int AWidth, int AHeight);

  // The encoded bytes the pixels were decoded from, when they stay valid for the whole
  // run (the program's resources): the picture can then be dropped once a device holds
  // it, and decoded again should the device lose it. Null otherwise.
  const std::uint8_t* Origin() const { return FOrigin; }
  std::size_t OriginSize() const { return FOriginSize; }
  // What decodes the origin again; null when there is no origin.
  IBitmapCodecs* OriginDecoder() const { return FOriginDecoder; }
  // Marks [AData, AData + ASize) as the origin of the pixels held now, to be decoded again
  // by ADecoder, which must outlive this bitmap: a paint that needs the picture again
  // takes it from here, never from whatever codecs happen to be installed then.
  void SetOrigin(const std::uint8_t* AData, std::size_t ASize, IBitmapCodecs& ADecoder);
  // Drops pixels and mip levels, keeping the origin, without raising a change: the
  // picture lives on in the device.
  void ReleasePixels();
  // Decodes the origin again into pixels, without raising a change. False when there
  // is no origin; raises EBitmapLoadingFailed as a load does.
  bool ReloadPixels();

  // Sender first: the bitmap whose pixels or size changed.
  std::function<void(TBitmap& ASender)> OnChange;

 private:
  void MoveFrom(TBitmap& ASource);

  int FWidth = 0;
  int FHeight = 0;
  float FBitmapScale = 1.0f;
  TBitmapPixels FBits;
  TBitmapPixels FLevels;                   // every mip level, one after the other
  std::vector<std::size_t> FLevelOffsets;  // where level 1, 2, ... begins in FLevels
  const std::uint8_t* FOrigin = nullptr;
  std::size_t FOriginSize = 0;
  IBitmapCodecs* FOriginDecoder = nullptr;
};

// The platform's image codecs. Both calls are the whole job: Load decodes all of
// [AData, AData + ASize) and hands the pixels over with SetPixels, or raises
// EBitmapLoadingFailed and leaves ABitmap untouched.
class IBitmapCodecs {
 public:
  virtual ~IBitmapCodecs() = default;
  virtual void LoadFromMemory(TBitmap& ABitmap, const std::uint8_t* AData, std::size_t ASize) = 0;
  virtual void SaveToFile(const TBitmap& ABitmap, const std::string& AFileName,
                          const TBitmapCodecSaveParams* AParams) = 0;
};

// The codecs of the current scene runtime (scene_runtime.h), which loads and saves go
// through. Raises std::logic_error when no runtime with codecs is in place.
IBitmapCodecs& BitmapCodecs();

}  // namespace sphaerix
