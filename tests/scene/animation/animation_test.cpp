// Property animation against a fake platform whose clock moves only when told, so nested
// waits run deterministically.
#include "scene/animation/animator.h"
#include "scene/animation/clock.h"
#include "scene/animation/animation.h"

#include <gtest/gtest.h>

#include "scene/input/control.h"
#include "tests/support/platform_fakes.h"
#include "tests/support/window_fakes.h"

#include <cmath>
#include <deque>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace sphaerix {
namespace {

// X, Y, Z floats; as an angle triple it reads back reduced into [0, 360) like a node's
// RotationAngle.
class FakeVector : public TSceneObject {
 public:
  explicit FakeVector(TSceneObject* AOwner, bool AReduce) : TSceneObject(AOwner), FReduce(AReduce) {
    RegisterFloatProperty("X", [this] { return V[0]; }, [this](float v) { Set(0, v); });
    RegisterFloatProperty("Y", [this] { return V[1]; }, [this](float v) { Set(1, v); });
    RegisterFloatProperty("Z", [this] { return V[2]; }, [this](float v) { Set(2, v); });
  }
  float V[3] = {0, 0, 0};

 private:
  void Set(int i, float v) {
    if (FReduce) {
      double r = v - std::trunc(v / 360.0) * 360.0;
      if (r < 0) r += 360;
      v = static_cast<float>(r);
    }
    V[i] = v;
  }
  bool FReduce;
};

class FakeControl : public TSceneObject {
 public:
  explicit FakeControl(TSceneObject* AOwner = nullptr) : TSceneObject(AOwner) {
    Position = new FakeVector(this, false);
    RotationAngle = new FakeVector(this, true);
    RegisterObjectProperty("Position", [this] { return Position; });
    RegisterObjectProperty("RotationAngle", [this] { return RotationAngle; });
    RegisterFloatProperty("Opacity", [this] { return Opacity; }, [this](float v) {
      if (ThrowOnWrite) throw std::runtime_error("setter failed");
      Opacity = v;
      Writes.push_back(v);
    });
  }
  bool IsControl() const override { return true; }
  bool Visible() const override { return Shown; }

  FakeVector* Position;
  FakeVector* RotationAngle;
  float Opacity = 1;
  bool Shown = true;
  bool ThrowOnWrite = false;
  std::vector<float> Writes;
};

// An object that says it is a window's root.
class WindowRoot : public TSceneObject {
 public:
  bool IsRoot() const override { return true; }
};

class AnimationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Body = new FakeControl(&Window);
    Body->SetName("Body");
    Body->SetParent(&Window);
  }
  void TearDown() override {
    P.Drain();
    delete Body;
  }

  // A TFloatAnimation child of Body, counting its events.
  TFloatAnimation* MakeAni(const std::string& APath, float AStart, float AStop, float ADuration) {
    auto* a = new TFloatAnimation(Body);
    a->SetParent(Body);
    a->SetPropertyName(APath);
    a->SetStartValue(AStart);
    a->SetStopValue(AStop);
    a->SetDuration(ADuration);
    a->OnFinish = [this](TSceneObject*) { ++Finishes; };
    a->OnProcess = [this](TSceneObject*) { ++Processes; };
    return a;
  }

  testing::FakePlatform P;
  WindowRoot Window;
  FakeControl* Body = nullptr;
  int Finishes = 0;
  int Processes = 0;
};

TEST_F(AnimationTest, PathsResolveIgnoringCase) {
  auto* child = new FakeControl(Body);
  child->SetName("Ring");
  child->SetParent(Body);
  struct Case {
    const char* Path;
    TSceneObject* Object;
    const char* Final;
  } cases[] = {
      {"RotationAngle.Y", Body->RotationAngle, "Y"},
      {"position.z", Body->Position, "z"},
      {"opacity", Body, "opacity"},
      {"ring.Opacity", child, "Opacity"},  // a child found by its name
      {"Position", Body, "Position"},       // an object: resolves, writes nothing
  };
  for (const Case& c : cases) {
    TFloatAnimation* a = MakeAni(c.Path, 0, 5, 1);
    a->Start();
    EXPECT_TRUE(a->Running()) << c.Path;
    EXPECT_EQ(a->ResolvedObject(), c.Object) << c.Path;
    EXPECT_EQ(a->ResolvedPath(), c.Final) << c.Path;
    delete a;
  }
  for (const char* bad : {"Opacityx", "Nothing.X", "Position.W", ""}) {
    TFloatAnimation* a = MakeAni(bad, 0, 5, 1);
    a->Start();
    EXPECT_FALSE(a->Running()) << bad;
    EXPECT_FALSE(a->Enabled()) << bad;
    delete a;
  }
  EXPECT_EQ(Body->Writes.size(), 1u);  // "opacity"; the object property takes no value
  EXPECT_EQ(child->Writes.size(), 1u);
}

TEST_F(AnimationTest, TargetIsForgottenOnRenameParentChangeAndStopButNotStopAtCurrent) {
  TFloatAnimation* a = MakeAni("Opacity", 0, 1, 1);
  a->Start();
  a->StopAtCurrent();
  EXPECT_EQ(a->ResolvedObject(), Body);
  a->SetPropertyName("OPACITY");  // same name but for case
  EXPECT_EQ(a->ResolvedObject(), Body);
  a->SetPropertyName("Position.X");
  EXPECT_EQ(a->ResolvedObject(), nullptr);
  a->Start();
  EXPECT_EQ(a->ResolvedObject(), Body->Position);
  a->Stop();
  EXPECT_EQ(a->ResolvedObject(), nullptr);
  a->Start();
  auto* other = new FakeControl(&Window);
  other->SetParent(&Window);
  a->SetParent(other);
  EXPECT_EQ(a->ResolvedObject(), nullptr);
  delete a;
  delete other;
}

TEST_F(AnimationTest, FirstValueIsWrittenInsideStartAndTheRunIsLinear) {
  Body->Opacity = 0.25f;
  TFloatAnimation* a = MakeAni("Opacity", 0, 1, 0.5f);
  a->SetStartFromCurrent(true);
  a->Start();
  EXPECT_TRUE(a->Enabled());
  ASSERT_EQ(Body->Writes.size(), 1u);
  EXPECT_FLOAT_EQ(Body->Writes[0], 0.25f);
  EXPECT_FLOAT_EQ(a->StartValue(), 0.25f);
  P.Advance(0.1);
  EXPECT_NEAR(Body->Opacity, 0.25f + 0.75f * 0.2f, 1e-5);
  P.Advance(0.4);
  EXPECT_FALSE(a->Running());
  EXPECT_EQ(Body->Opacity, 1.0f);
  EXPECT_EQ(Finishes, 1);
  EXPECT_TRUE(a->Enabled());  // a natural end leaves Enabled as it was
}

TEST_F(AnimationTest, ForwardLoopReachingDurationShowsStartValue) {
  TFloatAnimation* a = MakeAni("RotationAngle.Y", 0, -360, 120);
  a->SetLoop(true);
  a->Start();
  a->ProcessTick(0, 119.99f);
  EXPECT_NEAR(a->CurrentTime(), 119.99f, 1e-4);
  a->ProcessTick(0, 0.05f);
  EXPECT_EQ(a->CurrentTime(), 0.0f);
  EXPECT_EQ(Body->RotationAngle->V[1], 0.0f);
  EXPECT_TRUE(a->Running());
  EXPECT_EQ(Finishes, 0);
}

TEST_F(AnimationTest, StallAdvancesByTheWholeGapAndWrapsOnce) {
  TFloatAnimation* a = MakeAni("Position.X", 0, 10, 2);
  a->SetLoop(true);
  a->Start();
  P.Advance(0.5);
  EXPECT_FLOAT_EQ(Body->Position->V[0], 2.5f);
  P.Advance(5.0);  // the event loop stalled
  EXPECT_EQ(a->CurrentTime(), 0.0f);
  EXPECT_EQ(Body->Position->V[0], 0.0f);
  P.Advance(0.5);
  EXPECT_FLOAT_EQ(Body->Position->V[0], 2.5f);
}

TEST_F(AnimationTest, StopAndStopAtCurrent) {
  struct Case {
    bool AtCurrent;
    float Value;
    bool Enabled;
  } cases[] = {{false, 8.0f, true}, {true, 4.0f, false}};
  for (const Case& c : cases) {
    Finishes = 0;
    TFloatAnimation* a = MakeAni("Position.Y", 0, 8, 2);
    a->Start();
    P.Advance(1.0);
    ASSERT_FLOAT_EQ(Body->Position->V[1], 4.0f);
    c.AtCurrent ? a->StopAtCurrent() : a->Stop();
    EXPECT_FALSE(a->Running());
    EXPECT_EQ(Body->Position->V[1], c.Value) << c.AtCurrent;
    EXPECT_EQ(a->Enabled(), c.Enabled) << c.AtCurrent;
    EXPECT_EQ(Finishes, 1) << c.AtCurrent;
    EXPECT_FALSE(TAniThread::Instance()->Contains(a));
    // On an idle animation both do nothing.
    Body->Position->V[1] = -1;
    a->Stop();
    a->StopAtCurrent();
    EXPECT_EQ(Body->Position->V[1], -1.0f);
    EXPECT_EQ(Finishes, 1);
    delete a;
  }
}

TEST_F(AnimationTest, StartOnRunningAnimationRestartsFromCurrentValue) {
  TFloatAnimation* first = MakeAni("Position.X", 0, 1, 10);
  TFloatAnimation* a = MakeAni("Position.Z", 0, 10, 2);
  a->SetStartFromCurrent(true);
  first->Start();
  a->Start();
  P.Advance(1.0);
  ASSERT_FLOAT_EQ(Body->Position->V[2], 5.0f);
  a->Start();
  EXPECT_EQ(a->CurrentTime(), 0.0f);
  EXPECT_FLOAT_EQ(a->StartValue(), 5.0f);
  EXPECT_EQ(TAniThread::Instance()->Animations(), (std::vector<TAnimation*>{first, a}));
  P.Advance(1.0);
  EXPECT_FLOAT_EQ(Body->Position->V[2], 7.5f);
}

TEST_F(AnimationTest, EnabledWrites) {
  TFloatAnimation* a = MakeAni("Position.X", 0, 10, 1);
  a->Start();
  P.Advance(1.0);  // natural end: idle, Enabled still true
  ASSERT_FALSE(a->Running());
  ASSERT_TRUE(a->Enabled());
  Body->Position->V[0] = 3;
  a->SetEnabled(true);
  EXPECT_FALSE(a->Running());
  EXPECT_EQ(Body->Position->V[0], 3.0f);
  a->SetEnabled(false);
  a->SetEnabled(true);
  EXPECT_TRUE(a->Running());
  EXPECT_EQ(Body->Position->V[0], 0.0f);
  // While loading, Enabled is only stored; Loaded starts it.
  TFloatAnimation* b = MakeAni("Position.Y", 0, 10, 1);
  b->BeginLoading();
  b->SetEnabled(true);
  EXPECT_FALSE(b->Running());
  b->Loaded();
  EXPECT_TRUE(b->Running());
}

TEST_F(AnimationTest, HiddenParentAtStartAndDuringRun) {
  TFloatAnimation* a = MakeAni("Opacity", 0.5f, 0, 1);
  Body->Shown = false;
  a->Start();
  EXPECT_FALSE(a->Running());
  EXPECT_FALSE(a->Enabled());
  EXPECT_TRUE(Body->Writes.empty());
  Body->Shown = true;
  a->Start();
  P.Advance(0.5);
  ASSERT_FLOAT_EQ(Body->Opacity, 0.25f);
  Body->Shown = false;
  P.Advance(0.01);
  EXPECT_FALSE(a->Running());
  EXPECT_EQ(Body->Opacity, 0.0f);  // stopped at its end value
  EXPECT_EQ(Finishes, 1);
  EXPECT_EQ(TAniThread::Instance()->TimerEnabled(), false);
}

TEST_F(AnimationTest, ImmediateCaseForZeroDurationAndOutsideAWindow) {
  TFloatAnimation* a = MakeAni("Opacity", 0.3f, 0.7f, 0);
  a->Start();
  EXPECT_EQ(Body->Opacity, 0.7f);
  EXPECT_FALSE(a->Running());
  EXPECT_EQ(a->Duration(), 0.0f);
  EXPECT_EQ(Processes, 1);
  EXPECT_EQ(Finishes, 1);
  EXPECT_EQ(TAniThread::Instance(), nullptr);  // never joined a clock
  a->SetInverse(true);
  a->Start();
  EXPECT_EQ(Body->Opacity, 0.3f);

  FakeControl loose;  // not below a window
  auto* b = new TFloatAnimation();
  b->SetParent(&loose);
  b->SetPropertyName("Opacity");
  b->SetStopValue(0.125f);
  b->SetDuration(3);
  b->Start();
  EXPECT_EQ(loose.Opacity, 0.125f);
  EXPECT_FALSE(b->Running());

  testing::FakeWindow form;  // below a form (a control root) it runs on the clock
  loose.SetParent(&form);
  b->Start();
  EXPECT_TRUE(b->Running());
  delete b;
}

TEST_F(AnimationTest, DelayTakesStartValueWhenItEndsAndStopDuringDelayEndsAtStopValue) {
  TFloatAnimation* a = MakeAni("Position.X", 0, 10, 1);
  a->SetDelay(0.5f);
  a->SetStartFromCurrent(true);
  Body->Position->V[0] = 2;
  a->Start();
  EXPECT_TRUE(a->Running());
  EXPECT_EQ(Processes, 0);  // nothing written inside Start
  Body->Position->V[0] = 4;
  P.Advance(0.3);
  EXPECT_EQ(Processes, 0);
  P.Advance(0.3);  // ends the delay: start value read now, run not advanced
  EXPECT_EQ(a->StartValue(), 4.0f);
  EXPECT_EQ(a->CurrentTime(), 0.0f);
  EXPECT_EQ(Body->Position->V[0], 4.0f);
  P.Advance(0.5);
  EXPECT_FLOAT_EQ(Body->Position->V[0], 7.0f);

  a->Start();  // delaying again
  a->Stop();
  EXPECT_EQ(Body->Position->V[0], 10.0f);
}

TEST_F(AnimationTest, AutoReverseRunsThereAndBackOnce) {
  TFloatAnimation* a = MakeAni("Position.X", 0, 10, 1);
  a->SetAutoReverse(true);
  a->Start();
  P.Advance(1.0);
  EXPECT_EQ(Body->Position->V[0], 10.0f);
  EXPECT_TRUE(a->Inverse());
  EXPECT_TRUE(a->Running());
  P.Advance(0.25);
  EXPECT_FLOAT_EQ(Body->Position->V[0], 7.5f);
  P.Advance(0.75);
  EXPECT_EQ(Body->Position->V[0], 0.0f);
  EXPECT_FALSE(a->Running());
  EXPECT_FALSE(a->Inverse());  // restored
  EXPECT_EQ(Finishes, 1);
}

TEST_F(AnimationTest, SpinResumedFromStoredAngle) {
  TFloatAnimation* spin = MakeAni("RotationAngle.Y", 0, -360, 120);
  spin->SetLoop(true);
  spin->SetStartFromCurrent(true);
  spin->Start();
  P.Advance(10);  // 30 degrees turned: reads back as 330
  spin->StopAtCurrent();
  const float s = Body->RotationAngle->V[1];
  ASSERT_NEAR(s, 330.0f, 1e-3);
  spin->Start();
  EXPECT_EQ(spin->StartValue(), s);
  P.Advance(60);  // half a run: s + (-360 - s) / 2 = -15, read back as 345
  EXPECT_NEAR(Body->RotationAngle->V[1], 345.0f, 1e-3);
  P.Advance(60);  // the wrap shows the start value again
  EXPECT_NEAR(Body->RotationAngle->V[1], s, 1e-3);
  EXPECT_EQ(spin->StartValue(), s);  // a new run does not read the property again
}

TEST_F(AnimationTest, ClockTimerRunsOnlyWhileAnimationsRunAndVisitsLastAddedFirst) {
  TFloatAnimation* early = MakeAni("Position.X", 0, 10, 1);
  TFloatAnimation* late = MakeAni("Position.X", 100, 200, 1);
  EXPECT_TRUE(P.Timers.empty());
  early->Start();
  ASSERT_EQ(P.Timers.size(), 1u);
  EXPECT_EQ(P.Timers[0]->IntervalMs, 10);
  late->Start();
  EXPECT_EQ(P.TimersCreated, 1);
  P.Advance(0.5);
  EXPECT_FLOAT_EQ(Body->Position->V[0], 5.0f);  // the earlier-added one writes last
  late->Stop();
  EXPECT_EQ(P.Timers.size(), 1u);
  early->StopAtCurrent();
  EXPECT_TRUE(P.Timers.empty());  // an idle clock has no timer at all
  // A tick with no time passed does nothing.
  early->Start();
  P.Advance(0);
  EXPECT_EQ(early->CurrentTime(), 0.0f);
  // The period follows the frame-rate setting from the next tick on: 10 x trunc(100 / rate).
  for (auto [rate, period] : {std::pair{20, 50}, std::pair{150, 1}, std::pair{2, 200}}) {
    P.Runtime.SetAniFrameRate(rate);
    P.Advance(0.01);
    ASSERT_EQ(P.Timers.size(), 1u);
    EXPECT_EQ(P.Timers[0]->IntervalMs, period) << rate;
  }
}

TEST_F(AnimationTest, AnimationThatEndsInATickWhileTheListShrinks) {
  // The last-added ends on this tick and leaves; the visit moves on to the earlier ones.
  TFloatAnimation* a = MakeAni("Position.X", 0, 10, 1);
  TFloatAnimation* b = MakeAni("Position.Y", 0, 10, 1);
  TFloatAnimation* c = MakeAni("Position.Z", 0, 10, 0.1f);
  a->Start();
  b->Start();
  c->Start();
  b->OnProcess = [&](TSceneObject*) { a->StopAtCurrent(); };  // a handler shrinks the list
  P.Advance(0.2);
  EXPECT_FALSE(c->Running());
  EXPECT_FALSE(a->Running());
  EXPECT_FLOAT_EQ(Body->Position->V[1], 2.0f);  // advanced once, not again after the shrink
  EXPECT_EQ(Body->Position->V[0], 0.0f);        // stopped before it was visited
}

TEST_F(AnimationTest, ExceptionInTickIsReportedAndLeavesTheRestUnvisited) {
  TFloatAnimation* a = MakeAni("Position.X", 0, 10, 1);
  TFloatAnimation* b = MakeAni("Opacity", 0, 1, 1);
  TFloatAnimation* c = MakeAni("Position.Z", 0, 10, 1);
  a->Start();
  b->Start();
  c->Start();
  Body->ThrowOnWrite = true;
  P.Advance(0.1);
  ASSERT_EQ(P.Errors, std::vector<std::string>{"setter failed"});
  EXPECT_FLOAT_EQ(Body->Position->V[2], 1.0f);  // visited before the failure
  EXPECT_EQ(Body->Position->V[0], 0.0f);        // not visited
  Body->ThrowOnWrite = false;
  P.Advance(0.1);
  EXPECT_FLOAT_EQ(Body->Position->V[2], 2.0f);
  EXPECT_FLOAT_EQ(Body->Position->V[0], 1.0f);

  // A handler that throws on the last tick of a run: the run still leaves the clock.
  c->OnFinish = [](TSceneObject*) { throw std::runtime_error("finish failed"); };
  b->StopAtCurrent();
  a->StopAtCurrent();
  P.Advance(1.0);
  EXPECT_EQ(P.Errors.back(), "finish failed");
  EXPECT_FALSE(c->Running());
  EXPECT_TRUE(P.Timers.empty());
}

TEST_F(AnimationTest, DestroyingARunningAnimationLeavesSilently) {
  TFloatAnimation* a = MakeAni("Position.X", 0, 10, 1);
  a->Start();
  P.Advance(0.5);
  delete a;
  EXPECT_FLOAT_EQ(Body->Position->V[0], 5.0f);
  EXPECT_EQ(Finishes, 0);
  EXPECT_TRUE(P.Timers.empty());
}

TEST_F(AnimationTest, AnimateFloatRunsFromCurrentValueAndIsDisposedLater) {
  Body->Position->V[2] = -38;
  AnimateFloat(Body, "position.z", -15, 3.0f);
  ASSERT_EQ(Body->ChildrenCount(), 1);
  P.Advance(1.5);
  EXPECT_FLOAT_EQ(Body->Position->V[2], -38 + 23 * 1.5f / 3);
  Body->Position->V[2] = -20;  // a zoom step during the fly-in is overwritten
  P.Advance(1.5);
  EXPECT_EQ(Body->Position->V[2], -15.0f);
  EXPECT_EQ(Body->ChildrenCount(), 1);  // finished, not yet freed
  EXPECT_EQ(P.Deferred.size(), 1u);
  P.Drain();
  EXPECT_EQ(Body->ChildrenCount(), 0);

  // Duration 0: the jump happens at once; disposal still goes through the queue.
  AnimateFloat(Body, "Opacity", 0.5f, 0);
  EXPECT_EQ(Body->Opacity, 0.5f);
  EXPECT_EQ(Body->ChildrenCount(), 1);
  P.Drain();
  EXPECT_EQ(Body->ChildrenCount(), 0);
  // A path that does not resolve leaves nothing behind.
  AnimateFloat(Body, "Nothing", 1, 1);
  EXPECT_EQ(Body->ChildrenCount(), 0);
}

// The camera's fly-in when the window closes during it: the animation goes with the
// object it animates, leaves the clock and leaks nothing.
TEST_F(AnimationTest, AnimateFloatAnimationGoesWithItsTargetWhenThatIsDestroyedFirst) {
  auto* camera = new FakeControl(Body);
  camera->SetParent(Body);
  AnimateFloat(camera, "position.z", -15, 3.0f);
  ASSERT_EQ(camera->ChildrenCount(), 1);
  TSceneObject* flyIn = camera->Children().front();
  P.Advance(1.0);
  ASSERT_TRUE(TAniThread::Instance()->Contains(static_cast<TAnimation*>(flyIn)));
  delete camera;
  EXPECT_TRUE(TAniThread::Instance()->Animations().empty());
  EXPECT_TRUE(P.Timers.empty());
  EXPECT_EQ(Finishes, 0);
  // Finished and queued for disposal, then destroyed with its target before the queue
  // runs: the queued disposal finds nothing to do.
  camera = new FakeControl(Body);
  camera->SetParent(Body);
  AnimateFloat(camera, "Opacity", 0, 0);
  EXPECT_EQ(TAnimationDestroyer::Instance().PendingCount(), 1);
  delete camera;
  EXPECT_EQ(TAnimationDestroyer::Instance().PendingCount(), 0);
  P.Drain();
}

// A handler may destroy the animation that raised it; what raised it must not touch the
// animation afterwards (the sanitizers watch this test).
TEST_F(AnimationTest, AHandlerThatDestroysItsAnimationIsSafe) {
  using testing::FakePlatform;
  struct Case {
    const char* Name;
    float Duration;
    bool DeleteOnProcess;  // else on finish
    std::function<void(TFloatAnimation*, FakePlatform&, FakeControl*)> Run;
  };
  const std::vector<Case> cases = {
      {"Stop", 1, false, [](TFloatAnimation* a, FakePlatform& p, FakeControl*) { p.Advance(0.3); a->Stop(); }},
      {"StopAtCurrent", 1, false,
       [](TFloatAnimation* a, FakePlatform& p, FakeControl*) { p.Advance(0.3); a->StopAtCurrent(); }},
      {"natural end", 1, false, [](TFloatAnimation*, FakePlatform& p, FakeControl*) { p.Advance(1.5); }},
      {"hidden parent", 1, false,
       [](TFloatAnimation*, FakePlatform& p, FakeControl* body) {
         body->Shown = false;
         p.Advance(0.1);
         body->Shown = true;
       }},
      {"zero duration", 0, false, [](TFloatAnimation*, FakePlatform&, FakeControl*) {}},
      {"process in a tick", 1, true, [](TFloatAnimation*, FakePlatform& p, FakeControl*) { p.Advance(0.3); }},
      {"process in Stop", 1, true, [](TFloatAnimation* a, FakePlatform& p, FakeControl*) { a->Stop(); }},
  };
  for (const Case& c : cases) {
    TFloatAnimation* a = MakeAni("Opacity", 1, 0, c.Duration);
    bool started = false, deleted = false;
    auto destroy = [&](TSceneObject* s) {
      if (!started || deleted) return;
      deleted = true;
      delete s;
    };
    if (c.DeleteOnProcess)
      a->OnProcess = destroy;
    else
      a->OnFinish = destroy;
    if (c.Duration == 0) started = true;
    a->Start();
    started = true;
    if (!deleted) c.Run(a, P, Body);
    EXPECT_TRUE(deleted) << c.Name;
    EXPECT_EQ(Body->ChildrenCount(), 0) << c.Name;
    EXPECT_TRUE(TAniThread::Instance() == nullptr || TAniThread::Instance()->Animations().empty()) << c.Name;
    P.Advance(0.1);  // the clock has nothing left to visit
  }
  // A process handler that destroys the animation inside Start.
  TFloatAnimation* a = MakeAni("Opacity", 1, 0, 1);
  a->OnProcess = [](TSceneObject* s) { delete s; };
  a->Start();
  EXPECT_EQ(Body->ChildrenCount(), 0);
  EXPECT_TRUE(TAniThread::Instance() == nullptr || TAniThread::Instance()->Animations().empty());
}

TEST_F(AnimationTest, StopPropertyAnimationStopsMatchingChildrenAtTheirEnd) {
  TFloatAnimation* a = MakeAni("Opacity", 1, 0, 1);
  TFloatAnimation* other = MakeAni("Position.X", 0, 10, 1);
  a->Start();
  other->Start();
  P.Advance(0.5);
  Body->StopPropertyAnimation("OPACITY");
  EXPECT_FALSE(a->Running());
  EXPECT_EQ(Body->Opacity, 0.0f);
  EXPECT_TRUE(other->Running());
}

TEST_F(AnimationTest, WaitTowardTheCurrentValueLastsTheWholeDuration) {
  Body->Opacity = 1;
  const double t0 = P.Now;
  Body->AnimateFloatWait("opacity", 1, 0.5f, TAnimationType::In, TInterpolationType::Linear);
  EXPECT_GE(P.Now - t0, 0.5 - 1e-9);
  EXPECT_LT(P.Now - t0, 0.52);
  EXPECT_EQ(Body->Opacity, 1.0f);
  EXPECT_EQ(Body->ChildrenCount(), 0);  // the awaited animation is freed
  EXPECT_TRUE(P.Timers.empty());
}

TEST_F(AnimationTest, ZeroDurationWaitReturnsAtOnce) {
  const double t0 = P.Now;
  AnimateFloatWait(Body, "Opacity", 0.25f, 0);
  EXPECT_EQ(P.Now, t0);
  EXPECT_EQ(Body->Opacity, 0.25f);
  EXPECT_EQ(Body->ChildrenCount(), 0);
}

TEST_F(AnimationTest, NestedWaitOnTheSamePropertyEndsTheOuterWaitRightAfter) {
  Body->Opacity = 1;
  const double t0 = P.Now;
  double innerStart = 0, innerEnd = 0, outerEnd = 0;
  bool nested = false;
  P.OnRound = [&] {
    if (nested || P.Now - t0 < 0.2) return;
    nested = true;
    innerStart = P.Now;
    AnimateFloatWait(Body, "opacity", 1, 0.5f);
    innerEnd = P.Now;
  };
  AnimateFloatWait(Body, "opacity", 0, 0.5f);
  outerEnd = P.Now;
  P.OnRound = nullptr;
  ASSERT_TRUE(nested);
  // The nested call first stops the outer fade at its target, then fades back from 0.
  auto zero = std::find(Body->Writes.begin(), Body->Writes.end(), 0.0f);
  ASSERT_NE(zero, Body->Writes.end());
  EXPECT_EQ(*(zero + 1), 0.0f);  // the inner fade's first value is the current one
  EXPECT_GE(innerEnd - innerStart, 0.5 - 1e-9);
  EXPECT_EQ(outerEnd, innerEnd);  // no further round after the nested call returned
  EXPECT_EQ(Body->Opacity, 1.0f);
  EXPECT_EQ(Body->ChildrenCount(), 0);
}

TEST_F(AnimationTest, TerminationEndsTheWaitAtTheEndValue) {
  Body->Opacity = 1;
  const double t0 = P.Now;
  P.OnRound = [&] {
    if (P.Now - t0 >= 0.1) P.Terminate();
  };
  AnimateFloatWait(Body, "Opacity", 0, 0.5f);
  P.OnRound = nullptr;
  EXPECT_LT(P.Now - t0, 0.2);
  EXPECT_EQ(Body->Opacity, 0.0f);
  EXPECT_EQ(Body->ChildrenCount(), 0);

  // After termination a start finds the timer refused and ends at once.
  TFloatAnimation* a = MakeAni("Position.X", 0, 10, 1);
  a->Start();
  EXPECT_FALSE(a->Running());
  EXPECT_EQ(Body->Position->V[0], 10.0f);
  EXPECT_EQ(Finishes, 1);
  EXPECT_FALSE(a->Enabled());
}

TEST_F(AnimationTest, AfterTerminationANewAnimationJoinsARunningClockAndStays) {
  TFloatAnimation* spin = MakeAni("RotationAngle.Y", 0, -360, 120);
  spin->SetLoop(true);
  spin->Start();
  P.Terminate();
  TFloatAnimation* a = MakeAni("Position.X", 3, 10, 1);
  a->Start();
  EXPECT_TRUE(a->Running());
  P.Advance(0.5);  // the dead timer fires no more
  EXPECT_EQ(Body->Position->V[0], 3.0f);
}

TEST_F(AnimationTest, ResolvedSubObjectDestroyedIsForgotten) {
  auto* vec = new FakeVector(nullptr, false);
  auto* holder = new FakeControl(&Window);
  holder->SetParent(&Window);
  delete holder->Position;  // replace with an object this test can destroy
  holder->Position = vec;
  auto* a = new TFloatAnimation();
  a->SetParent(holder);
  a->SetPropertyName("Position.X");
  a->SetStopValue(1);
  a->SetDuration(1);
  a->Start();
  ASSERT_EQ(a->ResolvedObject(), vec);
  holder->Position = nullptr;
  delete vec;
  EXPECT_EQ(a->ResolvedObject(), nullptr);
  P.Advance(0.5);  // runs its time, writes nothing
  EXPECT_TRUE(a->Running());
  delete a;
  delete holder;
}

TEST(InterpolateFraction, CurvesEndAtZeroAndOneAndEaseTheNamedEnd) {
  for (int i = 0; i <= static_cast<int>(TInterpolationType::Bounce); ++i)
    for (auto type : {TAnimationType::In, TAnimationType::Out, TAnimationType::InOut}) {
      auto curve = static_cast<TInterpolationType>(i);
      EXPECT_NEAR(InterpolateFraction(0, curve, type), 0, 1e-6) << i;
      EXPECT_NEAR(InterpolateFraction(1, curve, type), 1, 1e-6) << i;
    }
  struct Case {
    TInterpolationType Curve;
    TAnimationType Type;
    float T, Expected;
  } cases[] = {
      {TInterpolationType::Linear, TAnimationType::Out, 0.3f, 0.3f},
      {TInterpolationType::Quadratic, TAnimationType::In, 0.5f, 0.25f},
      {TInterpolationType::Quadratic, TAnimationType::Out, 0.5f, 0.75f},
      {TInterpolationType::Cubic, TAnimationType::InOut, 0.25f, 0.0625f},
      {TInterpolationType::Sinusoidal, TAnimationType::In, 0.5f, 1 - std::cos(0.25f * 3.14159265f)},
      {TInterpolationType::Exponential, TAnimationType::In, 0.9f, 0.5f},
      {TInterpolationType::Circular, TAnimationType::In, 0.6f, 0.2f},
      {TInterpolationType::Back, TAnimationType::In, 0.5f, 0.25f * (2.70158f * 0.5f - 1.70158f)},
      {TInterpolationType::Bounce, TAnimationType::Out, 0.2f, 7.5625f * 0.04f},
      {TInterpolationType::Quintic, TAnimationType::InOut, 0.5f, 0.5f},
  };
  for (const Case& c : cases)
    EXPECT_NEAR(InterpolateFraction(c.T, c.Curve, c.Type), c.Expected, 1e-5)
        << static_cast<int>(c.Curve);
  // Back overshoots below 0 at its eased end; Elastic swings past 1 at the other.
  EXPECT_LT(InterpolateFraction(0.2f, TInterpolationType::Back, TAnimationType::In), 0);
  EXPECT_GT(InterpolateFraction(0.1f, TInterpolationType::Elastic, TAnimationType::Out), 1);
}

}  // namespace
}  // namespace sphaerix
