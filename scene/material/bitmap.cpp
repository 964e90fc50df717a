#include "scene/material/bitmap.h"

#include "scene/runtime/scene_runtime.h"

#include <algorithm>
#include <cassert>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "scene/material/stream.h"

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace sphaerix {

namespace {

std::uint32_t Premultiply(TAlphaColor c) {
  const std::uint32_t a = AlphaOf(c);
  if (a == 255) return c;
  auto mul = [a](std::uint32_t v) { return (v * a + 127) / 255; };
  return (a << 24) | (mul(RedOf(c)) << 16) | (mul(GreenOf(c)) << 8) | mul(BlueOf(c));
}

}  // namespace

IBitmapCodecs& BitmapCodecs() {
  SceneRuntime* runtime = SceneRuntime::Current();
  if (!runtime || !runtime->Codecs()) throw std::logic_error("no bitmap codecs installed");
  return *runtime->Codecs();
}

namespace {

// Large pixel buffers are mapped from the system on their own (on huge pages where it has
// them) and go back to it whole when freed: the allocator's arenas, one per thread that
// decodes, would otherwise keep the memory of every picture once decoded.
constexpr std::size_t HugePage = std::size_t{2} << 20;

}  // namespace

void TBitmapPixelsFree::operator()(std::uint32_t* APixels) const noexcept {
  if (!APixels) return;
#if defined(__linux__)
  if (Bytes >= HugePage) {
    munmap(APixels, Bytes);
    return;
  }
#endif
  std::free(APixels);
}

TBitmapPixels TBitmap::AllocatePixels(int AWidth, int AHeight) {
  if (AWidth <= 0 || AHeight <= 0) return nullptr;
  const std::size_t bytes = static_cast<std::size_t>(AWidth) * AHeight * 4;
#if defined(__linux__)
  if (bytes >= HugePage) {
    const std::size_t rounded = (bytes + HugePage - 1) / HugePage * HugePage;
    // Mapped one huge page longer, then trimmed to a huge-page boundary at both ends.
    void* mapped = mmap(nullptr, rounded + HugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED) throw std::bad_alloc();
    const auto start = reinterpret_cast<std::uintptr_t>(mapped);
    const std::uintptr_t aligned = (start + HugePage - 1) / HugePage * HugePage;
    if (aligned > start) munmap(mapped, aligned - start);
    if (const std::size_t tail = start + rounded + HugePage - (aligned + rounded))
      munmap(reinterpret_cast<void*>(aligned + rounded), tail);
    void* memory = reinterpret_cast<void*>(aligned);
#if defined(MADV_HUGEPAGE)
    madvise(memory, rounded, MADV_HUGEPAGE);
#endif
    return TBitmapPixels(static_cast<std::uint32_t*>(memory), TBitmapPixelsFree{rounded});
  }
#endif
  const std::size_t rounded = (bytes + 63) / 64 * 64;
  void* memory = std::aligned_alloc(64, rounded);
  if (!memory) throw std::bad_alloc();
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
  // New content: levels and origin belonged to the old one.
  FLevels.reset();
  FLevelOffsets.clear();
  FOrigin = nullptr;
  FOriginSize = 0;
  FOriginDecoder = nullptr;
  BitmapChanged();
}

void TBitmap::TakeOver(TBitmap& ASource) {
  if (&ASource == this) return;
  MoveFrom(ASource);
  BitmapChanged();
}

void TBitmap::MoveFrom(TBitmap& ASource) {
  FWidth = ASource.FWidth;
  FHeight = ASource.FHeight;
  FBitmapScale = ASource.FBitmapScale;
  FBits = std::move(ASource.FBits);
  FLevels = std::move(ASource.FLevels);
  FLevelOffsets = std::move(ASource.FLevelOffsets);
  FOrigin = ASource.FOrigin;
  FOriginSize = ASource.FOriginSize;
  FOriginDecoder = ASource.FOriginDecoder;
  ASource.FWidth = ASource.FHeight = 0;
  ASource.FLevelOffsets.clear();
  ASource.FOrigin = nullptr;
  ASource.FOriginSize = 0;
  ASource.FOriginDecoder = nullptr;
}

void TBitmap::SetOrigin(const std::uint8_t* AData, std::size_t ASize, IBitmapCodecs& ADecoder) {
  FOrigin = AData;
  FOriginSize = AData ? ASize : 0;
  FOriginDecoder = AData ? &ADecoder : nullptr;
}

int TBitmap::FullMipChain(int AWidth, int AHeight) {
  int levels = 1;
  for (int side = std::max(AWidth, AHeight); side > 1; side /= 2) ++levels;
  return levels;
}

namespace {

// One level down: each pixel the rounded mean of the 2 x 2 above it (the last row or
// column of an odd side taken twice), per premultiplied channel.
void HalveLevel(const std::uint32_t* ASrc, int AW, int AH, std::uint32_t* ADst, int ANewW, int ANewH) {
  for (int y = 0; y < ANewH; ++y) {
    const std::uint32_t* r0 = ASrc + static_cast<std::size_t>(std::min(2 * y, AH - 1)) * AW;
    const std::uint32_t* r1 = ASrc + static_cast<std::size_t>(std::min(2 * y + 1, AH - 1)) * AW;
    std::uint32_t* d = ADst + static_cast<std::size_t>(y) * ANewW;
    for (int x = 0; x < ANewW; ++x) {
      const int x0 = std::min(2 * x, AW - 1), x1 = std::min(2 * x + 1, AW - 1);
      const std::uint32_t a = r0[x0], b = r0[x1], c = r1[x0], e = r1[x1];
      // Two channels at a time in 16-bit lanes: the sums of four bytes fit.
      const std::uint32_t lo = (a & 0x00FF00FF) + (b & 0x00FF00FF) + (c & 0x00FF00FF) + (e & 0x00FF00FF) + 0x00020002;
      const std::uint32_t hi =
          ((a >> 8) & 0x00FF00FF) + ((b >> 8) & 0x00FF00FF) + ((c >> 8) & 0x00FF00FF) + ((e >> 8) & 0x00FF00FF) + 0x00020002;
      d[x] = ((lo >> 2) & 0x00FF00FF) | (((hi >> 2) & 0x00FF00FF) << 8);
    }
  }
}

}  // namespace

void TBitmap::BuildMipLevels() {
  FLevels.reset();
  FLevelOffsets.clear();
  if (IsEmpty() || !FBits) return;
  std::size_t total = 0;
  std::vector<std::size_t> offsets;
  for (int w = FWidth, h = FHeight; w > 1 || h > 1;) {
    w = std::max(1, w / 2);
    h = std::max(1, h / 2);
    offsets.push_back(total);
    total += static_cast<std::size_t>(w) * h;
  }
  if (total == 0) return;
  TBitmapPixels levels = AllocatePixels(static_cast<int>(total), 1);
  const std::uint32_t* src = FBits.get();
  int w = FWidth, h = FHeight;
  for (std::size_t i = 0; i < offsets.size(); ++i) {
    const int nw = std::max(1, w / 2), nh = std::max(1, h / 2);
    std::uint32_t* dst = levels.get() + offsets[i];
    HalveLevel(src, w, h, dst, nw, nh);
    src = dst;
    w = nw;
    h = nh;
  }
  FLevels = std::move(levels);
  FLevelOffsets = std::move(offsets);
}

void TBitmap::ReleasePixels() {
  FBits.reset();
  FLevels.reset();
  FLevelOffsets.clear();
  FWidth = FHeight = 0;
}

bool TBitmap::ReloadPixels() {
  if (!FOrigin || !FOriginDecoder) return false;
  const std::uint8_t* origin = FOrigin;
  const std::size_t size = FOriginSize;
  IBitmapCodecs* decoder = FOriginDecoder;
  // Decoded into a bitmap of its own so that no change is raised here.
  TBitmap fresh;
  decoder->LoadFromMemory(fresh, origin, size);
  MoveFrom(fresh);
  FOrigin = origin;
  FOriginSize = size;
  FOriginDecoder = decoder;
  return true;
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
    IBitmapCodecs& codecs = BitmapCodecs();
    codecs.LoadFromMemory(*this, memory, static_cast<std::size_t>(size));
    if (AStream.Permanent()) SetOrigin(memory, static_cast<std::size_t>(size), codecs);
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
