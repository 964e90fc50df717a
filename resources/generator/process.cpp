#include "process.h"

#include <algorithm>
#include <thread>
#include <vector>

namespace imagegen {

void ParallelRows(int h, const std::function<void(int)>& fn) {
  const unsigned cores = std::max(1u, std::min(16u, std::thread::hardware_concurrency()));
  if (cores == 1 || h < 64) {
    for (int y = 0; y < h; ++y) fn(y);
    return;
  }
  // Interleaved rows balance the work when cost varies with latitude.
  std::vector<std::thread> threads;
  for (unsigned t = 0; t < cores; ++t)
    threads.emplace_back([&, t] {
      for (int y = int(t); y < h; y += int(cores)) fn(y);
    });
  for (auto& th : threads) th.join();
}

namespace {

struct Taps {
  int idx[4];
  float wt[4];
};

Taps MakeTaps(double s, int n, Edge edge) {
  const double fl = std::floor(s);
  const float t = float(s - fl);
  const int i = int(fl);
  Taps k;
  const float t2 = t * t, t3 = t2 * t;
  k.wt[0] = 0.5f * (-t3 + 2.0f * t2 - t);
  k.wt[1] = 0.5f * (3.0f * t3 - 5.0f * t2 + 2.0f);
  k.wt[2] = 0.5f * (-3.0f * t3 + 4.0f * t2 + t);
  k.wt[3] = 0.5f * (t3 - t2);
  for (int j = 0; j < 4; ++j) {
    int q = i - 1 + j;
    if (edge == Edge::Wrap) q = ((q % n) + n) % n;
    else q = std::clamp(q, 0, n - 1);
    k.idx[j] = q;
  }
  return k;
}

inline float Apply(const Taps& k, const float* base, size_t stride) {
  const float a = base[k.idx[0] * stride], b = base[k.idx[1] * stride];
  const float c = base[k.idx[2] * stride], d = base[k.idx[3] * stride];
  const float v = k.wt[0] * a + k.wt[1] * b + k.wt[2] * c + k.wt[3] * d;
  return std::clamp(v, std::min(b, c), std::max(b, c));
}

}  // namespace

Image ResampleCatmullRom(const Image& src, int dw, int dh, Edge edgeX,
                         const std::function<double(int)>& dstToSrcX) {
  const int c = src.c;
  std::vector<Taps> xt(dw), yt(dh);
  for (int x = 0; x < dw; ++x) {
    const double s = dstToSrcX ? dstToSrcX(x) : (x + 0.5) * src.w / dw - 0.5;
    xt[x] = MakeTaps(s, src.w, edgeX);
  }
  for (int y = 0; y < dh; ++y) yt[y] = MakeTaps((y + 0.5) * src.h / dh - 0.5, src.h, Edge::Clamp);

  Image wide(dw, src.h, c);
  ParallelRows(src.h, [&](int y) {
    const float* in = src.row(y);
    float* out = wide.row(y);
    for (int x = 0; x < dw; ++x)
      for (int ch = 0; ch < c; ++ch) out[x * c + ch] = Apply(xt[x], in + ch, size_t(c));
  });
  Image dst(dw, dh, c);
  const size_t stride = size_t(dw) * c;
  ParallelRows(dh, [&](int y) {
    float* out = dst.row(y);
    for (size_t i = 0; i < stride; ++i) out[i] = Apply(yt[y], wide.px.data() + i, stride);
  });
  return dst;
}

Image Channels(const Image& src, int n) {
  Image out(src.w, src.h, n);
  const size_t count = size_t(src.w) * src.h;
  for (size_t i = 0; i < count; ++i)
    for (int ch = 0; ch < n; ++ch) out.px[i * n + ch] = src.px[i * src.c + std::min(ch, src.c - 1)];
  return out;
}

Noise3::Noise3(uint32_t seed) {
  for (int i = 0; i < 256; ++i) perm_[i] = uint8_t(i);
  uint32_t state = seed;
  for (int i = 255; i > 0; --i) {
    state = Hash(state + 0x9e3779b9U);
    const int j = int(state % uint32_t(i + 1));
    std::swap(perm_[i], perm_[j]);
  }
  for (int i = 0; i < 256; ++i) perm_[256 + i] = perm_[i];
}

namespace {
inline float Fade(float t) { return t * t * t * (t * (t * 6.0f - 15.0f) + 10.0f); }
inline float Grad(int h, float x, float y, float z) {
  h &= 15;
  const float u = h < 8 ? x : y;
  const float v = h < 4 ? y : (h == 12 || h == 14) ? x : z;
  return ((h & 1) ? -u : u) + ((h & 2) ? -v : v);
}
}  // namespace

float Noise3::operator()(float x, float y, float z) const {
  const float fx = std::floor(x), fy = std::floor(y), fz = std::floor(z);
  const int X = int(fx) & 255, Y = int(fy) & 255, Z = int(fz) & 255;
  x -= fx; y -= fy; z -= fz;
  const float u = Fade(x), v = Fade(y), w = Fade(z);
  const uint8_t* p = perm_;
  const int A = p[X] + Y, AA = p[A] + Z, AB = p[A + 1] + Z;
  const int B = p[X + 1] + Y, BA = p[B] + Z, BB = p[B + 1] + Z;
  const float r =
      Mix(Mix(Mix(Grad(p[AA], x, y, z), Grad(p[BA], x - 1, y, z), u),
              Mix(Grad(p[AB], x, y - 1, z), Grad(p[BB], x - 1, y - 1, z), u), v),
          Mix(Mix(Grad(p[AA + 1], x, y, z - 1), Grad(p[BA + 1], x - 1, y, z - 1), u),
              Mix(Grad(p[AB + 1], x, y - 1, z - 1), Grad(p[BB + 1], x - 1, y - 1, z - 1), u), v),
          w);
  return r;
}

float Noise3::Fbm(float x, float y, float z, int octaves, float gain) const {
  float sum = 0.0f, amp = 1.0f, norm = 0.0f;
  for (int o = 0; o < octaves; ++o) {
    // Each octave is shifted so that the lattices do not line up at the origin.
    sum += amp * (*this)(x + 17.3f * o, y - 9.1f * o, z + 5.7f * o);
    norm += amp;
    amp *= gain;
    x *= 2.0f; y *= 2.0f; z *= 2.0f;
  }
  return sum / norm * 1.4f;
}

void Worley(float x, float y, float z, uint32_t seed, float& f1, float& f2) {
  const int cx = int(std::floor(x)), cy = int(std::floor(y)), cz = int(std::floor(z));
  f1 = f2 = 1e9f;
  for (int k = -1; k <= 1; ++k)
    for (int j = -1; j <= 1; ++j)
      for (int i = -1; i <= 1; ++i) {
        const int X = cx + i, Y = cy + j, Z = cz + k;
        uint32_t h = Hash(uint32_t(X) * 73856093U ^ uint32_t(Y) * 19349663U ^ uint32_t(Z) * 83492791U ^ seed);
        const float px = X + (h & 0x3ff) / 1024.0f;
        h = Hash(h);
        const float py = Y + (h & 0x3ff) / 1024.0f;
        h = Hash(h);
        const float pz = Z + (h & 0x3ff) / 1024.0f;
        const float d = (px - x) * (px - x) + (py - y) * (py - y) + (pz - z) * (pz - z);
        if (d < f1) { f2 = f1; f1 = d; }
        else if (d < f2) f2 = d;
      }
  f1 = std::sqrt(f1);
  f2 = std::sqrt(f2);
}

}  // namespace imagegen
