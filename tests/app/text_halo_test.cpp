// Light text over the brightest maps: the rim round the glyphs keeps the contrast between
// the glyphs and what surrounds them at 4.5 : 1 or more, on any background.
#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <vector>

#include "app/Unit2.h"
#include "ui/canvas.h"
#include "ui/controls.h"

namespace sphaerix {
namespace {

double Linear(int AChannel) {
  const double c = AChannel / 255.0;
  return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

double Luminance(QRgb APixel) {
  return 0.2126 * Linear(qRed(APixel)) + 0.7152 * Linear(qGreen(APixel)) + 0.0722 * Linear(qBlue(APixel));
}

// The contrast between the text's colour and the median of the pixels of AImage within
// three pixels of a glyph that the glyphs themselves do not touch. AGlyphs is the same
// text drawn alone in white on black: where it is white a glyph covers the pixel fully,
// where it is black not at all.
double GlyphContrast(const QImage& AImage, const QImage& AGlyphs, QRgb AText) {
  const int w = AImage.width(), h = AImage.height();
  auto coverage = [&](int x, int y) { return qGreen(AGlyphs.pixel(x, y)); };
  std::vector<char> near(static_cast<size_t>(w * h), 0);
  int glyphs = 0;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      if (coverage(x, y) < 250) continue;
      ++glyphs;
      for (int dy = -3; dy <= 3; ++dy)
        for (int dx = -3; dx <= 3; ++dx)
          if (x + dx >= 0 && x + dx < w && y + dy >= 0 && y + dy < h) near[static_cast<size_t>((y + dy) * w + x + dx)] = 1;
    }
  EXPECT_GT(glyphs, 20) << "no glyph drawn";
  std::vector<double> around;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      if (near[static_cast<size_t>(y * w + x)] && coverage(x, y) == 0) around.push_back(Luminance(AImage.pixel(x, y)));
  if (around.empty()) return 0;
  std::nth_element(around.begin(), around.begin() + static_cast<long>(around.size() / 2), around.end());
  const double surround = around[around.size() / 2];
  const double text = Luminance(AText);
  return (std::max(text, surround) + 0.05) / (std::min(text, surround) + 0.05);
}

// AText painted over ABackground.
QImage Painted(TText& AText, TAlphaColor ABackground) {
  QImage image(260, 60, QImage::Format_RGB32);
  image.fill(ToQColor(ABackground));
  QPainter painter(&image);
  TCanvas2D canvas(painter);
  AText.Paint(canvas);
  return image;
}

TEST(TextHalo, TitleAndFactsKeepTheirContrastOverTheBrightestBackgrounds) {
  struct Case {
    const char* What;
    TAlphaColor Text;
    float Size;
    TAlphaColor Background;
  } cases[] = {
      // The layout's colours over white (the Sun, Saturn close up), Venus's pale clouds
      // and a sunlit desert.
      {"facts over white", claWhite, 18, 0xFFFFFFFF},
      {"facts over Venus", claWhite, 18, 0xFFE9DCB8},
      {"title over white", 0xFFBABABA, 22, 0xFFFFFFFF},
      {"title over a desert", 0xFFBABABA, 22, 0xFFD9B98A},
  };
  for (const Case& c : cases) {
    TText text(nullptr);
    text.SetSize(240, 40);
    text.Position().SetPoint({10, 10});
    text.TextSettings().StyledSettings = 0;
    text.TextSettings().Size = c.Size;
    text.HorzAlign = TTextAlign::Leading;
    text.SetText(QStringLiteral("Diameter: 12,742 km"));
    text.TextSettings().Color = claWhite;
    const QImage glyphs = Painted(text, claBlack);
    text.TextSettings().Color = c.Text;
    text.Halo = TForm2::TextHalo;
    EXPECT_GE(GlyphContrast(Painted(text, c.Background), glyphs, ToQColor(c.Text).rgb()), 4.5) << c.What;
    // Without the rim the same text is hard to read there: the measure sees the fault.
    text.Halo = claNull;
    EXPECT_LT(GlyphContrast(Painted(text, c.Background), glyphs, ToQColor(c.Text).rgb()), 4.5) << c.What;
  }
}

}  // namespace
}  // namespace sphaerix
