// Zoom and double-tap recognition from raw touch reports, gesture delivery up the control
// tree, and the gesture manager's sensitivity range.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>
#include <vector>

#include "scene/input/gesture_manager.h"
#include "scene/runtime/platform_services.h"
#include "scene/input/window_input.h"
#include "tests/support/platform_fakes.h"
#include "tests/support/window_fakes.h"

namespace sphaerix {
namespace {

struct Received {
  std::string Sender;
  TGestureEventInfo Info;
};

// A viewport with Zoom and DoubleTap enabled; inside it a hit-testable child that enables
// nothing, so touches on the child reach the viewport's gestures through the parent chain.
class TouchTest : public ::testing::Test {
 protected:
  TouchTest() {
    Viewport.SetName("Viewport3D1");
    Viewport.SetParent(&Window);
    Viewport.SetBounds(0, 0, 800, 600);
    Viewport.Touch().InteractiveGestures = {TInteractiveGesture::Zoom, TInteractiveGesture::DoubleTap};
    Child.SetName("Child");
    Child.SetParent(&Viewport);
    Child.SetBounds(300, 0, 400, 600);
    Viewport.OnGesture = [this](TSceneObject* s, const TGestureEventInfo& info, bool& handled) {
      Gestures.push_back({s->Name(), info});
      handled = true;
    };
  }

  void Report(std::vector<TTouchPoint> APoints) { Input.TouchReport(APoints); }
  static TTouchPoint P(int id, float x, float y, TTouchAction a = TTouchAction::Move) { return {id, {x, y}, a}; }

  // Two fingers around (500, 300) starting 100 apart, widened by AStep per report, AReports times.
  void Pinch(float AStep, int AReports) {
    float half = 50;
    Report({P(1, 500 - half, 300, TTouchAction::Down)});
    Report({P(1, 500 - half, 300), P(2, 500 + half, 300, TTouchAction::Down)});
    for (int i = 0; i < AReports; ++i) {
      half += AStep / 2;
      Report({P(1, 500 - half, 300), P(2, 500 + half, 300)});
    }
    LastHalf = half;
  }

  void Tap(int id, float x, float y, int downMs) {
    Report({P(id, x, y, TTouchAction::Down)});
    Platform.Pass(downMs);
    Report({P(id, x, y, TTouchAction::Up)});
  }

  testing::FakePlatform Platform;
  testing::FakeWindow Window;
  TWindowInput& Input = Window.Input;
  TControl Viewport{nullptr}, Child{nullptr};
  std::vector<Received> Gestures;
  float LastHalf = 0;
};

TEST_F(TouchTest, SlowPinchRaisesNoZoom) {
  Pinch(1, 30);  // 30 pixels in all, 1 per report
  EXPECT_TRUE(Gestures.empty());
  EXPECT_FALSE(Input.TouchRecognizer().ZoomInProgress());
}

TEST_F(TouchTest, PinchRaisesGrowingDistancesBeginFirstAndEndWhenAFingerLifts) {
  Pinch(3, 4);
  Report({P(1, 500 - LastHalf, 300), P(2, 500 + LastHalf, 300, TTouchAction::Up)});
  ASSERT_EQ(Gestures.size(), 5u);
  const std::int32_t distances[] = {103, 106, 109, 112, 112};
  const std::uint8_t flags[] = {gfBegin, 0, 0, 0, gfEnd};
  for (size_t i = 0; i < 5; ++i) {
    EXPECT_EQ(Gestures[i].Sender, "Viewport3D1");  // touched down on Child, which enables nothing
    EXPECT_EQ(Gestures[i].Info.GestureID, igiZoom);
    EXPECT_EQ(Gestures[i].Info.Distance, distances[i]) << i;
    EXPECT_EQ(Gestures[i].Info.Flags, flags[i]) << i;
    EXPECT_FLOAT_EQ(Gestures[i].Info.Location.X, 500);
    EXPECT_FLOAT_EQ(Gestures[i].Info.Location.Y, 300);
  }
  EXPECT_FALSE(Input.TouchRecognizer().ZoomInProgress());
  EXPECT_EQ(Input.TouchRecognizer().Target(), nullptr);
  // The remaining finger lifting changes nothing more.
  Report({P(1, 500 - LastHalf, 300, TTouchAction::Up)});
  EXPECT_EQ(Gestures.size(), 5u);
}

TEST_F(TouchTest, ThirdFingerEndsTheZoom) {
  Pinch(-4, 2);  // pinching in: distances 96, 92
  Report({P(1, 500 - LastHalf, 300), P(2, 500 + LastHalf, 300), P(3, 10, 10, TTouchAction::Down)});
  ASSERT_EQ(Gestures.size(), 3u);
  EXPECT_EQ(Gestures[0].Info.Distance, 96);
  EXPECT_EQ(Gestures[1].Info.Distance, 92);
  EXPECT_EQ(Gestures[2].Info.Flags, gfEnd);
}

TEST_F(TouchTest, ZoomNeedsAControlThatEnablesIt) {
  Viewport.Touch().InteractiveGestures = {TInteractiveGesture::DoubleTap};
  Pinch(5, 3);
  EXPECT_TRUE(Gestures.empty());
  EXPECT_FALSE(Input.TouchRecognizer().ZoomInProgress());
}

TEST_F(TouchTest, UnhandledOrFailingGestureGoesOnToTheParent) {
  std::vector<std::string> order;
  Child.Touch().InteractiveGestures = {TInteractiveGesture::Zoom};
  Child.OnGesture = [&](TSceneObject*, const TGestureEventInfo&, bool& handled) {
    order.push_back("Child");
    handled = true;
    throw std::runtime_error("handler failed");
  };
  Viewport.OnGesture = [&](TSceneObject*, const TGestureEventInfo&, bool&) { order.push_back("Viewport3D1"); };
  Pinch(3, 1);
  EXPECT_EQ(order, (std::vector<std::string>{"Child", "Viewport3D1"}));
  EXPECT_EQ(Platform.Errors, (std::vector<std::string>{"handler failed"}));
  EXPECT_EQ(Input.TouchRecognizer().Target(), &Child);
}

TEST_F(TouchTest, DoubleTapWithin300Ms) {
  Tap(1, 100, 100, 50);
  Platform.Pass(100);
  Tap(2, 102, 101, 50);  // ends at 200 ms
  ASSERT_EQ(Gestures.size(), 1u);
  EXPECT_EQ(Gestures[0].Info.GestureID, igiDoubleTap);
  EXPECT_EQ(Gestures[0].Info.Flags, gfBegin);
  EXPECT_FLOAT_EQ(Gestures[0].Info.Location.X, 102);
  EXPECT_EQ(Input.TouchRecognizer().HandledDoubleTaps(), 1u);
  EXPECT_FALSE(Input.TouchRecognizer().DoubleTapTimerRunning());
  Platform.Pass(400);
  EXPECT_TRUE(Platform.Timers.empty());
}

TEST_F(TouchTest, DoubleTapFailsWhenTheSecondTapEndsLateMovesOrTwoFingersTouch) {
  Tap(1, 100, 100, 50);
  Platform.Pass(200);
  Tap(2, 100, 100, 60);  // ends at 310 ms: the timer fired at 300
  Platform.Pass(500);
  // Moving more than 10 / scale between two reports cancels.
  Window.Scale = 2;
  Tap(3, 100, 100, 20);
  Report({P(4, 100, 100, TTouchAction::Down)});
  Report({P(4, 106, 100)});
  Report({P(4, 106, 100, TTouchAction::Up)});
  Platform.Pass(500);
  // A second finger cancels.
  Tap(5, 100, 100, 20);
  Report({P(6, 100, 100, TTouchAction::Down)});
  Report({P(6, 100, 100), P(7, 200, 100, TTouchAction::Down)});
  Report({P(6, 100, 100, TTouchAction::Up), P(7, 200, 100)});
  Report({P(7, 200, 100, TTouchAction::Up)});
  EXPECT_TRUE(Gestures.empty());
  // Small movement within the limit is still a tap.
  Platform.Pass(500);
  Tap(8, 100, 100, 20);
  Report({P(9, 100, 100, TTouchAction::Down)});
  Report({P(9, 104, 100)});
  Report({P(9, 104, 100, TTouchAction::Up)});
  EXPECT_EQ(Gestures.size(), 1u);
}

TEST_F(TouchTest, RecogniserOutlivesNoTimerAndForgetsDestroyedControls) {
  auto* overlay = new TControl(nullptr);
  overlay->SetParent(&Viewport);
  overlay->SetBounds(0, 0, 800, 600);
  Report({P(1, 100, 100, TTouchAction::Down)});
  EXPECT_EQ(Input.TouchRecognizer().TouchDownControl(), overlay);
  delete overlay;
  EXPECT_EQ(Input.TouchRecognizer().TouchDownControl(), nullptr);
  Report({P(1, 100, 100, TTouchAction::Up)});
}

TEST(GestureManager, SensitivityRange) {
  TGestureManager manager(nullptr);
  EXPECT_EQ(manager.Sensitivity(), 80);
  EXPECT_EQ(manager.ErrorMarginWidening(), 4);
  struct Case { float Value; bool Accepted; float Stored; };
  const Case cases[] = {{1, true, 1},      {100, true, 100},     {0.5f, false, 0}, {0.6f, true, 1},
                        {100.4f, true, 100}, {100.5f, true, 100}, {100.6f, false, 0}, {0, false, 0},
                        {-3, false, 0},    {55.5f, true, 56},   {std::nanf(""), false, 0}};
  for (const Case& c : cases) {
    manager.SetSensitivity(42);
    if (c.Accepted) {
      manager.SetSensitivity(c.Value);
      EXPECT_EQ(manager.Sensitivity(), c.Stored) << c.Value;
    } else {
      try {
        manager.SetSensitivity(c.Value);
        ADD_FAILURE() << c.Value << " accepted";
      } catch (const EGestureError& e) {
        EXPECT_STREQ(e.what(), "Value must be between 1 and 100");
      }
      EXPECT_EQ(manager.Sensitivity(), 42) << c.Value;
    }
  }
  manager.SetSensitivity(1);
  EXPECT_EQ(manager.EffectiveErrorMargin(20), 100);  // 20 + 98, capped
}

}  // namespace
}  // namespace sphaerix
