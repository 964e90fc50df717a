#include "platform/png_decoder.h"

#include <QRgb>
#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
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

// Undoes the filter of one row of ABytes bytes (4 per pixel) from AIn into AOut; APrior
// is the raw row above, or null for the first row. The three do not overlap. Pixels go
// one at a time (each depends on the one to its left), their four bytes side by side.
void Unfilter(int AFilter, const std::uint8_t* __restrict AIn, std::uint8_t* __restrict AOut,
              const std::uint8_t* __restrict APrior, std::size_t ABytes) {
  static const std::uint8_t zeros[4] = {0, 0, 0, 0};
  switch (AFilter) {
    case 0:
      std::memcpy(AOut, AIn, ABytes);
      return;
    case 1: {
      std::uint8_t left[4] = {0, 0, 0, 0};
      for (std::size_t i = 0; i < ABytes; i += 4)
        for (int k = 0; k < 4; ++k) AOut[i + k] = left[k] = static_cast<std::uint8_t>(AIn[i + k] + left[k]);
      return;
    }
    case 2:
      if (!APrior) {
        std::memcpy(AOut, AIn, ABytes);
        return;
      }
      for (std::size_t i = 0; i < ABytes; ++i) AOut[i] = static_cast<std::uint8_t>(AIn[i] + APrior[i]);
      return;
    case 3: {
      std::uint8_t left[4] = {0, 0, 0, 0};
      for (std::size_t i = 0; i < ABytes; i += 4) {
        const std::uint8_t* up = APrior ? APrior + i : zeros;
        for (int k = 0; k < 4; ++k)
          AOut[i + k] = left[k] = static_cast<std::uint8_t>(AIn[i + k] + ((left[k] + up[k]) >> 1));
      }
      return;
    }
    case 4: {
      if (!APrior) {  // Paeth of a first row is Sub
        Unfilter(1, AIn, AOut, nullptr, ABytes);
        return;
      }
#if defined(__SSE2__)
      // The four bytes of a pixel as 16-bit lanes; the predictor chosen with masks, not
      // branches (which the data would defeat).
      const __m128i zero = _mm_setzero_si128(), low = _mm_set1_epi16(0xFF);
      auto load = [&zero](const std::uint8_t* p) {
        std::int32_t v;
        std::memcpy(&v, p, 4);
        return _mm_unpacklo_epi8(_mm_cvtsi32_si128(v), zero);
      };
      auto abs16 = [&zero](__m128i v) { return _mm_max_epi16(v, _mm_sub_epi16(zero, v)); };
      auto pick = [](__m128i mask, __m128i yes, __m128i no) {
        return _mm_or_si128(_mm_and_si128(mask, yes), _mm_andnot_si128(mask, no));
      };
      __m128i a = zero, c = zero;
      for (std::size_t i = 0; i < ABytes; i += 4) {
        const __m128i b = load(APrior + i), x = load(AIn + i);
        const __m128i pa = abs16(_mm_sub_epi16(b, c)), pb = abs16(_mm_sub_epi16(a, c));
        const __m128i pc = abs16(_mm_sub_epi16(_mm_add_epi16(a, b), _mm_add_epi16(c, c)));
        const __m128i smallest = _mm_min_epi16(pc, _mm_min_epi16(pa, pb));
        const __m128i nearest =
            pick(_mm_cmpeq_epi16(smallest, pa), a, pick(_mm_cmpeq_epi16(smallest, pb), b, c));
        a = _mm_and_si128(_mm_add_epi16(x, nearest), low);
        const std::int32_t out = _mm_cvtsi128_si32(_mm_packus_epi16(a, a));
        std::memcpy(AOut + i, &out, 4);
        c = b;
      }
#else
      int left[4] = {0, 0, 0, 0}, corner[4] = {0, 0, 0, 0};
      for (std::size_t i = 0; i < ABytes; i += 4)
        for (int k = 0; k < 4; ++k) {
          const int a = left[k], b = APrior[i + k], c = corner[k];
          // |p - a|, |p - b|, |p - c| for p = a + b - c.
          const int pa = std::abs(b - c), pb = std::abs(a - c), pc = std::abs(a + b - 2 * c);
          const int pred = (pa <= pb && pa <= pc) ? a : (pb <= pc ? b : c);
          left[k] = static_cast<std::uint8_t>(AIn[i + k] + pred);
          AOut[i + k] = static_cast<std::uint8_t>(left[k]);
          corner[k] = b;
        }
#endif
      return;
    }
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
  // A filtered row is copied aside first: its raw bytes land partly over it.
  std::vector<std::uint8_t> filteredRow(rowBytes);
  for (std::size_t y = 0; y < h; ++y) {
    const std::uint8_t* in = buffer + y * (rowBytes + 1);
    std::uint8_t* out = buffer + y * rowBytes;
    std::uint8_t* prior = y > 0 ? out - rowBytes : nullptr;
    const int filter = in[0];
    std::memcpy(filteredRow.data(), in + 1, rowBytes);
    Unfilter(filter, filteredRow.data(), out, prior, rowBytes);
    if (prior) ToPremultipliedBgra(prior, png.Width);
  }
  ToPremultipliedBgra(buffer + (h - 1) * rowBytes, png.Width);
  APixels = std::move(pixels);
  AWidth = png.Width;
  AHeight = png.Height;
  return true;
}

bool DecodePlainPngRows(const std::uint8_t* AData, std::size_t ASize,
                        const std::function<void(int, int)>& ASizeKnown,
                        const std::function<void(const std::uint32_t*)>& ARow) {
  if (!AData || !IsPng(AData, ASize)) return false;
  TPlainPng png;
  if (!ReadChunks(AData, ASize, png)) return false;
  const std::size_t rowBytes = static_cast<std::size_t>(png.Width) * 4;
  if (static_cast<std::uint64_t>(png.Height) * (rowBytes + 1) > (1ull << 30)) throw EBitmapLoadingFailed();
  ASizeKnown(png.Width, png.Height);

  struct TInflate {
    z_stream Z{};
    bool Open = false;
    ~TInflate() {
      if (Open) inflateEnd(&Z);
    }
  } inflater;
  if (inflateInit(&inflater.Z) != Z_OK) throw EBitmapLoadingFailed();
  inflater.Open = true;
  z_stream& z = inflater.Z;
  // Filtered rows land in a batch of a few, each taken once whole; the raw row above is
  // kept for the filters that read it, and the row handed out is premultiplied apart.
  constexpr std::size_t kBatchRows = 16;
  const std::size_t filteredBytes = rowBytes + 1;
  // (never more rows than the picture has: a very wide one may be a single row)
  const std::size_t batchRows = std::min(kBatchRows, static_cast<std::size_t>(png.Height));
  std::vector<std::uint8_t> batch(filteredBytes * batchRows), raw(rowBytes), prior(rowBytes);
  std::vector<std::uint32_t> row(static_cast<std::size_t>(png.Width));
  std::size_t chunk = 0, filled = 0;
  int y = 0;
  bool ended = false;
  while (y < png.Height) {
    if (z.avail_in == 0 && chunk < png.Data.size() && !ended) {
      z.next_in = const_cast<Bytef*>(png.Data[chunk].first);
      // IDAT chunks are far below 4 GiB: their length is a 31-bit number.
      z.avail_in = static_cast<uInt>(png.Data[chunk].second);
      ++chunk;
    }
    const std::size_t rowsLeft = static_cast<std::size_t>(png.Height - y);
    const std::size_t want = std::min(batch.size(), rowsLeft * filteredBytes);
    if (filled < want && !ended) {
      z.next_out = batch.data() + filled;
      z.avail_out = static_cast<uInt>(want - filled);
      const int status = inflate(&z, Z_NO_FLUSH);
      if (status == Z_STREAM_END) {
        ended = true;
      } else if (status == Z_BUF_ERROR) {
        if (z.avail_in == 0 && chunk >= png.Data.size()) throw EBitmapLoadingFailed();  // cut short
      } else if (status != Z_OK) {
        throw EBitmapLoadingFailed();
      }
      filled = want - z.avail_out;
    }
    const std::size_t whole = filled / filteredBytes;
    if (whole == 0) {
      if (ended) throw EBitmapLoadingFailed();  // the stream ended before the last row
      continue;
    }
    for (std::size_t r = 0; r < whole; ++r, ++y) {
      const std::uint8_t* in = batch.data() + r * filteredBytes;
      Unfilter(in[0], in + 1, raw.data(), y > 0 ? prior.data() : nullptr, rowBytes);
      std::memcpy(row.data(), raw.data(), rowBytes);
      ToPremultipliedBgra(reinterpret_cast<std::uint8_t*>(row.data()), png.Width);
      ARow(row.data());
      raw.swap(prior);
    }
    // A part row waits at the front for the rest of its bytes.
    const std::size_t used = whole * filteredBytes;
    std::memmove(batch.data(), batch.data() + used, filled - used);
    filled -= used;
  }
  return true;
}

}  // namespace sphaerix
