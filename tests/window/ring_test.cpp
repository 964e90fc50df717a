// The ring as its picture is meant to be seen: both faces of the disk drawn, so that a
// translucent texel is laid over itself, everywhere on the ring and from either side.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/gl_context.h"
#include "scene/material/bitmap.h"
#include "scene/mesh/mesh.h"
#include "scene/view/viewport3d.h"
#include "scene/view/camera.h"
#include "tests/support/picture_compare.h"
#include "tests/support/shown_still.h"
#include "tests/support/viewer_fixture.h"

using namespace sphaerix;
using namespace sphaerix::testing;

namespace {

class Ring : public ViewerFixture {};

TEST_F(Ring, BothFacesAreLaidOverEachOtherFromEitherSide) {
  ASSERT_TRUE(ShowBodyStill(5));  // Saturn
  ASSERT_TRUE(Form2->Disk1->Visible());
  // Over nothing, the ring's cover is the picture's alpha (the body's is whole).
  Form2->Sphere2->SetVisible(false);
  TViewport3D* viewport = Form2->Viewport3D1;
  for (const float tilt : {60.0f, -30.0f}) {
    SCOPED_TRACE(tilt > 0 ? "seen from one side" : "seen from the other");
    Form2->Dummy1->RotationAngle().SetX(tilt);
    // Where the body is, or its outline near, the ring is not alone.
    Form2->Disk1->SetVisible(false);
    const std::unique_ptr<TBitmap> body = viewport->MakeScreenshot();
    Form2->Disk1->SetVisible(true);
    auto nearBody = [&](int x, int y) {
      for (int v = std::max(0, y - 2); v <= std::min(body->Height() - 1, y + 2); ++v)
        for (int u = std::max(0, x - 2); u <= std::min(body->Width() - 1, x + 2); ++u)
          if (body->Scanline(v)[u] >> 24) return true;
      return false;
    };
    Form2->Disk1->SetTwoSide(false);
    const std::unique_ptr<TBitmap> once = viewport->MakeScreenshot();
    Form2->Disk1->SetTwoSide(true);
    const std::unique_ptr<TBitmap> twice = viewport->MakeScreenshot();
    long ring = 0, wrong = 0;
    for (int y = 0; y < once->Height(); ++y)
      for (int x = 0; x < once->Width(); ++x) {
        const double a = (once->Scanline(y)[x] >> 24) / 255.0;
        // Only the face toward the eye draws when one side is culled.
        if (a <= 0.02 || a >= 0.98 || nearBody(x, y)) continue;
        ++ring;
        const double expected = 1 - (1 - a) * (1 - a);
        if (std::fabs((twice->Scanline(y)[x] >> 24) / 255.0 - expected) > 3 / 255.0) ++wrong;
      }
    std::printf("%ld translucent ring pixels, %ld not laid twice\n", ring, wrong);
    EXPECT_GT(ring, 10000);
    EXPECT_LE(wrong, ring / 1000);
  }
}

// A round ring picture is filtered along its radius, where it changes, by one fetch of
// the level that distance needs: the ring looks as the anisotropic sampling of the
// slanted ring shows it, both rings, from near and far, nearly edge-on or not.
TEST_F(Ring, ARoundPictureFilteredAlongItsRadiusLooksAsAnisotropicSamplingShowsIt) {
  TViewport3D* viewport = Form2->Viewport3D1;
  long allRing = 0, allDiffer = 0;
  for (int body : {5, 6}) {
    SCOPED_TRACE(body);
    ASSERT_TRUE(ShowBodyStill(body));
    auto* context = dynamic_cast<TGLRenderContext*>(viewport->RenderContext());
    ASSERT_NE(context, nullptr);
    // Each picture drawn whole, from fresh targets.
    auto whole = [&] {
      viewport->SetMultisample(TMultisample::FourSamples);
      viewport->SetMultisample(TMultisample::None);
      return viewport->MakeScreenshot();
    };
    int seen = 0;
    for (const float tilt : {0.0f, 22.0f}) {
      for (const float z : {-6.0f, -15.0f, -39.0f}) {
        SCOPED_TRACE(std::to_string(tilt) + " degrees, at " + std::to_string(z));
        Form2->Dummy1->RotationAngle().SetX(tilt);
        Form2->Camera1->Position().SetZ(z);
        const unsigned long long radial = context->Stats().RadialDraws;
        const std::unique_ptr<TBitmap> filtered = whole();
        EXPECT_GT(context->Stats().RadialDraws, radial);
        context->SetRadialFilter(false);
        const std::unique_ptr<TBitmap> sampled = whole();
        context->SetRadialFilter(true);
        Form2->Disk1->SetVisible(false);
        const std::unique_ptr<TBitmap> bare = whole();
        Form2->Disk1->SetVisible(true);
        // Of the pixels the ring changes, those apart by more than 3 % of the range in a
        // channel: mostly edge pixels of thin rings seen nearly edge-on.
        auto apart = [](std::uint32_t a, std::uint32_t b) { return PixelDifference(a, b) > 8; };
        long ring = 0, differ = 0;
        for (int y = 0; y < filtered->Height(); ++y)
          for (int x = 0; x < filtered->Width(); ++x) {
            const std::uint32_t a = filtered->Scanline(y)[x], b = sampled->Scanline(y)[x];
            if (!apart(a, bare->Scanline(y)[x]) && !apart(b, bare->Scanline(y)[x])) continue;
            ++ring;
            differ += apart(a, b);
          }
        if (ring == 0) continue;  // from inside the ring, the body fills the window
        ++seen;
        allRing += ring;
        allDiffer += differ;
      }
    }
    EXPECT_GE(seen, 4);
    Form2->Dummy1->RotationAngle().SetX(0);
    Form2->Camera1->Position().SetZ(-15);
  }
  // Over all the views: 3 % of the ring's pixels here; a level one off either way, about
  // twice as many.
  EXPECT_LT(static_cast<double>(allDiffer), 0.045 * static_cast<double>(allRing));
}

}  // namespace
