#include "scene/bitmap.h"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <new>
#include <vector>

#include "scene/stream.h"

namespace sphaerix {

namespace {

IBitmapCodecs* GCodecs = nullptr;

std::uint32_t Premultiply(TAlphaColor c) {
  const std::uint32_t a = AlphaOf(c);
  if (a == 255) return c;
  auto mul = [a](std::uint32_t v) { return (v * a + 127) / 255; };
  return (a << 24) | (mul(RedOf(c)) << 16) | (mul(GreenOf(c)) << 8) | mul(BlueOf(c));
}

}  // namespace

IBitmapCodecs& BitmapCodecs() {
  if (!GCodecs) throw std::logic_error("no bitmap codecs installed");
  return *GCodecs;
}

void SetBitmapCodecs(IBitmapCodecs* ACodecs) { GCodecs = ACodecs; }

TBitmap::TBitmap(int AWidth, int AHeight) { SetSize(AWidth, AHeight); }

TBitmapPixels TBitmap::AllocatePixels(int AWidth, int AHeight) {
  if (AWidth <= 0 || AHeight <= 0) return nullptr;
  return TBitmapPixels(new std::uint32_t[static_cast<std::size_t>(AWidth) * AHeight]);
}

void TBitmap::SetSize(int AWidth, int AHeight) {
  AWidth = std::max(0, AWidth);
  AHeight = std::max(0, AHeight);
  if (AWidth == FWidth && AHeight == FHeight) return;
  if (AWidth == 0 || AHeight == 0) AWidth = AHeight = 0;
  TBitmapPixels bits = AllocatePixels(AWidth, AHeight);
  if (bits) std::fill_n(bits.get(), static_cast<std::size_t>(AWidth) * AHeight, claNull);
  SetPixels(AWidth, AHeight, std::move(bits));
}

void TBitmap::Clear(TAlphaColor AColor) {
  std::fill_n(FBits.get(), static_cast<std::size_t>(FWidth) * FHeight, Premultiply(AColor));
  BitmapChanged();
}

TAlphaColor TBitmap::Pixel(int AX, int AY) const {
  assert(AX >= 0 && AX < FWidth && AY >= 0 && AY < FHeight);
  return Scanline(AY)[AX];
}

void TBitmap::SetPixel(int AX, int AY, TAlphaColor APremultiplied) {
  assert(AX >= 0 && AX < FWidth && AY >= 0 && AY < FHeight);
  Scanline(AY)[AX] = APremultiplied;
}

void TBitmap::Assign(const TBitmap& ASource) {
  if (&ASource == this) return;
  TBitmapPixels bits = AllocatePixels(ASource.FWidth, ASource.FHeight);
  if (bits)
    std::memcpy(bits.get(), ASource.FBits.get(),
                static_cast<std::size_t>(ASource.FWidth) * ASource.FHeight * 4);
  FBitmapScale = ASource.FBitmapScale;
  SetPixels(ASource.FWidth, ASource.FHeight, std::move(bits));
}

void TBitmap::SetPixels(int AWidth, int AHeight, TBitmapPixels APixels) {
  if (!APixels || AWidth <= 0 || AHeight <= 0) {
    AWidth = AHeight = 0;
    APixels.reset();
  }
  FWidth = AWidth;
  FHeight = AHeight;
  FBits = std::move(APixels);
  BitmapChanged();
}

void TBitmap::BitmapChanged() {
  if (OnChange) OnChange(*this);
}

void TBitmap::LoadFromStream(TStream& AStream) {
  // A shared stream keeps the position of the last reader, so the content is always
  // taken from the first byte; a memory-backed stream is decoded in place.
  const std::int64_t size = AStream.Size();
  if (const std::uint8_t* memory = AStream.Memory()) {
    AStream.Seek(0, TSeekOrigin::End);
    BitmapCodecs().LoadFromMemory(*this, memory, static_cast<std::size_t>(size));
    return;
  }
  std::vector<std::uint8_t> bytes;
  try {
    bytes.resize(static_cast<std::size_t>(std::max<std::int64_t>(0, size)));
  } catch (const std::bad_alloc&) {
    throw EBitmapLoadingFailed();
  }
  AStream.Seek(0, TSeekOrigin::Beginning);
  std::size_t got = 0;
  while (got < bytes.size()) {
    const std::int64_t n = AStream.Read(bytes.data() + got, static_cast<std::int64_t>(bytes.size() - got));
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  bytes.resize(got);
  BitmapCodecs().LoadFromMemory(*this, bytes.data(), bytes.size());
}

void TBitmap::SaveToFile(const std::string& AFileName,
                         const TBitmapCodecSaveParams* AParams) const {
  BitmapCodecs().SaveToFile(*this, AFileName, AParams);
}

}  // namespace sphaerix
