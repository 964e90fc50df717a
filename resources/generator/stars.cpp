// The sky: an equirectangular map of right ascension (0 h at the left edge, growing to
// the right) and declination (+90 at the top). Seen from inside the star sphere, whose
// texture runs the other way round from the viewer's side, the sky appears as from the
// Earth: north up, east to the left.
#include "stars.h"

#include "process.h"

#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <stdexcept>

namespace imagegen {

namespace {

constexpr int kSkyW = 6000, kSkyH = 3000;
constexpr float kPxPerRad = kSkyW / (2.0f * kPi);

struct Star {
  float ra, dec, mag;  // radians, radians, visual magnitude
};

std::vector<Star> ReadCatalogue(const std::string& path) {
  const std::vector<uint8_t> bytes = ReadFile(path);
  std::istringstream in(std::string(bytes.begin(), bytes.end()));
  std::vector<Star> stars;
  std::string line;
  int lineNo = 0;
  while (std::getline(in, line)) {
    ++lineNo;
    const size_t first = line.find_first_not_of(" \t\r");
    if (first == std::string::npos || line[first] == '#') continue;
    // Columns: declination (degrees), right ascension (hours), magnitude, then names.
    const char* p = line.c_str();
    char* end = nullptr;
    const double dec = std::strtod(p, &end);
    if (end == p) throw std::runtime_error(path + ":" + std::to_string(lineNo) + ": no declination");
    p = end;
    const double ra = std::strtod(p, &end);
    if (end == p) throw std::runtime_error(path + ":" + std::to_string(lineNo) + ": no right ascension");
    p = end;
    const double mag = std::strtod(p, &end);
    if (end == p) throw std::runtime_error(path + ":" + std::to_string(lineNo) + ": no magnitude");
    if (dec < -90 || dec > 90 || ra < 0 || ra >= 24.0001 || mag < -2 || mag > 10)
      throw std::runtime_error(path + ":" + std::to_string(lineNo) + ": value out of range");
    stars.push_back({float(ra / 24.0 * 2.0 * kPi), float(dec * kPi / 180.0), float(mag)});
  }
  if (stars.size() < 1000) throw std::runtime_error(path + ": too few stars");
  return stars;
}

// The Milky Way panorama runs its right ascension the other way, with 0 h a quarter of
// its width from the left; it is mirrored and turned onto our grid while it is scaled.
Image MilkyWay(const std::string& path) {
  const Image src = Channels(LoadPng(path), 3);
  const double sw = src.w;
  Image bg = ResampleCatmullRom(src, kSkyW, kSkyH, Edge::Wrap, [&](int x) {
    double u = 0.25 - (x + 0.5) / kSkyW;
    u -= std::floor(u);
    return u * sw - 0.5;
  });
  // Lifts the faint glow a little so the band reads on a dim screen; black stays black.
  for (float& v : bg.px) v = std::pow(v, 0.85f) * 1.05f;
  return bg;
}

inline float Phi(float x) { return 0.5f * std::erfc(-x * 0.70710678f); }

// Star light in "surface brightness" per texel, accumulated into a float buffer.
void DrawStar(const Star& s, std::vector<float>& light) {
  // Brighter stars are both stronger and a little wider, as on a photograph.
  const float flux = 0.16f * std::pow(2.512f, 6.2f - s.mag);
  const float sigma = 0.58f + 0.2f * std::max(0.0f, 4.5f - s.mag);
  // Bright stars get a faint wide glow.
  const float haloFlux = s.mag < 2.5f ? flux * 0.06f : 0.0f;
  const float haloSigma = sigma * 4.0f;
  const float reach = std::max(4.0f * sigma, haloFlux > 0 ? 3.5f * haloSigma : 0.0f);

  const float yc = (kPi * 0.5f - s.dec) * kPxPerRad - 0.5f;
  const int y0 = std::max(0, int(std::floor(yc - reach))), y1 = std::min(kSkyH - 1, int(std::ceil(yc + reach)));
  for (int y = y0; y <= y1; ++y) {
    const float lat = kPi * 0.5f - (y + 0.5f) / kSkyH * kPi;
    const float cl = std::max(std::cos(lat), 1e-3f);  // a texel's width in equatorial pixels
    const float n = (lat - s.dec) * kPxPerRad;
    const float by = Phi((n + 0.5f) / sigma) - Phi((n - 0.5f) / sigma);
    const float spanX = std::min(float(kSkyW / 2), reach / cl + 1.0f);
    const float xc = s.ra * kPxPerRad - 0.5f;
    for (int xi = int(std::floor(xc - spanX)); xi <= int(std::ceil(xc + spanX)); ++xi) {
      const int x = ((xi % kSkyW) + kSkyW) % kSkyW;
      float dlon = (xi + 0.5f) / kPxPerRad - s.ra;
      const float e = dlon * cl * kPxPerRad;
      const float bx = Phi((e + 0.5f * cl) / sigma) - Phi((e - 0.5f * cl) / sigma);
      float v = flux * bx * by / cl;
      if (haloFlux > 0.0f) {
        const float d2 = e * e + n * n;
        v += haloFlux / (2.0f * kPi * haloSigma * haloSigma) * std::exp(-d2 / (2.0f * haloSigma * haloSigma));
      }
      light[size_t(y) * kSkyW + x] += v;
    }
  }
}

}  // namespace

std::vector<uint8_t> MakeStarMap(const std::string& milkyWayPng, const std::string& catalogue) {
  const std::vector<Star> stars = ReadCatalogue(catalogue);
  Image bg = MilkyWay(milkyWayPng);
  std::vector<float> light(size_t(kSkyW) * kSkyH, 0.0f);
  for (const Star& s : stars) DrawStar(s, light);
  // The sky is opaque everywhere: a JPEG carries it at a third of the PNG's size and
  // decodes in less than half the time, which the first frame waits for.
  Image out(kSkyW, kSkyH, 3);
  ParallelRows(kSkyH, [&](int y) {
    for (int x = 0; x < kSkyW; ++x) {
      const size_t i = size_t(y) * kSkyW + x;
      // Exposure curve: faint stars stay visible, bright cores saturate to white.
      const float v = 1.0f - std::exp(-6.0f * light[i]);
      const float* b = bg.row(y) + x * 3;
      float* o = out.row(y) + x * 3;
      for (int ch = 0; ch < 3; ++ch) o[ch] = Clamp01(b[ch] + (1.0f - b[ch]) * v);
    }
  });
  return EncodeJpeg(out, 95);
}

}  // namespace imagegen
