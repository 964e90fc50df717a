// The About picture: a few bodies as lit spheres from their own maps, Saturn with its
// ring, on a transparent background.
#include "about.h"

#include "process.h"

#include <algorithm>
#include <stdexcept>

namespace imagegen {

namespace {

constexpr int kW = 435, kH = 280;
constexpr int kSS = 4;  // samples per pixel along each axis

struct V3 {
  float x, y, z;
};
inline V3 operator+(V3 a, V3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline V3 operator*(V3 a, float s) { return {a.x * s, a.y * s, a.z * s}; }
inline float Dot(V3 a, V3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline V3 Cross(V3 a, V3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
inline V3 Normalize(V3 a) { return a * (1.0f / std::sqrt(Dot(a, a))); }

// Premultiplied colour.
struct Px {
  float r = 0, g = 0, b = 0, a = 0;
};
inline Px Over(Px top, Px under) {
  const float k = 1.0f - top.a;
  return {top.r + under.r * k, top.g + under.g * k, top.b + under.b * k, top.a + under.a * k};
}

const V3 kLight = Normalize({-0.55f, 0.32f, 0.77f});  // from the upper left, in front

struct Ring {
  const Image* profile;
  float inner, outer;  // in body radii
};

struct Body {
  const Image* map;
  float cx, cy, radius;     // pixels
  float centralLongitude;   // turns: the map column facing the viewer
  float tiltDeg, rollDeg;   // north pole toward the viewer, then turned in the picture
  float limbDarkening;      // 0 for rocky bodies, more for gas giants
  float atmosphere;         // strength of a blue rim
  const Ring* ring;
};

V3 RotZ(V3 v, float deg) {
  const float a = deg * kPi / 180.0f, c = std::cos(a), s = std::sin(a);
  return {c * v.x - s * v.y, s * v.x + c * v.y, v.z};
}

// Bilinear, wrapping in longitude.
void SampleMap(const Image& m, float u, float v, float out[3]) {
  const float x = u * m.w - 0.5f, y = std::clamp(v * m.h - 0.5f, 0.0f, m.h - 1.0f);
  const int x0 = int(std::floor(x)), y0 = int(y);
  const float fx = x - x0, fy = y - y0;
  const int y1 = std::min(y0 + 1, m.h - 1);
  auto wrap = [&](int q) { return ((q % m.w) + m.w) % m.w; };
  const int xa = wrap(x0), xb = wrap(x0 + 1);
  for (int ch = 0; ch < 3; ++ch) {
    const int c = std::min(ch, m.c - 1);
    out[ch] = Mix(Mix(m.at(xa, y0, c), m.at(xb, y0, c), fx), Mix(m.at(xa, y1, c), m.at(xb, y1, c), fx), fy);
  }
}

// Ring colour and opacity at a distance r (body radii) from the centre.
Px RingAt(const Ring& ring, float r) {
  const float t = (r - ring.inner) / (ring.outer - ring.inner);
  if (t < 0.0f || t >= 1.0f) return {};
  const Image& p = *ring.profile;
  const int x = std::min(int(t * p.w), p.w - 1);
  const float a = p.at(x, 0, 3);
  const float k = 1.75f * a;  // the profile's colours are stored dark
  return {p.at(x, 0, 0) * k, p.at(x, 0, 1) * k, p.at(x, 0, 2) * k, a};
}

// One sample of a body at picture position (px, py); transparent where it misses.
Px Shade(const Body& b, float px, float py) {
  const V3 north = RotZ({0.0f, std::cos(b.tiltDeg * kPi / 180.0f), std::sin(b.tiltDeg * kPi / 180.0f)}, b.rollDeg);
  const V3 front = RotZ({0.0f, -std::sin(b.tiltDeg * kPi / 180.0f), std::cos(b.tiltDeg * kPi / 180.0f)}, b.rollDeg);
  const V3 east = Cross(north, front);
  const float X = (px - b.cx) / b.radius, Y = (b.cy - py) / b.radius;

  Px planet;
  float planetZ = -1e9f;
  const float rr = X * X + Y * Y;
  if (rr < 1.0f) {
    const V3 n{X, Y, std::sqrt(1.0f - rr)};
    planetZ = n.z;
    const float lat = std::asin(std::clamp(Dot(n, north), -1.0f, 1.0f));
    const float lon = std::atan2(Dot(n, east), Dot(n, front));
    float c[3];
    SampleMap(*b.map, b.centralLongitude + lon / (2.0f * kPi), 0.5f - lat / kPi, c);
    float light = std::max(0.0f, Dot(n, kLight));
    light = 0.03f + 1.05f * light * (1.0f - b.limbDarkening * (1.0f - std::pow(n.z, 0.4f)));
    if (b.ring) {
      // The ring's shadow on the globe.
      const float s = -Dot(n, north) / Dot(kLight, north);
      if (s > 0.0f) {
        const V3 q = n + kLight * s;
        light *= 1.0f - 0.85f * RingAt(*b.ring, std::sqrt(Dot(q, q))).a;
      }
    }
    for (float& v : c) v *= light;
    if (b.atmosphere > 0.0f) {
      const float rim = std::pow(1.0f - n.z, 2.5f) * b.atmosphere * Smoothstep(-0.2f, 0.4f, Dot(n, kLight));
      c[0] += 0.25f * rim; c[1] += 0.5f * rim; c[2] += 1.0f * rim;
    }
    planet = {Clamp01(c[0]), Clamp01(c[1]), Clamp01(c[2]), 1.0f};
  }
  if (!b.ring) return planet;

  // Where the view ray (along -z) crosses the equatorial plane.
  if (std::fabs(north.z) < 1e-4f) return planet;
  const float z = -(X * north.x + Y * north.y) / north.z;
  const V3 p{X, Y, z};
  Px ring = RingAt(*b.ring, std::sqrt(Dot(p, p)));
  if (ring.a <= 0.0f) return planet;
  // Lit from the sunward side; in the globe's shadow where the way to the light is blocked.
  float lit = 0.95f;
  const float bq = Dot(p, kLight), cq = Dot(p, p) - 1.0f;
  if (bq < 0.0f && bq * bq - cq > 0.0f) lit = 0.12f;
  ring.r *= lit; ring.g *= lit; ring.b *= lit;
  if (planet.a > 0.0f && z < planetZ) return planet;
  return Over(ring, planet);
}

// Draws the bodies, back to front, supersampled, on a transparent picture.
std::vector<uint8_t> RenderBodies(int AWidth, int AHeight, const Body* ABodies, size_t ACount) {
  Image out(AWidth, AHeight, 4);
  ParallelRows(AHeight, [&](int y) {
    for (int x = 0; x < AWidth; ++x) {
      Px acc;
      for (int sy = 0; sy < kSS; ++sy)
        for (int sx = 0; sx < kSS; ++sx) {
          const float px = x + (sx + 0.5f) / kSS, py = y + (sy + 0.5f) / kSS;
          Px s;
          for (size_t i = 0; i < ACount; ++i) s = Over(Shade(ABodies[i], px, py), s);
          acc.r += s.r; acc.g += s.g; acc.b += s.b; acc.a += s.a;
        }
      const float n = 1.0f / (kSS * kSS);
      float* o = out.row(y) + x * 4;
      const float a = acc.a * n;
      if (a > 0.0f) {
        o[0] = Clamp01(acc.r * n / a);
        o[1] = Clamp01(acc.g * n / a);
        o[2] = Clamp01(acc.b * n / a);
      }
      o[3] = a;
    }
  });
  return EncodePng(out, 9);
}

}  // namespace

std::vector<uint8_t> MakeAboutPicture(const std::string& earth, const std::string& moon,
                                      const std::string& jupiter, const std::string& saturn,
                                      const std::string& ringProfile) {
  const Image earthMap = LoadImage(earth), moonMap = LoadImage(moon);
  const Image jupiterMap = LoadImage(jupiter), saturnMap = LoadImage(saturn);
  const Image profile = LoadPng(ringProfile);
  const Ring saturnRing{&profile, 2.2f * 0.53f, 2.2f * 0.985f};
  // Back to front.
  const Body bodies[] = {
      {&saturnMap, 322.0f, 82.0f, 44.0f, 0.0f, 24.0f, -16.0f, 0.35f, 0.0f, &saturnRing},
      {&jupiterMap, 112.0f, 146.0f, 96.0f, 0.30f, 6.0f, 0.0f, 0.45f, 0.0f, nullptr},
      {&earthMap, 262.0f, 204.0f, 56.0f, 0.55f, 18.0f, 0.0f, 0.0f, 0.55f, nullptr},
      {&moonMap, 356.0f, 240.0f, 19.0f, 0.5f, 4.0f, 0.0f, 0.0f, 0.0f, nullptr},
  };
  return RenderBodies(kW, kH, bodies, sizeof bodies / sizeof bodies[0]);
}

std::vector<uint8_t> MakeIcon(const std::string& saturn, const std::string& ringProfile, int size) {
  if (size < 16 || size > 1024) throw std::runtime_error("icon size out of range");
  const Image saturnMap = LoadImage(saturn);
  const Image profile = LoadPng(ringProfile);
  const Ring saturnRing{&profile, 2.2f * 0.53f, 2.2f * 0.985f};
  // Saturn fills the square with its ring, as the desktop's application icon; each size
  // is drawn afresh rather than scaled, so the small ones stay sharp.
  const float half = static_cast<float>(size) / 2.0f;
  const float radius = 56.0f * static_cast<float>(size) / 256.0f;
  const Body bodies[] = {{&saturnMap, half, half, radius, 0.0f, 26.0f, -20.0f, 0.35f, 0.0f, &saturnRing}};
  return RenderBodies(size, size, bodies, 1);
}

}  // namespace imagegen
