// Property animation on the real Qt event loop: waits that nest, and termination during
// a wait. Each test has its own runtime, so a terminated one does not outlive its test.
#include "platform/qt_platform.h"
#include "platform/qt_runtime.h"
#include "scene/animation/animator.h"
#include "scene/animation/animation.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace sphaerix {
namespace {

class LoopControl : public TSceneObject {
 public:
  explicit LoopControl(TSceneObject* AOwner) : TSceneObject(AOwner) {
    RegisterFloatProperty("Opacity", [this] { return Opacity; }, [this](float v) { Opacity = v; });
    RegisterFloatProperty("Width", [this] { return Width; }, [this](float v) { Width = v; });
  }
  bool IsControl() const override { return true; }
  float Opacity = 1;
  float Width = 0;
};

class LoopWindow : public TSceneObject {
 public:
  bool IsRoot() const override { return true; }
};

class AnimationLoopTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Runtime = std::make_unique<QtRuntime>();
    Platform_ = &Runtime->Platform();
    Body = new LoopControl(&Window);
    Body->SetParent(&Window);
    // Whatever goes wrong, no test waits forever: a late termination ends every wait,
    // and the test sees that it came from here.
    Watchdog.setSingleShot(true);
    QObject::connect(&Watchdog, &QTimer::timeout, [this] {
      WatchdogFired = true;
      Platform_->Terminate();
    });
    Watchdog.start(10000);
  }
  void TearDown() override {
    Watchdog.stop();
    delete Body;
    Runtime.reset();
  }

  std::unique_ptr<QtRuntime> Runtime;
  QtPlatform* Platform_ = nullptr;
  LoopWindow Window;
  LoopControl* Body = nullptr;
  QTimer Watchdog;
  bool WatchdogFired = false;
};

TEST_F(AnimationLoopTest, WaitRunsTheFadeToItsEndAndLeavesNoTimer) {
  AnimateFloatWait(Body, "opacity", 0, 0.2f);
  EXPECT_FALSE(WatchdogFired);
  EXPECT_EQ(Body->Opacity, 0.0f);
  EXPECT_EQ(Body->ChildrenCount(), 0);
  EXPECT_EQ(Platform_->ActiveTimerCount(), 0);
  EXPECT_EQ(Platform_->WaitDepth(), 0);
}

TEST_F(AnimationLoopTest, NestedWaitOnAnotherPropertyInsideAWait) {
  std::vector<std::string> order;
  // The outer fade is far longer than any stall of a busy machine; once the inner wait
  // has been seen through, the handler ends it at its end value.
  QTimer::singleShot(0, [&] {
    order.push_back("inner begins");
    EXPECT_EQ(Platform_->WaitDepth(), 1);
    AnimateFloatWait(Body, "Width", 100, 0.1f);
    EXPECT_EQ(Body->Width, 100.0f);
    EXPECT_GT(Body->Opacity, 0.0f);  // the outer fade is still under way
    order.push_back("inner ends");
    StopPropertyAnimation(Body, "Opacity");
  });
  AnimateFloatWait(Body, "Opacity", 0, 30.0f);
  order.push_back("outer ends");
  EXPECT_FALSE(WatchdogFired);
  EXPECT_EQ(order, (std::vector<std::string>{"inner begins", "inner ends", "outer ends"}));
  EXPECT_EQ(Body->Opacity, 0.0f);
}

TEST_F(AnimationLoopTest, NestedWaitOnTheSamePropertyEndsTheOuterWait) {
  // After the nested fade the clock has nothing left to run, so no timer would wake the
  // outer wait: it must notice on its own that its animation was stopped, whether the
  // nested handler came from a timer or from the queue of posted events.
  for (bool viaQueue : {false, true}) {
    bool nested = false;
    auto handler = [&] {
      nested = true;
      AnimateFloatWait(Body, "opacity", 0.5f, 0.1f);
    };
    QTimer::singleShot(50, [&] {
      if (viaQueue)
        Platform_->PostDeferred(handler);
      else
        handler();
    });
    Body->Opacity = 1;
    AnimateFloatWait(Body, "opacity", 0, 5.0f);
    EXPECT_TRUE(nested) << viaQueue;
    EXPECT_FALSE(WatchdogFired) << viaQueue;
    EXPECT_EQ(Body->Opacity, 0.5f) << viaQueue;
  }
}

TEST_F(AnimationLoopTest, TerminationDuringAWaitEndsItAtTheEndValue) {
  QTimer::singleShot(50, [&] { Platform_->Terminate(); });
  AnimateFloatWait(Body, "opacity", 0, 30.0f);
  EXPECT_FALSE(WatchdogFired);
  EXPECT_TRUE(Platform_->Terminated());
  EXPECT_EQ(Body->Opacity, 0.0f);
  EXPECT_EQ(Platform_->ActiveTimerCount(), 0);
  EXPECT_EQ(Platform_->CreateTimer(10, [] {}), nullptr);

  // A start after termination with an empty clock ends at once at its end value.
  AnimateFloatWait(Body, "Width", 7, 1.0f);
  EXPECT_EQ(Body->Width, 7.0f);

  // The termination did not leak into the next event loop of this process.
  QEventLoop loop;
  QTimer::singleShot(10, &loop, &QEventLoop::quit);
  EXPECT_EQ(loop.exec(), 0);
}

TEST_F(AnimationLoopTest, DeferredCallsRunFromTheLoopAndExceptionsGoToTheReport) {
  std::vector<std::string> reports;
  Platform_->SetExceptionHook(
      [&](std::exception_ptr e) { reports.push_back(QtPlatform::ExceptionMessage(e)); });
  bool ran = false;
  Platform_->PostDeferred([&] { ran = true; });
  Platform_->PostDeferred([] { throw std::runtime_error("deferred failed"); });
  EXPECT_FALSE(ran);  // never inside the caller
  Platform_->ProcessEventsUntil([&] { return !reports.empty(); });
  EXPECT_TRUE(ran);
  EXPECT_EQ(reports, std::vector<std::string>{"deferred failed"});

  // A setter that throws during a tick: reported, and the clock goes on.
  auto* failing = new LoopControl(&Window);
  failing->SetParent(&Window);
  auto* ani = new TFloatAnimation(failing);
  ani->SetParent(failing);
  ani->SetPropertyName("Width");
  ani->SetStopValue(1);
  ani->SetDuration(0.1f);
  int ticks = 0;
  ani->OnProcess = [&](TSceneObject*) {
    ++ticks;
    if (ticks == 2) throw std::runtime_error("process failed");
  };
  ani->Start();
  Platform_->ProcessEventsUntil([&] { return !ani->Running(); });
  EXPECT_FALSE(WatchdogFired);
  EXPECT_EQ(reports.back(), "process failed");
  EXPECT_EQ(failing->Width, 1.0f);
  delete failing;
}

TEST_F(AnimationLoopTest, WaitInsideAnAnimationEventStillAdvances) {
  auto* ani = new TFloatAnimation(Body);
  ani->SetParent(Body);
  ani->SetPropertyName("Width");
  ani->SetStopValue(5);
  ani->SetDuration(0.05f);
  // The clock's own tick raises OnFinish; the wait inside it needs further ticks.
  bool inner = false;
  ani->OnFinish = [&](TSceneObject*) {
    AnimateFloatWait(Body, "Opacity", 0, 0.1f);
    inner = true;
  };
  ani->Start();
  Platform_->ProcessEventsUntil([&] { return inner; });
  EXPECT_FALSE(WatchdogFired);
  EXPECT_EQ(Body->Opacity, 0.0f);
}

TEST_F(AnimationLoopTest, AnimateFloatIsDisposedFromTheLoop) {
  AnimateFloat(Body, "Width", 10, 0.05f);
  ASSERT_EQ(Body->ChildrenCount(), 1);
  Platform_->ProcessEventsUntil([&] { return Body->ChildrenCount() == 0; });
  EXPECT_FALSE(WatchdogFired);
  EXPECT_EQ(Body->Width, 10.0f);
}

}  // namespace
}  // namespace sphaerix
