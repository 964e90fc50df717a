#include "platform/gif_encoder.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <unordered_map>
#include <vector>

namespace sphaerix {

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

}  // namespace sphaerix
