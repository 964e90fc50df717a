#include "scene/bitmap.h"

#include <algorithm>
#include <cassert>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <vector>

#include "scene/stream.h"

#if defined(__linux__)
#include <sys/mman.h>
#endif

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

namespace {

// Large pixel buffers are page-aligned and, where the system has them, on huge pages.
constexpr std::size_t HugePage = std::size_t{2} << 20;
// A spare never holds more than a 4096 x 4096 image.
constexpr std::size_t MaxSpareBytes = std::size_t{64} << 20;

// The most recently released large buffer, kept for the next allocation of the same
// size. Loading a new image into a bitmap needs a fresh buffer (the old pixels stay
// until the new ones are complete), and the same size comes back again and again
// (every surface map is 4096 x 2048): reusing memory that is already mapped saves the
// page faults of 32 MB, a quarter of a decode. Costs one spare buffer at most.
struct TSpareBuffer {
  std::mutex Lock;
  void* Memory = nullptr;
  std::size_t Bytes = 0;
};

// Never destroyed: bitmaps of static lifetime may still release pixels at exit.
TSpareBuffer& Spare() {
  static TSpareBuffer* spare = new TSpareBuffer;
  return *spare;
}

void* TakeSpare(std::size_t ABytes) {
  TSpareBuffer& spare = Spare();
  std::lock_guard<std::mutex> guard(spare.Lock);
  if (!spare.Memory || spare.Bytes != ABytes) return nullptr;
  void* memory = spare.Memory;
  spare.Memory = nullptr;
  return memory;
}

}  // namespace

void TBitmapPixelsFree::operator()(std::uint32_t* APixels) const noexcept {
  if (!APixels) return;
  if (Bytes >= HugePage && Bytes <= MaxSpareBytes) {
    TSpareBuffer& spare = Spare();
    std::lock_guard<std::mutex> guard(spare.Lock);
    std::free(spare.Memory);
    spare.Memory = APixels;
    spare.Bytes = Bytes;
    return;
  }
  std::free(APixels);
}

TBitmapPixels TBitmap::AllocatePixels(int AWidth, int AHeight) {
  if (AWidth <= 0 || AHeight <= 0) return nullptr;
  const std::size_t bytes = static_cast<std::size_t>(AWidth) * AHeight * 4;
  const std::size_t align = bytes >= HugePage ? HugePage : 64;
  const std::size_t rounded = (bytes + align - 1) / align * align;
  void* memory = align == HugePage ? TakeSpare(rounded) : nullptr;
  if (!memory) {
    memory = std::aligned_alloc(align, rounded);
    if (!memory) throw std::bad_alloc();
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    if (align == HugePage) madvise(memory, rounded, MADV_HUGEPAGE);
#endif
  }
  return TBitmapPixels(static_cast<std::uint32_t*>(memory), TBitmapPixelsFree{rounded});
}

TBitmap::TBitmap(int AWidth, int AHeight) { SetSize(AWidth, AHeight); }

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
