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
  // A still camera (the fixture ends the fly-in), the spin stopped.
  Form2->FloatAnimation1->StopAtCurrent();
  TViewport3D* viewport = Form2->Viewport3D1;
  const struct {
    const char* What;
    void (*Change)();
  } cases[] = {
      {"the body turns", [] { Form2->Sphere1->RotationAngle().SetY(Form2->Sphere1->RotationAngle().Y() - 7); }},
      {"the body fades", [] { Form2->Sphere1->SetOpacity(0.5f); }},
      {"the body turns while faded", [] { Form2->Sphere1->RotationAngle().SetY(Form2->Sphere1->RotationAngle().Y() - 30); }},
  };
  viewport->MakeScreenshot();  // the last frame, drawn whole or not, is in the target
  for (const auto& c : cases) {
    SCOPED_TRACE(c.What);
    c.Change();
    std::unique_ptr<TBitmap> partly = viewport->MakeScreenshot();
    const TPixelRect drawn = viewport->LastDrawnRect();
    // Only the body's part of the target was drawn again.
    EXPECT_GT(drawn.Width, 0);
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
}

}  // namespace
