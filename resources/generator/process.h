// Pixel operations shared by the recipes: parallel rows, resampling, noise, colour.
#pragma once

#include "image.h"

#include <cmath>
#include <functional>

namespace imagegen {

constexpr float kPi = 3.14159265358979f;

// Runs fn(y) for y in [0, h) on all cores. Each row is computed independently, so the
// result does not depend on the number of threads.
void ParallelRows(int h, const std::function<void(int)>& fn);

// How a source axis continues past its ends.
enum class Edge { Clamp, Wrap };

// Clamped Catmull-Rom resampling, separable. dstToSrcX(x) gives the source column (in
// source pixel units, pixel centres at integers) that the centre of destination column x
// falls on, so a map can be mirrored or turned while it is scaled; rows scale linearly.
// Each result is clamped to the range of the two nearest source samples, which keeps
// the cubic's sharpness without its overshoot (no ringing halos at hard edges).
Image ResampleCatmullRom(const Image& src, int dw, int dh, Edge edgeX,
                         const std::function<double(int)>& dstToSrcX = nullptr);

// Plain scaling of an equirectangular map: wraps in longitude, clamps at the poles.
inline Image UpscaleMap(const Image& src, int dw, int dh) { return ResampleCatmullRom(src, dw, dh, Edge::Wrap); }

// Keeps the first n channels.
Image Channels(const Image& src, int n);

// Rec. 709 luma of an RGB(A) pixel.
inline float Luma(const float* p) { return 0.2126f * p[0] + 0.7152f * p[1] + 0.0722f * p[2]; }

// Deterministic 3D gradient noise in about [-1, 1], seeded; the same seed always gives
// the same field.
class Noise3 {
 public:
  explicit Noise3(uint32_t seed);
  float operator()(float x, float y, float z) const;
  // Sum of octaves: frequency doubles and amplitude is multiplied by gain each octave;
  // normalised to about [-1, 1].
  float Fbm(float x, float y, float z, int octaves, float gain) const;

 private:
  uint8_t perm_[512];
};

// Cellular noise: distances from (x, y, z) to the nearest and second nearest of the
// feature points (one jittered point per unit cell).
void Worley(float x, float y, float z, uint32_t seed, float& f1, float& f2);

// A well mixed 32-bit hash.
inline uint32_t Hash(uint32_t x) {
  x ^= x >> 16; x *= 0x7feb352dU; x ^= x >> 15; x *= 0x846ca68bU; x ^= x >> 16;
  return x;
}

// Unit vector of the centre of pixel (x, y) of a w x h equirectangular map: y up, the
// map's left edge at longitude 0.
inline void MapDirection(int x, int y, int w, int h, float& dx, float& dy, float& dz) {
  const float lon = (x + 0.5f) / w * 2.0f * kPi;
  const float lat = kPi * 0.5f - (y + 0.5f) / h * kPi;
  dx = std::cos(lat) * std::cos(lon);
  dy = std::sin(lat);
  dz = std::cos(lat) * std::sin(lon);
}

inline float Clamp01(float v) { return v < 0.0f ? 0.0f : v > 1.0f ? 1.0f : v; }
inline float Smoothstep(float a, float b, float v) {
  const float t = Clamp01((v - a) / (b - a));
  return t * t * (3.0f - 2.0f * t);
}
inline float Mix(float a, float b, float t) { return a + (b - a) * t; }

}  // namespace imagegen
