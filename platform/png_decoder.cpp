#include "platform/png_decoder.h"

#include <QRgb>
#include <libdeflate.h>

#include <cstring>
#include <memory>
#include <vector>

namespace sphaerix {

namespace {

std::uint32_t BigEndian32(const std::uint8_t* p) {
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

bool ChunkIs(const std::uint8_t* AType, const char* AName) { return std::memcmp(AType, AName, 4) == 0; }

// Ancillary chunks that change no pixel; any other (gamma, colour profile, transparency
// key, ...) sends the file to the general decoder, which knows what they mean.
bool Harmless(const std::uint8_t* AType) {
  for (const char* name : {"tEXt", "zTXt", "iTXt", "tIME", "pHYs", "bKGD"})
    if (ChunkIs(AType, name)) return true;
  return false;
}

struct TPlainPng {
  int Width = 0, Height = 0;
  std::vector<std::pair<const std::uint8_t*, std::size_t>> Data;  // the IDAT payloads
  std::size_t DataSize = 0;
};

// Reads the chunk list. False when the file is not a plain 8-bit RGBA PNG; raises when
// it claims to be one and is cut short.
bool ReadChunks(const std::uint8_t* AData, std::size_t ASize, TPlainPng& APng) {
  std::size_t at = 8;
  bool header = false, end = false;
  while (!end) {
    if (ASize - at < 12) {
      if (header) throw EBitmapLoadingFailed();
      return false;
    }
    const std::size_t length = BigEndian32(AData + at);
    const std::uint8_t* type = AData + at + 4;
    const std::uint8_t* body = AData + at + 8;
    if (length > ASize - at - 12) {
      if (header) throw EBitmapLoadingFailed();
      return false;
    }
    if (!header) {
      if (!ChunkIs(type, "IHDR") || length != 13) return false;
      APng.Width = static_cast<int>(BigEndian32(body));
      APng.Height = static_cast<int>(BigEndian32(body + 4));
      const int depth = body[8], colour = body[9], compression = body[10], filter = body[11], interlace = body[12];
      if (depth != 8 || colour != 6 || compression != 0 || filter != 0 || interlace != 0) return false;
      if (APng.Width <= 0 || APng.Height <= 0 || APng.Width > (1 << 24) || APng.Height > (1 << 24)) return false;
      header = true;
    } else if (ChunkIs(type, "IDAT")) {
      APng.Data.emplace_back(body, length);
      APng.DataSize += length;
    } else if (ChunkIs(type, "IEND")) {
      end = true;
    } else if (!Harmless(type)) {
      return false;
    }
    at += 12 + length;
  }
  if (APng.Data.empty()) throw EBitmapLoadingFailed();
  return true;
}

int Paeth(int a, int b, int c) {
  const int p = a + b - c;
  const int pa = p > a ? p - a : a - p, pb = p > b ? p - b : b - p, pc = p > c ? p - c : c - p;
  if (pa <= pb && pa <= pc) return a;
  return pb <= pc ? b : c;
}

// Undoes the filter of one row of ABytes bytes (4 per pixel): AIn holds the filtered
// bytes, AOut receives the raw ones and may lie before AIn in the same buffer (never
// after it); APrior is the raw row above, or null for the first row.
void Unfilter(int AFilter, const std::uint8_t* AIn, std::uint8_t* AOut, const std::uint8_t* APrior,
              std::size_t ABytes) {
  constexpr std::size_t bpp = 4;
  switch (AFilter) {
    case 0:
      std::memmove(AOut, AIn, ABytes);
      return;
    case 1:
      for (std::size_t i = 0; i < ABytes; ++i)
        AOut[i] = static_cast<std::uint8_t>(AIn[i] + (i >= bpp ? AOut[i - bpp] : 0));
      return;
    case 2:
      for (std::size_t i = 0; i < ABytes; ++i) AOut[i] = static_cast<std::uint8_t>(AIn[i] + (APrior ? APrior[i] : 0));
      return;
    case 3:
      for (std::size_t i = 0; i < ABytes; ++i) {
        const int left = i >= bpp ? AOut[i - bpp] : 0, up = APrior ? APrior[i] : 0;
        AOut[i] = static_cast<std::uint8_t>(AIn[i] + ((left + up) >> 1));
      }
      return;
    case 4:
      for (std::size_t i = 0; i < ABytes; ++i) {
        const int left = i >= bpp ? AOut[i - bpp] : 0, up = APrior ? APrior[i] : 0;
        const int corner = (APrior && i >= bpp) ? APrior[i - bpp] : 0;
        AOut[i] = static_cast<std::uint8_t>(AIn[i] + Paeth(left, up, corner));
      }
      return;
    default:
      throw EBitmapLoadingFailed();
  }
}

// Raw RGBA bytes to premultiplied BGRA words, in place, exactly as Qt premultiplies.
void ToPremultipliedBgra(std::uint8_t* ARow, int AWidth) {
  for (int x = 0; x < AWidth; ++x) {
    std::uint8_t* p = ARow + static_cast<std::size_t>(x) * 4;
    const QRgb argb = qRgba(p[0], p[1], p[2], p[3]);
    const QRgb pm = p[3] == 255 ? argb : p[3] == 0 ? 0 : qPremultiply(argb);
    std::memcpy(p, &pm, 4);
  }
}

// One per thread: libdeflate's decompressor is small but not free to make.
libdeflate_decompressor* Inflater() {
  struct TOwner {
    libdeflate_decompressor* D = libdeflate_alloc_decompressor();
    ~TOwner() { libdeflate_free_decompressor(D); }
  };
  thread_local TOwner owner;
  return owner.D;
}

}  // namespace

bool IsPng(const std::uint8_t* AData, std::size_t ASize) {
  static const std::uint8_t signature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  return ASize >= 8 && std::memcmp(AData, signature, 8) == 0;
}

bool DecodePlainPng(const std::uint8_t* AData, std::size_t ASize, TBitmapPixels& APixels, int& AWidth,
                    int& AHeight) {
  if (!AData || !IsPng(AData, ASize)) return false;
  TPlainPng png;
  if (!ReadChunks(AData, ASize, png)) return false;
  const std::size_t w = static_cast<std::size_t>(png.Width), h = static_cast<std::size_t>(png.Height);
  const std::size_t rowBytes = w * 4, filtered = h * (rowBytes + 1);
  if (static_cast<std::uint64_t>(filtered) > (1ull << 30)) throw EBitmapLoadingFailed();
  // The pixels' own buffer, a few rows longer so that the filtered rows (one byte more
  // each) fit in it: they are unfiltered in place, each raw row landing before its
  // filtered one.
  const std::size_t rows = (filtered + rowBytes - 1) / rowBytes;
  TBitmapPixels pixels = TBitmap::AllocatePixels(png.Width, static_cast<int>(rows));
  auto* buffer = reinterpret_cast<std::uint8_t*>(pixels.get());

  // The image data is one zlib stream split over the IDAT chunks.
  const std::uint8_t* stream = png.Data.front().first;
  std::unique_ptr<std::uint8_t[]> joined;
  if (png.Data.size() > 1) {
    joined.reset(new std::uint8_t[png.DataSize]);
    std::size_t at = 0;
    for (const auto& [bytes, length] : png.Data) {
      std::memcpy(joined.get() + at, bytes, length);
      at += length;
    }
    stream = joined.get();
  }
  std::size_t got = 0;
  if (libdeflate_zlib_decompress(Inflater(), stream, png.DataSize, buffer, filtered, &got) != LIBDEFLATE_SUCCESS ||
      got != filtered)
    throw EBitmapLoadingFailed();
  joined.reset();

  // Each row is converted once the next one has been unfiltered against its raw bytes.
  for (std::size_t y = 0; y < h; ++y) {
    const std::uint8_t* in = buffer + y * (rowBytes + 1);
    std::uint8_t* out = buffer + y * rowBytes;
    std::uint8_t* prior = y > 0 ? out - rowBytes : nullptr;
    Unfilter(in[0], in + 1, out, prior, rowBytes);
    if (prior) ToPremultipliedBgra(prior, png.Width);
  }
  ToPremultipliedBgra(buffer + (h - 1) * rowBytes, png.Width);
  APixels = std::move(pixels);
  AWidth = png.Width;
  AHeight = png.Height;
  return true;
}

}  // namespace sphaerix
