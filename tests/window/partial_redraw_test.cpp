// A frame that redraws only the part of the target that changed (the body turning or
// fading under a still camera) has exactly the pixels of a full redraw.
#include <gtest/gtest.h>

#include <QImage>
#include <QScreen>

#include <cstring>
#include <functional>
#include <memory>

#include "platform/gl_context.h"
#include "scene/animation/animation.h"
#include "scene/material/bitmap.h"
#include "scene/view/camera.h"
#include "scene/mesh/mesh.h"
#include "scene/view/viewport3d.h"
#include "tests/support/picture_compare.h"
#include "tests/support/shown_still.h"
#include "tests/support/viewer_fixture.h"
#include "ui/form_window.h"
#include "ui/popup_menu.h"
#include "ui/window_compositor.h"

using namespace sphaerix;
using namespace sphaerix::testing;

namespace {

class PartialRedraw : public ViewerFixture {};

bool SamePixels(const TBitmap& A, const TBitmap& B) { return ComparePictures(A, B).Largest == 0; }

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
    ASSERT_TRUE(ShowBodyStill(body));
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

// While the camera stands, the sky is kept and put back instead of drawn: the frames are
// the frames drawn afresh, and any move of the camera draws it again.
TEST_F(PartialRedraw, TheSkyKeptWhileTheCameraStandsIsTheSkyDrawnAfresh) {
  TViewport3D* viewport = Form2->Viewport3D1;
  auto turn = [] { Form2->Sphere1->RotationAngle().SetY(Form2->Sphere1->RotationAngle().Y() - 7); };
  for (int body : {0, 5}) {
    SCOPED_TRACE(body);
    ASSERT_TRUE(ShowBodyStill(body));
    ASSERT_EQ(viewport->Multisample(), TMultisample::None);
    auto* context = dynamic_cast<TGLRenderContext*>(viewport->RenderContext());
    ASSERT_NE(context, nullptr);
    // A frame with the camera moved, one after which it stood (the sky kept then), and
    // one that puts the kept sky back.
    TPosition3D& rig = Form2->Dummy1->RotationAngle();
    const float y = rig.Y();
    rig.SetY(y + 1);
    viewport->MakeScreenshot();
    rig.SetY(y);
    viewport->MakeScreenshot();
    const TGLRenderContext::TStats before = context->Stats();
    turn();
    viewport->MakeScreenshot();
    EXPECT_GT(context->Stats().BackgroundKeeps, before.BackgroundKeeps);
    turn();
    const std::unique_ptr<TBitmap> kept = viewport->MakeScreenshot();
    EXPECT_LT(viewport->LastDrawnRect().Width, viewport->RenderContext()->Width()) << "not a frame drawn in part";
    EXPECT_GT(context->Stats().BackgroundRestores, before.BackgroundRestores);
    // The same frame from fresh targets, the sky drawn.
    viewport->SetMultisample(TMultisample::FourSamples);
    viewport->SetMultisample(TMultisample::None);
    const unsigned long long restores = context->Stats().BackgroundRestores;
    const std::unique_ptr<TBitmap> fresh = viewport->MakeScreenshot();
    EXPECT_EQ(context->Stats().BackgroundRestores, restores);
    EXPECT_EQ(ComparePictures(*kept, *fresh).Largest, 0);
    // Moving the camera draws the sky afresh.
    viewport->MakeScreenshot();
    viewport->MakeScreenshot();
    rig.SetY(y + 5);
    const unsigned long long restored = context->Stats().BackgroundRestores;
    viewport->MakeScreenshot();
    EXPECT_EQ(context->Stats().BackgroundRestores, restored) << "the sky was put back after the camera moved";
    rig.SetY(y);
  }
}

// The window shows only the part of itself that the scene changed, where the window
// system can: what it shows then is what a whole frame shows, the facts laid over the
// body and Saturn's ring included.
TEST_F(PartialRedraw, AWindowShowingOnlyWhatTheSceneChangedShowsWhatAWholeFrameShows) {
  TFormWindow* window = Form2->Window();
  TWindowCompositor& compositor = window->Compositor();
  int shown = 0;
  const QMetaObject::Connection counting =
      QObject::connect(window, &QOpenGLWindow::frameSwapped, window, [&] { ++shown; });
  auto afterNextFrame = [&](const std::function<void()>& AChange) {
    const int before = shown;
    AChange();
    return WaitFor([&] { return shown > before; }, 30000);
  };
  auto grab = [&] { return window->screen()->grabWindow(window->winId()).toImage(); };
  auto turn = [] { Form2->Sphere1->RotationAngle().SetY(Form2->Sphere1->RotationAngle().Y() - 7); };
  Form2->MenuItem3Click(Form2->MenuItem3);  // the facts, over the body
  for (int body : {0, 5}) {
    SCOPED_TRACE(body);
    ASSERT_TRUE(ShowBodyStill(body));
    ASSERT_TRUE(afterNextFrame([] { Form2->Invalidate(); }));
    if (!compositor.PartsOffered()) {
      QObject::disconnect(counting);
      GTEST_SKIP() << "this window system shows whole windows only";
    }
    // After a whole frame, whose swap leaves the back buffer undefined, the scene's next
    // frame is shown whole, and the one after in part.
    ASSERT_TRUE(afterNextFrame(turn));
    const unsigned long long parts = compositor.PartPresents();
    ASSERT_TRUE(afterNextFrame(turn));
    EXPECT_EQ(compositor.PartPresents(), parts + 1) << "the window system offers to show part of a window, and "
                                                      "the frame in which only the body turned was shown whole";
    const QImage partly = grab();
    // The reference: the same frame drawn and shown whole, the same way.
    compositor.ForgetKeptFrame();
    ASSERT_TRUE(afterNextFrame([&] { window->requestUpdate(); }));
    EXPECT_EQ(compositor.PartPresents(), parts + 1);
    EXPECT_TRUE(partly == grab()) << "the part shown differs from the whole frame";
  }
  QObject::disconnect(counting);
}

}  // namespace
