// Float images and their file formats for the image generator.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace imagegen {

// Interleaved float pixels, 0..1 per channel, rows top to bottom.
struct Image {
  int w = 0, h = 0, c = 0;
  std::vector<float> px;

  Image() = default;
  Image(int width, int height, int channels)
      : w(width), h(height), c(channels), px(size_t(width) * height * channels, 0.0f) {}
  float* row(int y) { return px.data() + size_t(y) * w * c; }
  const float* row(int y) const { return px.data() + size_t(y) * w * c; }
  float& at(int x, int y, int ch) { return px[(size_t(y) * w + x) * c + ch]; }
  float at(int x, int y, int ch) const { return px[(size_t(y) * w + x) * c + ch]; }
};

std::vector<uint8_t> ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes);

// PNG of any colour type and depth, as 4 channels (RGBA, straight alpha); raw sample
// values, no gamma conversion.
Image LoadPng(const std::string& path);
// JPEG as 3 channels (RGB).
Image LoadJpeg(const std::string& path);
// Either of the above, by signature.
Image LoadImage(const std::string& path);

// 1 channel gives a greyscale JPEG, 3 channels a 4:2:0 colour JPEG; baseline, no metadata.
std::vector<uint8_t> EncodeJpeg(const Image& img, int quality);
// 8-bit RGBA PNG (4 channels expected), no ancillary chunks, so the bytes depend on the
// pixels only.
std::vector<uint8_t> EncodePng(const Image& img, int zlibLevel);

// Reads width, height and component count of a JPEG without decoding it.
void JpegInfo(const std::vector<uint8_t>& bytes, int& w, int& h, int& components);

inline uint8_t ToByte(float v) {
  v = v * 255.0f + 0.5f;
  return v <= 0.0f ? 0 : v >= 255.0f ? 255 : uint8_t(v);
}

}  // namespace imagegen
