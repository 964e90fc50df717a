// The fourteen surface maps: every source is scaled to 4096 x 2048; where it is small,
// detail finer than the source's pixels is added on top without moving its features.
#include "bodies.h"

#include "process.h"

#include <algorithm>
#include <stdexcept>

namespace imagegen {

namespace {

constexpr int kMapW = 4096, kMapH = 2048;

// What a body gets on top of the plain upscale; amplitudes are relative changes of
// brightness.
struct Recipe {
  const char* name;
  float fbm = 0.0f;        // fine fractal relief, for rocky and icy surfaces
  float fbmScale = 1.0f;   // >1 makes that relief coarser
  float craters = 0.0f;    // the Moon's fine crater pattern (second input), for cratered bodies
  float streaks = 0.0f;    // fine latitude-parallel turbulence, for banded atmospheres
  bool grey = false;       // single channel output
  uint32_t seed = 1;
};

const Recipe kRecipes[] = {
    {"earth"},
    {"mars", 0.05f, 1.0f, 0.42f, 0.0f, false, 11},
    {"jupiter", 0.0f, 1.0f, 0.0f, 0.06f, false, 12},
    {"mercury", 0.03f, 1.0f, 1.0f, 0.0f, false, 13},
    {"neptune", 0.0f, 1.0f, 0.0f, 0.03f, false, 14},
    {"saturn", 0.0f, 1.0f, 0.0f, 0.035f, false, 15},
    {"uranus", 0.0f, 1.0f, 0.0f, 0.012f, false, 16},
    {"venus", 0.035f, 3.0f, 0.0f, 0.0f, false, 17},
    {"pluto", 0.06f, 1.0f, 0.20f, 0.0f, false, 18},
    {"enceladus", 0.05f, 1.0f, 0.0f, 0.0f, true, 19},
    {"io", 0.09f, 1.0f, 0.0f, 0.0f, false, 20},
    {"europa", 0.045f, 1.0f, 0.0f, 0.0f, false, 21},
};

const Recipe& FindRecipe(const std::string& name) {
  for (const Recipe& r : kRecipes)
    if (name == r.name) return r;
  throw std::runtime_error("unknown map recipe " + name);
}

// Pixels per unit length on the unit sphere at the equator of a 4096-wide map.
constexpr float kPxPerUnit = kMapW / (2.0f * kPi);

// Relative fine detail of the Moon: its brightness over a local average, so craters
// and rims stay and maria and highlands go. Sampled half a turn around and upside down,
// so no recognisable lunar crater sits on another body.
Image CraterDetail(const Image& moon) {
  Image lum(moon.w, moon.h, 1);
  for (size_t i = 0; i < lum.px.size(); ++i) lum.px[i] = Luma(&moon.px[i * moon.c]);
  // Three box passes approximate a Gaussian of about 4.5 pixels.
  Image blur = lum, tmp(moon.w, moon.h, 1);
  const int r = 4;
  for (int pass = 0; pass < 3; ++pass) {
    ParallelRows(moon.h, [&](int y) {
      const float* in = blur.row(y);
      float* out = tmp.row(y);
      for (int x = 0; x < moon.w; ++x) {
        float s = 0.0f;
        for (int k = -r; k <= r; ++k) s += in[((x + k) % moon.w + moon.w) % moon.w];
        out[x] = s / (2 * r + 1);
      }
    });
    ParallelRows(moon.h, [&](int y) {
      float* out = blur.row(y);
      for (int x = 0; x < moon.w; ++x) {
        float s = 0.0f;
        for (int k = -r; k <= r; ++k) s += tmp.at(x, std::clamp(y + k, 0, moon.h - 1), 0);
        out[x] = s / (2 * r + 1);
      }
    });
  }
  Image d(moon.w, moon.h, 1);
  for (int y = 0; y < moon.h; ++y)
    for (int x = 0; x < moon.w; ++x) {
      const int sx = (x + moon.w / 2) % moon.w, sy = moon.h - 1 - y;
      const float v = lum.at(sx, sy, 0) / (blur.at(sx, sy, 0) + 0.03f) - 1.0f;
      d.at(x, y, 0) = std::clamp(v, -0.7f, 0.7f);
    }
  return d;
}

Image SunMap(const Image& src) {
  const Image up = Channels(UpscaleMap(src, kMapW, kMapH), 3);
  double sum = 0.0;
  for (int y = 0; y < up.h; ++y)
    for (int x = 0; x < up.w; ++x) sum += Luma(&up.px[(size_t(y) * up.w + x) * up.c]);
  const float mean = float(sum / (double(up.w) * up.h));
  // A blurred copy of the spots gives their penumbrae.
  Image small(src.w / 4, src.h / 4, 3);
  for (int y = 0; y < small.h; ++y)
    for (int x = 0; x < small.w; ++x)
      for (int ch = 0; ch < 3; ++ch) {
        float s = 0.0f;
        for (int j = 0; j < 4; ++j)
          for (int i = 0; i < 4; ++i) s += src.at(x * 4 + i, y * 4 + j, ch);
        small.at(x, y, ch) = s / 16.0f;
      }
  const Image halo = UpscaleMap(small, kMapW, kMapH);
  const Noise3 warp(31), mottle(32), cellTone(33);
  Image out(kMapW, kMapH, 3);
  // Granules about 11 pixels across at the equator: bright cells with slightly darker
  // lanes between them, gently mottled on a larger scale; the source's spots (with
  // their penumbrae) darken it where they are.
  const float gran = kPxPerUnit / 11.0f;
  ParallelRows(kMapH, [&](int y) {
    for (int x = 0; x < kMapW; ++x) {
      float dx, dy, dz;
      MapDirection(x, y, kMapW, kMapH, dx, dy, dz);
      const float w = gran * 0.45f;
      const float wx = 0.3f * warp.Fbm(dx * w, dy * w, dz * w, 2, 0.5f);
      const float wy = 0.3f * warp.Fbm(dx * w + 31.0f, dy * w, dz * w, 2, 0.5f);
      float f1, f2;
      Worley(dx * gran + wx, dy * gran + wy, dz * gran, 77, f1, f2);
      const float lane = Smoothstep(0.0f, 0.42f, f2 - f1);
      const float cell = (1.0f - 0.45f * Smoothstep(0.05f, 0.85f, f1)) *
                         (0.8f + 0.2f * cellTone(dx * gran * 0.8f, dy * gran * 0.8f, dz * gran * 0.8f));
      const float m = mottle.Fbm(dx * 7.0f, dy * 7.0f, dz * 7.0f, 4, 0.55f);
      const float q = Luma(&up.px[(size_t(y) * kMapW + x) * 3]) / mean;
      const float qh = Luma(&halo.px[(size_t(y) * kMapW + x) * 3]) / mean;
      const float spot = (1.0f - 0.8f * (1.0f - Smoothstep(0.35f, 0.92f, q))) *
                         (1.0f - 0.3f * (1.0f - Smoothstep(0.6f, 0.97f, qh)));
      const float v = Clamp01((0.84f + 0.16f * lane * cell) * (1.0f + 0.04f * m) * spot);
      // Ramp from a deep red umbra through orange to a yellow-white granule.
      float* o = out.row(y) + x * 3;
      o[0] = Clamp01(Mix(0.25f, 1.0f, Smoothstep(0.0f, 0.8f, v)));
      o[1] = Clamp01(Mix(0.04f, 0.84f, std::pow(v, 2.2f)));
      o[2] = Clamp01(Mix(0.0f, 0.42f, std::pow(v, 4.0f)));
    }
  });
  return out;
}

Image DetailedMap(const Recipe& r, const Image& src, const Image* moon) {
  Image up = Channels(UpscaleMap(src, kMapW, kMapH), 3);
  Image crater;
  if (r.craters > 0.0f) {
    if (!moon) throw std::runtime_error(std::string(r.name) + " needs the Moon map as its second input");
    crater = CraterDetail(*moon);
    if (crater.w != kMapW || crater.h != kMapH) crater = ResampleCatmullRom(crater, kMapW, kMapH, Edge::Wrap);
  }
  const Noise3 relief(r.seed), turb(r.seed * 7 + 3);
  // Relief from wavelengths of about 30 pixels (4 source pixels) down to 4 pixels.
  const float f0 = kPxPerUnit / (30.0f * r.fbmScale);
  const int outC = r.grey ? 1 : 3;
  Image out(kMapW, kMapH, outC);
  ParallelRows(kMapH, [&](int y) {
    const float lat = kPi * 0.5f - (y + 0.5f) / kMapH * kPi;
    for (int x = 0; x < kMapW; ++x) {
      float dx, dy, dz;
      MapDirection(x, y, kMapW, kMapH, dx, dy, dz);
      float gain = 1.0f;
      if (r.fbm > 0.0f) gain += r.fbm * relief.Fbm(dx * f0, dy * f0, dz * f0, 3, 0.6f);
      if (r.craters > 0.0f) gain += r.craters * crater.at(x, y, 0);
      if (r.streaks > 0.0f) {
        // Stretched along the parallels: long in longitude, thin in latitude.
        const float lon = (x + 0.5f) / kMapW * 2.0f * kPi;
        const float s = turb.Fbm(std::cos(lon) * 6.0f, std::sin(lon) * 6.0f, lat * 110.0f, 4, 0.55f);
        gain += r.streaks * s;
      }
      const float* p = up.row(y) + x * 3;
      float* o = out.row(y) + x * outC;
      if (r.grey) o[0] = Clamp01(Luma(p) * gain);
      else
        for (int ch = 0; ch < 3; ++ch) o[ch] = Clamp01(p[ch] * gain);
    }
  });
  return out;
}

}  // namespace

std::vector<uint8_t> MakeBodyMap(const std::string& recipe, const std::vector<std::string>& inputs) {
  if (inputs.empty()) throw std::runtime_error("map " + recipe + ": no source given");
  if (recipe == "copy") {
    // A source that already has the final form goes in unchanged: re-encoding would only
    // lose quality.
    std::vector<uint8_t> bytes = ReadFile(inputs[0]);
    int w = 0, h = 0, comps = 0;
    JpegInfo(bytes, w, h, comps);
    if (w != kMapW || h != kMapH || comps != 3)
      throw std::runtime_error(inputs[0] + ": expected a 4096 x 2048 colour JPEG");
    return bytes;
  }
  const Image src = LoadImage(inputs[0]);
  if (recipe == "sun") return EncodeJpeg(SunMap(src), 90);
  const Recipe& r = FindRecipe(recipe);
  Image moon;
  if (inputs.size() > 1) moon = LoadImage(inputs[1]);
  return EncodeJpeg(DetailedMap(r, src, inputs.size() > 1 ? &moon : nullptr), 90);
}

}  // namespace imagegen
