// A frame that redraws only the part of the target that changed (the body turning or
// fading under a still camera) has exactly the pixels of a full redraw.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "scene/animation/animation.h"
#include "scene/material/bitmap.h"
#include "scene/view/camera.h"
#include "scene/mesh/mesh.h"
#include "scene/view/viewport3d.h"
#include "tests/support/viewer_fixture.h"

using namespace sphaerix;
using namespace sphaerix::testing;

namespace {

class PartialRedraw : public ViewerFixture {};

bool SamePixels(const TBitmap& A, const TBitmap& B) {
  return A.Width() == B.Width() && A.Height() == B.Height() &&
         std::memcmp(A.Bits(), B.Bits(), static_cast<std::size_t>(A.Width()) * A.Height() * 4) == 0;
}

TEST_F(PartialRedraw, AFrameDrawnInPartIsTheFullFrame) {
  // Earth, and Saturn, whose ring turns with it; a still camera (the fixture ends the
  // fly-in), the spin stopped.
  TViewport3D* viewport = Form2->Viewport3D1;
  const struct {
    const char* What;
    void (*Change)();
    bool RingChanges;  // a ring fades with its body: most of the target is drawn again
  } cases[] = {
      {"the body turns", [] { Form2->Sphere1->RotationAngle().SetY(Form2->Sphere1->RotationAngle().Y() - 7); }, false},
      {"the body fades", [] { Form2->Sphere1->SetOpacity(0.5f); }, true},
      {"the body turns while faded",
       [] { Form2->Sphere1->RotationAngle().SetY(Form2->Sphere1->RotationAngle().Y() - 30); }, false},
  };
  for (int body : {0, 5}) {
    SCOPED_TRACE(body);
    if (body != 0) {
      Form2->Buttons[body]->Click();
      ASSERT_TRUE(WaitFor([&] {
        return !Form2->Selection.Running && Form2->Selection.Loaded == body && Form2->Sphere1->Opacity() == 1;
      }, 60000));
    }
    Form2->FloatAnimation1->StopAtCurrent();
    viewport->MakeScreenshot();  // the last frame, drawn whole or not, is in the target
    for (const auto& c : cases) {
      SCOPED_TRACE(c.What);
      c.Change();
      std::unique_ptr<TBitmap> partly = viewport->MakeScreenshot();
      const TPixelRect drawn = viewport->LastDrawnRect();
      // Only the body's part of the target was drawn again: the ring, turning with it,
      // looks the same and was not.
      EXPECT_GT(drawn.Width, 0);
      if (!(c.RingChanges && Form2->Disk1->Visible()))
        EXPECT_LT(static_cast<double>(drawn.Width) * drawn.Height,
                  0.7 * viewport->RenderContext()->Width() * viewport->RenderContext()->Height());
      viewport->SetPartialRedraw(false);
      std::unique_ptr<TBitmap> whole = viewport->MakeScreenshot();
      viewport->SetPartialRedraw(true);
      EXPECT_EQ(viewport->LastDrawnRect().Width, viewport->RenderContext()->Width());
      EXPECT_TRUE(SamePixels(*partly, *whole));
    }
    // Nothing changed: nothing is drawn again, and the frame stays the same.
    std::unique_ptr<TBitmap> before = viewport->MakeScreenshot();
    std::unique_ptr<TBitmap> again = viewport->MakeScreenshot();
    EXPECT_TRUE(viewport->LastDrawnRect().Empty());
    EXPECT_TRUE(SamePixels(*before, *again));
    Form2->Sphere1->SetOpacity(1);
  }
}

}  // namespace
