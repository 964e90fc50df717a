// The body's outline smoothed in the pixel programs, on a target of one sample a pixel,
// with the globe sampled without anisotropy, against the same frame multisampled four
// times with anisotropy: the limb as soft, behind the ring too, and everything else (the
// lit face and its terminator, the rings, the stars) the same picture.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "platform/gl_context.h"
#include "scene/material/bitmap.h"
#include "scene/mesh/mesh.h"
#include "scene/view/viewport3d.h"
#include "tests/support/picture_compare.h"
#include "tests/support/shown_still.h"
#include "tests/support/viewer_fixture.h"

using namespace sphaerix;
using namespace sphaerix::testing;

namespace {

class Outline : public ViewerFixture {};

std::unique_ptr<TBitmap> FrameWith(TMultisample ASamples) {
  Form2->Viewport3D1->SetMultisample(ASamples);
  return Form2->Viewport3D1->MakeScreenshot();
}

// Shows body AIndex still, the spin stopped, and returns the body's outline on the
// screen: centre and radius in pixels, from the part of the target a small turn redraws.
void ShowStill(int AIndex, double& ACentreX, double& ACentreY, double& ARadius) {
  ASSERT_TRUE(ShowBodyStill(AIndex));
  TViewport3D* viewport = Form2->Viewport3D1;
  const bool ring = Form2->Disk1->Visible();
  Form2->Disk1->SetVisible(false);
  viewport->MakeScreenshot();
  Form2->Sphere1->RotationAngle().SetY(Form2->Sphere1->RotationAngle().Y() + 1);
  viewport->MakeScreenshot();
  const TPixelRect body = viewport->LastDrawnRect();
  ASSERT_GT(body.Width, 0);
  ASSERT_LT(body.Width, viewport->RenderContext()->Width());
  Form2->Disk1->SetVisible(ring);
  // The drawn part is the sphere's bounds with a margin of three pixels.
  ACentreX = body.X + body.Width / 2.0;
  ACentreY = body.Y + body.Height / 2.0;
  ARadius = body.Width / 2.0 - 3;
}

TGLRenderContext* GLContext() { return dynamic_cast<TGLRenderContext*>(Form2->Viewport3D1->RenderContext()); }

// The outline alone, read from the coverage the body leaves in an empty target: how far
// it lies from the multisampled one on average (in pixels along the outline), and the
// share of the outline's length where a pixel is partly covered.
struct TOutlineMeasure {
  double Offset = 0, SoftShare = 0;
};

TOutlineMeasure MeasureOutline(const TBitmap& AMultisampled, const TBitmap& ASmoothed, double ACentreX,
                               double ACentreY, double ARadius) {
  double area = 0;
  long soft = 0;
  for (int y = 0; y < ASmoothed.Height(); ++y)
    for (int x = 0; x < ASmoothed.Width(); ++x) {
      const double d = std::hypot(x + 0.5 - ACentreX, y + 0.5 - ACentreY) - ARadius;
      if (std::fabs(d) > 3) continue;
      const int a = int(ASmoothed.Scanline(y)[x] >> 24), m = int(AMultisampled.Scanline(y)[x] >> 24);
      area += (a - m) / 255.0;
      if (a > 0 && a < 255) ++soft;
    }
  const double length = 2 * 3.14159265358979 * ARadius;
  return {area / length, double(soft) / length};
}

TEST_F(Outline, TheSmoothedLimbIsAsSoftAsMultisampledAndNothingElseChanges) {
  const struct {
    int Body;
    const char* Name;
  } bodies[] = {{0, "Earth"}, {5, "Saturn"}};
  for (const auto& b : bodies) {
    SCOPED_TRACE(b.Name);
    double cx = 0, cy = 0, r = 0;
    ShowStill(b.Body, cx, cy, r);
    if (HasFatalFailure()) return;
    // The whole picture: the face with its terminator, the rings and the stars.
    std::unique_ptr<TBitmap> multisampled = FrameWith(TMultisample::FourSamples);
    std::unique_ptr<TBitmap> smoothed = FrameWith(TMultisample::None);
    ASSERT_EQ(multisampled->Width(), smoothed->Width());
    // The rim: the face's outer part, seen at a slant, where anisotropy would sample.
    auto band = [&](int x, int y) { return std::hypot(x + 0.5 - cx, y + 0.5 - cy) - r; };
    const TPictureDifference limb =
        ComparePictures(*multisampled, *smoothed, 0, [&](int x, int y) { return std::fabs(band(x, y)) <= 3; });
    const TPictureDifference around =
        ComparePictures(*multisampled, *smoothed, 0, [&](int x, int y) { return band(x, y) > 3; });
    const TPictureDifference rim = ComparePictures(*multisampled, *smoothed, 0, [&](int x, int y) {
      const double d = band(x, y);
      return d < -3 && d > -0.15 * r;
    });
    const TPictureDifference face =
        ComparePictures(*multisampled, *smoothed, 0, [&](int x, int y) { return band(x, y) <= -0.15 * r; });
    // The body alone over nothing: its coverage is the picture's alpha.
    const bool ring = Form2->Disk1->Visible();
    Form2->Disk1->SetVisible(false);
    Form2->Sphere2->SetVisible(false);
    multisampled = FrameWith(TMultisample::FourSamples);
    smoothed = FrameWith(TMultisample::None);
    const TOutlineMeasure sharp = MeasureOutline(*multisampled, *multisampled, cx, cy, r);
    const TOutlineMeasure outline = MeasureOutline(*multisampled, *smoothed, cx, cy, r);
    Form2->Disk1->SetVisible(ring);
    Form2->Sphere2->SetVisible(true);
    std::printf("%s: outline %.2f px from the multisampled one, soft along %.2f of it (multisampled %.2f); "
                "limb mean %.2f largest %.0f; face mean %.2f largest %.0f; rim mean %.2f largest %.0f; "
                "around mean %.2f largest %.0f\n",
                b.Name, outline.Offset, outline.SoftShare, sharp.SoftShare, limb.Mean(), limb.Largest, face.Mean(),
                face.Largest, rim.Mean(), rim.Largest, around.Mean(), around.Largest);
    // In the same place within half a pixel, and soft wherever the multisampled one is:
    // a stepped outline has no partly covered pixels.
    EXPECT_LT(std::fabs(outline.Offset), 0.5);
    EXPECT_GT(outline.SoftShare, 0.9 * sharp.SoftShare);
    // Everything else is the same picture within a level on average: the odd pixel
    // where a multisampled triangle edge inside a mesh is sampled at another point, and
    // on the globe, sampled now without anisotropy, a softer texel here and there; the
    // rim, seen at a slant, a little more.
    EXPECT_LT(face.Mean(), 1.0);
    EXPECT_LT(rim.Mean(), 2.0);
    EXPECT_LT(around.Mean(), 0.5);
  }
}

// The angles along the outline, a pixel of its length each, at which the smoothed
// picture lost more than half a pixel of the limb's cover that the multisampled one has:
// where a pixel partly covered by the limb was not drawn at all, a step.
int SteppedAngles(const TBitmap& AMultisampled, const TBitmap& ASmoothed, double ACentreX, double ACentreY,
                  double ARadius, int& AAngles) {
  const double pi = 3.14159265358979;
  AAngles = static_cast<int>(2 * pi * ARadius);
  std::vector<double> lost(static_cast<std::size_t>(AAngles));
  for (int y = 0; y < ASmoothed.Height(); ++y)
    for (int x = 0; x < ASmoothed.Width(); ++x) {
      const double dx = x + 0.5 - ACentreX, dy = y + 0.5 - ACentreY;
      if (std::fabs(std::hypot(dx, dy) - ARadius) > 3) continue;
      const int at = static_cast<int>((std::atan2(dy, dx) + pi) / (2 * pi) * AAngles) % AAngles;
      lost[static_cast<std::size_t>(at)] +=
          (int(AMultisampled.Scanline(y)[x] >> 24) - int(ASmoothed.Scanline(y)[x] >> 24)) / 255.0;
    }
  return static_cast<int>(std::count_if(lost.begin(), lost.end(), [](double l) { return l > 0.5; }));
}

// Where the ring lies in front of the limb, the limb is smoothed as everywhere else: the
// ring's empty middle hides nothing. Over nothing (the sky hidden) a pixel's alpha is the
// cover of the body and the ring together; the same frame multisampled four times is the
// reference, seen as shown at first, from above and from below the ring's plane.
TEST_F(Outline, TheLimbBehindTheRingIsSmoothedAsElsewhere) {
  const struct {
    int Body;
    const char* Name;
  } bodies[] = {{5, "Saturn"}, {6, "Uranus"}};
  for (const auto& b : bodies) {
    double cx = 0, cy = 0, r = 0;
    ShowStill(b.Body, cx, cy, r);
    if (HasFatalFailure()) return;
    ASSERT_TRUE(Form2->Disk1->Visible());
    TPosition3D& rig = Form2->Dummy1->RotationAngle();
    const float shownTilt = rig.X();
    for (const float tilt : {0.0f, 35.0f, -35.0f}) {
      SCOPED_TRACE(std::string(b.Name) + ", tilted by " + std::to_string(tilt));
      rig.SetX(shownTilt + tilt);
      Form2->Sphere2->SetVisible(false);
      TGLRenderContext* context = GLContext();
      ASSERT_NE(context, nullptr);
      const std::unique_ptr<TBitmap> multisampled = FrameWith(TMultisample::FourSamples);
      const unsigned long long split = GLContext()->Stats().SplitSpheres;
      std::unique_ptr<TBitmap> smoothed = FrameWith(TMultisample::None);
      // Drawn as a turning frame draws it: the sphere split at its outline.
      if (GLContext()->Stats().SplitSpheres == split) smoothed = FrameWith(TMultisample::None);
      EXPECT_GT(GLContext()->Stats().SplitSpheres, split) << "the body was not split at its outline";
      int angles = 0;
      const int stepped = SteppedAngles(*multisampled, *smoothed, cx, cy, r, angles);
      const TPictureDifference limb = ComparePictures(*multisampled, *smoothed, 0, [&](int x, int y) {
        return std::fabs(std::hypot(x + 0.5 - cx, y + 0.5 - cy) - r) <= 3;
      });
      std::printf("%s tilted by %.0f: %d of %d angles stepped; limb mean %.2f largest %.0f\n", b.Name, tilt,
                  stepped, angles, limb.Mean(), limb.Largest);
      EXPECT_EQ(stepped, 0);
      Form2->Sphere2->SetVisible(true);
    }
    rig.SetX(shownTilt);
  }
}

// Marking what an opaque body hides before the stars are drawn, shading the faces inside
// its outline without measuring their cover, and drawing the sky seen from inside its
// sphere without the faces that cannot show, change no pixel: the same frame with and
// without, the body faded or not, with its ring in front and behind.
TEST_F(Outline, MarkingWhatTheBodyHidesShadingItsInnerFacesPlainlyAndSkippingUnseenFacesChangeNoPixel) {
  for (int body : {0, 5}) {
    SCOPED_TRACE(body);
    double cx = 0, cy = 0, r = 0;
    ShowStill(body, cx, cy, r);
    if (HasFatalFailure()) return;
    TGLRenderContext* context = GLContext();
    ASSERT_NE(context, nullptr);
    // Each picture drawn whole, from fresh targets.
    auto whole = [] {
      Form2->Viewport3D1->SetMultisample(TMultisample::FourSamples);
      Form2->Viewport3D1->SetMultisample(TMultisample::None);
      return Form2->Viewport3D1->MakeScreenshot();
    };
    for (float opacity : {1.0f, 0.6f}) {
      Form2->Sphere1->SetOpacity(opacity);
      const TGLRenderContext::TStats before = context->Stats();
      std::unique_ptr<TBitmap> marked = whole();
      EXPECT_EQ(context->Stats().HiddenMarks > before.HiddenMarks, opacity == 1.0f);
      EXPECT_GT(context->Stats().SplitSpheres, before.SplitSpheres) << "the body was not split at its outline";
      EXPECT_GT(context->Stats().SkippedFaceDraws, before.SkippedFaceDraws)
          << "the sky's faces all turn one way from inside";
      context->SetMarkHidden(false);
      context->SetSplitAtOutline(false);
      context->SetSkipUnseenFaces(false);
      std::unique_ptr<TBitmap> plain = whole();
      context->SetMarkHidden(true);
      context->SetSplitAtOutline(true);
      context->SetSkipUnseenFaces(true);
      EXPECT_EQ(ComparePictures(*marked, *plain).Beyond, 0) << "opacity " << opacity;
    }
    Form2->Sphere1->SetOpacity(1);
  }
}

}  // namespace
