// Decoding the viewer's pictures into a TBitmap, each against a plain decoder of the same
// bytes in the same run, with the same buffer policy as the bitmap (a fresh pixel
// buffer from TBitmap::AllocatePixels for every decode, as a load needs: the old pixels
// stay until the new ones are complete). Runs are interleaved so that all see the same
// machine load; medians are compared.
//
// JPEG: one 4096 x 2048 surface map ("JpgImage_1" when the program carries it, else a
// synthetic one of that size) against libjpeg-turbo's own decode into BGRA; then every
// body switch's map the same way.
//
// PNG (the ring pictures, when the program carries them): the bitmap's quick path for
// plain RGBA PNGs (libdeflate, rows unfiltered in place) against the general path (Qt's
// image reader) and against libspng, each giving premultiplied BGRA. Needs no display.
//
//   bench_decode [runs]
#include <QRgb>
#include <spng.h>
#include <turbojpeg.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/bitmap_codecs.h"
#include "platform/qt_runtime.h"
#include "platform/resource_stream.h"
#include "scene/material/bitmap.h"
#include "scene/material/stream.h"

using namespace sphaerix;

namespace {

std::vector<unsigned char> SyntheticMap(int AW, int AH) {
  std::vector<unsigned char> rgb(static_cast<std::size_t>(AW) * AH * 3);
  // Value noise at three scales over a latitude/longitude colour gradient.
  auto hash = [](int x, int y) {
    unsigned h = static_cast<unsigned>(x) * 374761393u + static_cast<unsigned>(y) * 668265263u;
    h = (h ^ (h >> 13)) * 1274126177u;
    return static_cast<float>((h ^ (h >> 16)) & 0xFFFF) / 65535.0f;
  };
  auto noise = [&](float x, float y) {
    const int xi = static_cast<int>(x), yi = static_cast<int>(y);
    const float fx = x - xi, fy = y - yi;
    const float a = hash(xi, yi), b = hash(xi + 1, yi), c = hash(xi, yi + 1), d = hash(xi + 1, yi + 1);
    return (a * (1 - fx) + b * fx) * (1 - fy) + (c * (1 - fx) + d * fx) * fy;
  };
  for (int y = 0; y < AH; ++y)
    for (int x = 0; x < AW; ++x) {
      const float n = 0.5f * noise(x / 64.0f, y / 64.0f) + 0.3f * noise(x / 13.0f, y / 13.0f) +
                      0.2f * noise(x / 2.5f, y / 2.5f);
      const float lat = static_cast<float>(y) / AH, lon = static_cast<float>(x) / AW;
      unsigned char* p = &rgb[(static_cast<std::size_t>(y) * AW + x) * 3];
      p[0] = static_cast<unsigned char>(std::clamp(60 + 150 * n + 40 * lat, 0.0f, 255.0f));
      p[1] = static_cast<unsigned char>(std::clamp(40 + 120 * n + 30 * std::sin(lon * 6.283f), 0.0f, 255.0f));
      p[2] = static_cast<unsigned char>(std::clamp(30 + 100 * n + 60 * (1 - lat), 0.0f, 255.0f));
    }
  return rgb;
}

std::vector<unsigned char> MapJpeg() {
  try {
    TResourceStream stream("JpgImage_1");
    std::vector<unsigned char> bytes(static_cast<std::size_t>(stream.Size()));
    stream.Read(bytes.data(), stream.Size());
    std::printf("map: embedded JpgImage_1, %zu bytes\n", bytes.size());
    return bytes;
  } catch (const EResourceNotFound&) {
  }
  const int w = 4096, h = 2048;
  const std::vector<unsigned char> rgb = SyntheticMap(w, h);
  tjhandle tj = tjInitCompress();
  unsigned char* out = nullptr;
  unsigned long size = 0;
  if (tjCompress2(tj, rgb.data(), w, 0, h, TJPF_RGB, &out, &size, TJSAMP_420, 90, 0) != 0) {
    std::fprintf(stderr, "encoding the synthetic map failed: %s\n", tjGetErrorStr2(tj));
    std::exit(1);
  }
  std::vector<unsigned char> bytes(out, out + size);
  tjFree(out);
  tjDestroy(tj);
  std::printf("map: synthetic 4096 x 2048, %zu bytes\n", bytes.size());
  return bytes;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

template <class F>
double TimeMs(F&& f) {
  const auto t0 = std::chrono::steady_clock::now();
  f();
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

// The fourteen maps one after another into one bitmap, as body switches load them,
// against libjpeg-turbo into a fresh buffer; medians per map, then the ratio of the sums.
int EveryBodySwitch(int ARuns) {
  std::vector<std::vector<unsigned char>> maps;
  for (int n = 1; n <= 14; ++n) {
    try {
      TResourceStream stream("JpgImage_" + std::to_string(n));
      maps.emplace_back(stream.Memory(), stream.Memory() + stream.Size());
    } catch (const EResourceNotFound&) {
      return 0;
    }
  }
  tjhandle tj = tjInitDecompress();
  TBitmap material;
  std::vector<std::vector<double>> ours(maps.size()), turbo(maps.size());
  for (int i = -1; i < ARuns; ++i)  // the first round warms up and is not counted
    for (std::size_t m = 0; m < maps.size(); ++m) {
      TResourceStream stream("JpgImage_" + std::to_string(m + 1));
      const double a = TimeMs([&] { material.LoadFromStream(stream); });
      const double b = TimeMs([&] {
        const std::vector<unsigned char>& jpeg = maps[m];
        int w = 0, h = 0, ss = 0, cs = 0;
        tjDecompressHeader3(tj, jpeg.data(), jpeg.size(), &w, &h, &ss, &cs);
        TBitmapPixels buffer = TBitmap::AllocatePixels(w, h);
        if (tjDecompress2(tj, jpeg.data(), jpeg.size(), reinterpret_cast<unsigned char*>(buffer.get()), w, 0, h,
                          TJPF_BGRA, 0) != 0) {
          std::fprintf(stderr, "libjpeg-turbo failed on map %zu: %s\n", m + 1, tjGetErrorStr2(tj));
          std::exit(1);
        }
      });
      if (i < 0) continue;
      ours[m].push_back(a);
      turbo[m].push_back(b);
    }
  tjDestroy(tj);
  std::printf("\nevery body switch, %d runs, medians in ms (LoadFromStream of JpgImage_N / libjpeg-turbo):\n", ARuns);
  double sumOurs = 0, sumTurbo = 0, worst = 0;
  for (std::size_t m = 0; m < maps.size(); ++m) {
    const double a = Median(ours[m]), b = Median(turbo[m]);
    sumOurs += a;
    sumTurbo += b;
    worst = std::max(worst, a / b);
    std::printf("  JpgImage_%-2zu %8.2f %8.2f   %.3f\n", m + 1, a, b, a / b);
  }
  std::printf("ratio of the sums: %.3f, worst map: %.3f (target <= 1.10)\n", sumOurs / sumTurbo, worst);
  return 0;
}

// A plain RGBA PNG by libspng, premultiplied into BGRA exactly as the bitmap does it.
void DecodeWithSpng(const std::vector<unsigned char>& APng) {
  spng_ctx* ctx = spng_ctx_new(0);
  spng_set_png_buffer(ctx, APng.data(), APng.size());
  spng_ihdr ihdr{};
  std::size_t size = 0;
  if (spng_get_ihdr(ctx, &ihdr) != 0 || spng_decoded_image_size(ctx, SPNG_FMT_RGBA8, &size) != 0) {
    std::fprintf(stderr, "libspng cannot read the image\n");
    std::exit(1);
  }
  TBitmapPixels pixels = TBitmap::AllocatePixels(static_cast<int>(ihdr.width), static_cast<int>(ihdr.height));
  if (spng_decode_image(ctx, pixels.get(), size, SPNG_FMT_RGBA8, 0) != 0) {
    std::fprintf(stderr, "libspng failed\n");
    std::exit(1);
  }
  spng_ctx_free(ctx);
  auto* p = reinterpret_cast<unsigned char*>(pixels.get());
  for (std::size_t i = 0; i < size; i += 4) {
    const QRgb argb = qRgba(p[i], p[i + 1], p[i + 2], p[i + 3]);
    const QRgb pm = p[i + 3] == 255 ? argb : p[i + 3] == 0 ? 0 : qPremultiply(argb);
    std::memcpy(p + i, &pm, 4);
  }
}

// The bytes of a resource the program carries; none when it does not.
std::vector<unsigned char> ResourceBytes(const char* AName) {
  try {
    TResourceStream stream(AName);
    return {stream.Memory(), stream.Memory() + stream.Size()};
  } catch (const EResourceNotFound&) {
    return {};
  }
}

// The rings as the viewer shows them, at half size: scaled as their rows are inflated
// (zlib), against the whole picture decoded by the quick path (libdeflate), which is
// what the half size was scaled from before; that scaling is left out of the baseline.
int RingsAtHalfSize(int ARuns) {
  TQtBitmapCodecs half, whole;
  half.SetReduction(2);
  std::printf("\nrings at half size, %d runs, medians in ms (scaled row by row / whole picture decoded):\n", ARuns);
  for (const char* name : {"SaturnRing", "UranusRing"}) {
    const std::vector<unsigned char> png = ResourceBytes(name);
    if (png.empty()) return 0;
    std::vector<double> a, b;
    for (int i = -1; i < ARuns; ++i) {
      TBitmap x, y;
      const double ta = TimeMs([&] { half.LoadFromMemory(x, png.data(), png.size()); });
      const double tb = TimeMs([&] { whole.LoadFromMemory(y, png.data(), png.size()); });
      if (i < 0) continue;
      a.push_back(ta);
      b.push_back(tb);
    }
    std::printf("  %-11s %8.1f %8.1f   %.3f (pixels held: a quarter of the whole)\n", name, Median(a), Median(b),
                Median(a) / Median(b));
  }
  return 0;
}

// The two ring pictures (the layout's PNGs) by the quick path, by Qt and by libspng.
int LayoutPngs(int ARuns) {
  TQtBitmapCodecs quick, general;
  general.SetPlainPngPath(false);
  std::printf("\nlayout images, %d runs, medians in ms (quick path / Qt / libspng), ratios against Qt:\n", ARuns);
  double sumQuick = 0, sumQt = 0, sumSpng = 0;
  for (const char* name : {"SaturnRing", "UranusRing"}) {
    const std::vector<unsigned char> png = ResourceBytes(name);
    if (png.empty()) return 0;
    std::vector<double> a, b, c;
    for (int i = -1; i < ARuns; ++i) {
      TBitmap x, y;
      const double ta = TimeMs([&] { quick.LoadFromMemory(x, png.data(), png.size()); });
      const double tb = TimeMs([&] { general.LoadFromMemory(y, png.data(), png.size()); });
      const double tc = TimeMs([&] { DecodeWithSpng(png); });
      if (i < 0) {
        if (x.Width() != y.Width() || std::memcmp(x.Bits(), y.Bits(), static_cast<std::size_t>(x.Width()) * x.Height() * 4)) {
          std::fprintf(stderr, "%s: the quick path differs from Qt's decode\n", name);
          return 1;
        }
        continue;
      }
      a.push_back(ta);
      b.push_back(tb);
      c.push_back(tc);
    }
    const double ma = Median(a), mb = Median(b), mc = Median(c);
    sumQuick += ma;
    sumQt += mb;
    sumSpng += mc;
    std::printf("  %-11s %8.1f %8.1f %8.1f   quick %.3f, libspng %.3f\n", name, ma, mb, mc, ma / mb, mc / mb);
  }
  std::printf("sums: quick path / Qt %.3f, libspng / Qt %.3f, quick path / libspng %.3f\n", sumQuick / sumQt,
              sumSpng / sumQt, sumQuick / sumSpng);
  return RingsAtHalfSize(ARuns);
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(3, std::atoi(argv[1])) : 15;
  QtRuntime runtime;
  const std::vector<unsigned char> jpeg = MapJpeg();
  TMemoryViewStream stream(jpeg.data(), static_cast<std::int64_t>(jpeg.size()));

  tjhandle tj = tjInitDecompress();
  auto turbo = [&](unsigned char* ABuffer) {
    int w = 0, h = 0, ss = 0, cs = 0;
    if (tjDecompressHeader3(tj, jpeg.data(), jpeg.size(), &w, &h, &ss, &cs) != 0 ||
        tjDecompress2(tj, jpeg.data(), jpeg.size(), ABuffer, w, 0, h, TJPF_BGRA, 0) != 0) {
      std::fprintf(stderr, "libjpeg-turbo failed: %s\n", tjGetErrorStr2(tj));
      std::exit(1);
    }
  };
  int w = 0, h = 0, ss = 0, cs = 0;
  tjDecompressHeader3(tj, jpeg.data(), jpeg.size(), &w, &h, &ss, &cs);
  const std::size_t bytes = static_cast<std::size_t>(w) * h * 4;
  std::unique_ptr<unsigned char[]> reused(new unsigned char[bytes]);

  TBitmap bitmap;
  std::vector<double> ours, fresh, floor;
  for (int i = -1; i < runs; ++i) {  // the first round warms up and is not counted
    const double a = TimeMs([&] { bitmap.LoadFromStream(stream); });
    const double b = TimeMs([&] {
      TBitmapPixels buffer = TBitmap::AllocatePixels(w, h);
      turbo(reinterpret_cast<unsigned char*>(buffer.get()));
    });
    const double c = TimeMs([&] { turbo(reused.get()); });
    if (i < 0) continue;
    ours.push_back(a);
    fresh.push_back(b);
    floor.push_back(c);
  }
  tjDestroy(tj);
  if (bitmap.Width() != w || bitmap.Height() != h ||
      std::memcmp(bitmap.Bits(), reused.get(), bytes) != 0) {
    std::fprintf(stderr, "the bitmap differs from libjpeg-turbo's own decode\n");
    return 1;
  }
  const double mo = Median(ours), mf = Median(fresh), mr = Median(floor);
  std::printf("runs: %d, medians in ms\n", runs);
  std::printf("TBitmap.LoadFromStream                       %8.2f\n", mo);
  std::printf("tjDecompress2 into a fresh bitmap buffer     %8.2f\n", mf);
  std::printf("tjDecompress2 into one buffer, reused        %8.2f  (the floor, which no load can reach)\n", mr);
  std::printf("ratio against the same buffer policy: %.3f (target <= 1.10)\n", mo / mf);
  const int rc = EveryBodySwitch(std::max(3, runs / 3));
  return rc ? rc : LayoutPngs(std::max(3, runs / 3));
}
