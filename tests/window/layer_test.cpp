// Controls on a window drawn with OpenGL paint through a picture of their own: the window
// shows what painting them straight on it shows, and a picture in which no control
// changed is neither painted again nor given to the window as a new image, whose texture
// the window keeps.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFramebufferObject>
#include <QOpenGLPaintDevice>
#include <QPaintEngine>
#include <QPainter>
#include <QPalette>
#include <algorithm>
#include <cstdlib>
#include <memory>

#include "platform/gl_check.h"
#include "ui/canvas.h"
#include "ui/controls.h"

namespace sphaerix {
namespace {

constexpr int kWidth = 200, kHeight = 120;

// A translucent panel holding a rimmed label, as the viewer's overlay is made.
struct TOverlay {
  TPanel Panel{nullptr};
  TLabel* Label = new TLabel(&Panel);
  TOverlay() {
    Panel.SetBounds(20, 15, 130, 80);
    Panel.SetOpacity(0.8f);
    Panel.AddObject(Label);
    Label->SetBounds(10, 20, 100, 30);
    Label->SetText(QStringLiteral("Enceladus"));
    Label->TextSettings().Size = 20;
    Label->TextSettings().Color = claWhite;
    Label->Halo = claBlack;
  }
};

// Paints AOverlay on a black OpenGL target and reads the target back.
class TOpenGLTarget {
 public:
  TOpenGLTarget() {
    FSurface.setFormat(GLSurfaceFormat());
    FSurface.create();
    FContext.setFormat(GLSurfaceFormat());
    if (!FContext.create() || !FContext.makeCurrent(&FSurface)) return;
    FFrame = std::make_unique<QOpenGLFramebufferObject>(kWidth, kHeight);
  }
  bool Ok() const { return FFrame != nullptr; }
  QImage Paint(TControl& AControl) {
    FFrame->bind();
    QOpenGLPaintDevice device(kWidth, kHeight);
    QPainter painter(&device);
    EXPECT_EQ(painter.paintEngine()->type(), QPaintEngine::OpenGL2);
    painter.fillRect(QRect(0, 0, kWidth, kHeight), Qt::black);
    TCanvas2D canvas(painter);
    AControl.PaintTree(canvas);
    painter.end();
    return FFrame->toImage().convertToFormat(QImage::Format_RGB32);
  }

 private:
  QOffscreenSurface FSurface;
  QOpenGLContext FContext;
  std::unique_ptr<QOpenGLFramebufferObject> FFrame;
};

// The largest difference of a colour channel between two pictures of the same size.
int LargestDifference(const QImage& A, const QImage& B) {
  int worst = 0;
  for (int y = 0; y < A.height(); ++y)
    for (int x = 0; x < A.width(); ++x) {
      const QRgb a = A.pixel(x, y), b = B.pixel(x, y);
      worst = std::max({worst, std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                        std::abs(qBlue(a) - qBlue(b))});
    }
  return worst;
}

QImage PaintedOnTheProcessor(TControl& AControl) {
  QImage image(kWidth, kHeight, QImage::Format_RGB32);
  image.fill(Qt::black);
  QPainter painter(&image);
  TCanvas2D canvas(painter);
  AControl.PaintTree(canvas);
  return image;
}

TEST(PaintLayer, ShowsWhatPaintingStraightOnTheWindowShows) {
  TOpenGLTarget target;
  ASSERT_TRUE(target.Ok()) << "no OpenGL 3.3 context";
  TOverlay overlay;
  const QImage shown = target.Paint(overlay.Panel);
  const QImage expected = PaintedOnTheProcessor(overlay.Panel);
  ASSERT_FALSE(overlay.Panel.LayerPicture().isNull()) << "the panel was not painted through a picture";
  // The label is inside the panel's picture: one picture for the whole subtree.
  EXPECT_TRUE(overlay.Label->LayerPicture().isNull());

  EXPECT_LE(LargestDifference(shown, expected), 2) << "the window differs from painting straight on it";
  int text = 0;
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x)
      if (qGreen(shown.pixel(x, y)) > 200) ++text;
  EXPECT_GT(text, 30) << "no text painted";
  // The panel's opacity is applied once: its plain part shows 80 % of its colour.
  const QRgb corner = expected.pixel(24, 18), window = QApplication::palette().window().color().rgb();
  EXPECT_NEAR(qRed(corner), qRed(window) * 0.8, 2);
  EXPECT_NEAR(qRed(shown.pixel(24, 18)), qRed(corner), 2);
  // Nothing outside the controls' reach.
  EXPECT_EQ(shown.pixel(kWidth - 2, kHeight - 2), qRgb(0, 0, 0));
}

TEST(PaintLayer, AnUnchangedPictureIsGivenAgainAndAChangedOneReplacesIt) {
  TOpenGLTarget target;
  ASSERT_TRUE(target.Ok()) << "no OpenGL 3.3 context";
  TOverlay overlay;
  const QImage before = target.Paint(overlay.Panel);
  const qint64 first = overlay.Panel.LayerPicture().cacheKey();
  const unsigned long long paints = overlay.Panel.LayerPaints();
  target.Paint(overlay.Panel);
  EXPECT_EQ(overlay.Panel.LayerPicture().cacheKey(), first);
  EXPECT_EQ(overlay.Panel.LayerPaints(), paints) << "an unchanged picture was painted again";

  overlay.Label->SetText(QStringLiteral("Io"));
  const QImage after = target.Paint(overlay.Panel);
  EXPECT_NE(overlay.Panel.LayerPicture().cacheKey(), first);
  EXPECT_GT(LargestDifference(after, before), 100) << "the new text did not reach the window";
  EXPECT_LE(LargestDifference(after, PaintedOnTheProcessor(overlay.Panel)), 2);
}

}  // namespace
}  // namespace sphaerix
