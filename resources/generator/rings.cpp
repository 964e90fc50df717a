// Ring images: a radial profile turned around the centre of a square picture. Radii are
// fractions of the half-width; the planet itself covers 5/11 of it on the ring disk.
#include "rings.h"

#include "process.h"

#include <algorithm>
#include <stdexcept>

namespace imagegen {

namespace {

constexpr int kRingSize = 4096;
constexpr float kHalf = kRingSize / 2.0f;
constexpr int kSub = 8;  // profile samples per output pixel of radius

// A radial profile in premultiplied RGBA, sampled kSub times per pixel from the centre
// to the corner.
struct Radial {
  std::vector<float> rgba;
  int n() const { return int(rgba.size() / 4); }
};

Radial NewRadial() {
  Radial r;
  r.rgba.assign(size_t(kHalf * 1.5f * kSub) * 4, 0.0f);
  return r;
}

// Averages the profile over one pixel of radius, which is what a pixel's footprint sees
// of a ring: edges come out antialiased and hair-thin rings keep their share of light.
Radial BoxFilter(const Radial& in) {
  Radial out = in;
  const int n = in.n();
  for (int i = 0; i < n; ++i)
    for (int ch = 0; ch < 4; ++ch) {
      float s = 0.0f;
      for (int k = -kSub / 2; k < kSub / 2; ++k) s += in.rgba[size_t(std::clamp(i + k, 0, n - 1)) * 4 + ch];
      out.rgba[size_t(i) * 4 + ch] = s / kSub;
    }
  return out;
}

// Turns the profile around the centre. Where it is fully transparent the colour of
// `clear` is stored, so filtering without premultiplication shows no dark fringe.
std::vector<uint8_t> Render(const Radial& prof, const float clear[3]) {
  Image img(kRingSize, kRingSize, 4);
  ParallelRows(kRingSize, [&](int y) {
    float* row = img.row(y);
    const float fy = y + 0.5f - kHalf;
    for (int x = 0; x < kRingSize; ++x) {
      const float fx = x + 0.5f - kHalf;
      const float s = std::sqrt(fx * fx + fy * fy) * kSub;
      const int i = std::min(int(s), prof.n() - 2);
      const float t = std::min(s - i, 1.0f);
      float p[4];
      for (int ch = 0; ch < 4; ++ch)
        p[ch] = Mix(prof.rgba[size_t(i) * 4 + ch], prof.rgba[size_t(i + 1) * 4 + ch], t);
      float* o = row + x * 4;
      const uint8_t a = ToByte(p[3]);
      if (a == 0) {
        o[0] = clear[0]; o[1] = clear[1]; o[2] = clear[2]; o[3] = 0.0f;
      } else {
        const float alpha = a / 255.0f;
        for (int ch = 0; ch < 3; ++ch) o[ch] = Clamp01(p[ch] / alpha);
        o[3] = alpha;
      }
    }
  });
  // Level 6: the rings are mostly empty, so this is quick and small.
  return EncodePng(img, 6);
}

// Smooth 1D value noise in about [-1, 1], for ringlets.
float Noise1(float x, uint32_t seed) {
  const float f = std::floor(x);
  const int i = int(f);
  const float t = x - f, u = t * t * (3.0f - 2.0f * t);
  auto v = [&](int k) { return (Hash(uint32_t(k) * 2654435761U ^ seed) & 0xffff) / 32767.5f - 1.0f; };
  return Mix(v(i), v(i + 1), u);
}

}  // namespace

std::vector<uint8_t> MakeSaturnRing(const std::string& profilePng) {
  const Image src = LoadPng(profilePng);
  // The profile runs from the inner edge of the C ring to the outer edge of the A ring;
  // it is laid from just outside the planet to nearly the picture's edge.
  const float inner = 0.53f, outer = 0.985f;
  const float brighten = 1.75f;  // the profile's colours are stored dark
  Radial prof = NewRadial();
  float edgeColour[3] = {0, 0, 0};
  for (int i = 0; i < prof.n(); ++i) {
    const float r = (i + 0.5f) / kSub / kHalf;
    const float t = (r - inner) / (outer - inner);
    if (t < 0.0f || t > 1.0f) continue;
    const float s = t * src.w - 0.5f;
    const int k = int(std::floor(s));
    const float f = s - k;
    float c[4];
    for (int ch = 0; ch < 4; ++ch) {
      auto at = [&](int q) { return src.at(std::clamp(q, 0, src.w - 1), 0, ch); };
      const float a = at(k - 1), b = at(k), cc = at(k + 1), d = at(k + 2);
      const float f2 = f * f, f3 = f2 * f;
      const float v = 0.5f * ((2 * b) + (-a + cc) * f + (2 * a - 5 * b + 4 * cc - d) * f2 + (-a + 3 * b - 3 * cc + d) * f3);
      c[ch] = std::clamp(v, std::min(b, cc), std::max(b, cc));
    }
    // Ringlets finer than the profile's samples, a few pixels to a few tens wide.
    const float px = r * kHalf;
    const float ringlet = 0.55f * Noise1(px / 2.5f, 5) + 0.3f * Noise1(px / 7.0f, 6) + 0.15f * Noise1(px / 23.0f, 7);
    const float alpha = Clamp01(c[3] * (1.0f + 0.10f * ringlet));
    const float shade = 1.0f + 0.07f * ringlet;
    for (int ch = 0; ch < 3; ++ch) {
      const float col = Clamp01(c[ch] * brighten * shade);
      prof.rgba[size_t(i) * 4 + ch] = col * alpha;
      edgeColour[ch] = col;
    }
    prof.rgba[size_t(i) * 4 + 3] = alpha;
  }
  return Render(BoxFilter(prof), edgeColour);
}

std::vector<uint8_t> MakeUranusRing(const std::string& profilePng) {
  const Image src = LoadPng(profilePng);
  // The profile marks each ring by a run of opaque samples from ring 6 (first sample) to
  // the epsilon ring (last); the runs become rings between these radii.
  const float inner = 0.80f, outer = 0.98f;
  struct Ring { float centre, halfWidth, alpha; };
  std::vector<Ring> rings;
  for (int x = 0; x < src.w;) {
    if (src.at(x, 0, 3) <= 0.0f) { ++x; continue; }
    int end = x;
    float peak = 0.0f;
    while (end < src.w && src.at(end, 0, 3) > 0.0f) peak = std::max(peak, src.at(end++, 0, 3));
    const float mid = (x + end) * 0.5f / src.w;
    const int width = end - x;
    // The profile's rings are a fraction of a pixel at this size; they are drawn a few
    // pixels wide so they survive the view's minification, wider ones wider.
    rings.push_back({(inner + mid * (outer - inner)) * kHalf, 1.8f + 1.4f * width, std::min(0.85f, 0.2f + 1.0f * peak)});
    x = end;
  }
  if (rings.empty()) throw std::runtime_error(profilePng + ": no rings in the profile");
  Radial prof = NewRadial();
  const float colour[3] = {0.74f, 0.77f, 0.82f};
  for (int i = 0; i < prof.n(); ++i) {
    const float px = (i + 0.5f) / kSub;
    // A faint dust sheet through the system, then the rings over it.
    float a = 0.03f * Smoothstep(inner - 0.01f, inner, px / kHalf) * (1.0f - Smoothstep(outer, outer + 0.005f, px / kHalf));
    for (const Ring& r : rings) {
      const float d = std::fabs(px - r.centre);
      const float ra = r.alpha * (1.0f - Smoothstep(r.halfWidth - 1.2f, r.halfWidth, d));
      a = a + ra * (1.0f - a);
    }
    for (int ch = 0; ch < 3; ++ch) prof.rgba[size_t(i) * 4 + ch] = colour[ch] * a;
    prof.rgba[size_t(i) * 4 + 3] = a;
  }
  return Render(BoxFilter(prof), colour);
}

}  // namespace imagegen
