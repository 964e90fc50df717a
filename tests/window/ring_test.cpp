// The ring as its picture is meant to be seen: both faces of the disk drawn, so that a
// translucent texel is laid over itself, everywhere on the ring and from either side.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>

#include "scene/material/bitmap.h"
#include "scene/mesh/mesh.h"
#include "scene/view/viewport3d.h"
#include "tests/support/viewer_fixture.h"

using namespace sphaerix;
using namespace sphaerix::testing;

namespace {

class Ring : public ViewerFixture {};

TEST_F(Ring, BothFacesAreLaidOverEachOtherFromEitherSide) {
  Form2->Buttons[5]->Click();  // Saturn
  ASSERT_TRUE(WaitFor([] {
    return !Form2->Selection.Running && Form2->Selection.Loaded == 5 && Form2->Sphere1->Opacity() == 1;
  }, 60000));
  Form2->FloatAnimation1->StopAtCurrent();
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

}  // namespace
