#include "scene/animation/animation.h"

#include "scene/input/control.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace sphaerix {

namespace {

// Runs its action when the scope is left, normally or by an exception: the state that
// must hold whatever a setter or handler throws.
template <class F>
class ScopeExit {
 public:
  explicit ScopeExit(F AAction) : FAction(std::move(AAction)) {}
  ~ScopeExit() { FAction(); }
  ScopeExit(const ScopeExit&) = delete;
  ScopeExit& operator=(const ScopeExit&) = delete;

 private:
  F FAction;
};

constexpr double kPi = 3.14159265358979323846;

double BounceOut(double x) {
  const double n = 7.5625, d = 2.75;
  if (x < 1 / d) return n * x * x;
  if (x < 2 / d) {
    x -= 1.5 / d;
    return n * x * x + 0.75;
  }
  if (x < 2.5 / d) {
    x -= 2.25 / d;
    return n * x * x + 0.9375;
  }
  x -= 2.625 / d;
  return n * x * x + 0.984375;
}

// The ease-in form of each curve on [0, 1]: 0 at 0, 1 at 1.
double EaseIn(TInterpolationType AInterpolation, double x) {
  switch (AInterpolation) {
    case TInterpolationType::Linear: return x;
    case TInterpolationType::Quadratic: return x * x;
    case TInterpolationType::Cubic: return x * x * x;
    case TInterpolationType::Quartic: return x * x * x * x;
    case TInterpolationType::Quintic: return x * x * x * x * x;
    case TInterpolationType::Sinusoidal: return 1 - std::cos(x * kPi / 2);
    case TInterpolationType::Exponential: return x <= 0 ? 0 : std::pow(2.0, 10 * (x - 1));
    case TInterpolationType::Circular: return 1 - std::sqrt(std::max(0.0, 1 - x * x));
    case TInterpolationType::Elastic: {
      if (x <= 0) return 0;
      if (x >= 1) return 1;
      const double p = 0.3, s = p / 4;
      return -std::pow(2.0, 10 * (x - 1)) * std::sin((x - 1 - s) * 2 * kPi / p);
    }
    case TInterpolationType::Back: {
      const double s = 1.70158;
      return x * x * ((s + 1) * x - s);
    }
    case TInterpolationType::Bounce: return 1 - BounceOut(1 - x);
  }
  return x;
}

}  // namespace

float InterpolateFraction(float T, TInterpolationType AInterpolation, TAnimationType AType) {
  if (AInterpolation == TInterpolationType::Linear) return T;
  const double x = T;
  double r = 0;
  switch (AType) {
    case TAnimationType::In: r = EaseIn(AInterpolation, x); break;
    case TAnimationType::Out: r = 1 - EaseIn(AInterpolation, 1 - x); break;
    case TAnimationType::InOut:
      r = x < 0.5 ? EaseIn(AInterpolation, 2 * x) / 2 : 1 - EaseIn(AInterpolation, 2 - 2 * x) / 2;
      break;
  }
  return static_cast<float>(r);
}

// ---------------------------------------------------------------------------------------
// TAnimation

TAnimation::TAnimation(TSceneObject* AOwner) : TSceneObject(AOwner) {}

TAnimation::~TAnimation() {
  // Leaves the clock silently: no value written, no OnFinish.
  LeaveClock();
}

void TAnimation::LeaveClock() {
  if (TAniThread* clock = TAniThread::Instance()) clock->Remove(this);
}

void TAnimation::SetEnabled(bool AValue) {
  if (FEnabled == AValue) return;
  FEnabled = AValue;
  if (FLoading) return;
  if (AValue)
    Start();
  else
    Stop();
}

void TAnimation::Loaded() {
  FLoading = false;
  if (FEnabled) Start();
}

float TAnimation::NormalizedTime() const {
  if (!(FDuration > 0) || FDelayTime > 0) return 0;
  const float t = FTime / FDuration;
  return InterpolateFraction(t, FInterpolation, FAnimationType);
}

// The handlers run from copies: a handler that destroys the animation destroys the
// event member with it, and must not pull the code it is running from under itself.
void TAnimation::NotifyProcess() {
  if (!OnProcess) return;
  const auto handler = OnProcess;
  handler(this);
}

void TAnimation::NotifyFinish() {
  if (!OnFinish) return;
  const auto handler = OnFinish;
  handler(this);
}

bool TAnimation::ParentHidden() const {
  TSceneObject* p = Parent();
  return p && p->IsControl() && !p->Visible();
}

bool TAnimation::AttachedToRoot() const {
  // A window is recognised by IsRoot or by being a control root (the forms are).
  for (TSceneObject* p = Parent(); p; p = p->Parent())
    if (p->IsRoot() || dynamic_cast<const IControlRoot*>(p)) return true;
  return false;
}

void TAnimation::Start() {
  if (!FLoop) FTickCount = 0;
  if (ParentHidden()) return;
  if (FAutoReverse) {
    if (FRunning)
      FInverse = FSavedInverse;
    else
      FSavedInverse = FInverse;
  }
  if (std::fabs(FDuration) < 0.001f || !AttachedToRoot()) {
    StartImmediate();
    return;
  }

  FDelayTime = FDelay;
  FRunning = true;
  FTime = FInverse ? FDuration : 0;
  {
    // A setter that throws here makes the start fail as a whole: the animation must not
    // stay "running" without advancing.
    TObjectWatch self(this);
    bool started = false;
    ScopeExit undo([&] {
      if (!started && self.Alive()) {
        FRunning = false;
        LeaveClock();
      }
    });
    if (FDelay == 0) {
      TakeStartValue();
      ApplyValue();
      NotifyProcess();
    }
    if (!self.Alive()) return;
    started = true;
  }

  TAniThread& clock = TAniThread::Ensure();
  clock.Add(this);
  if (!clock.TimerEnabled())
    Stop();  // no timer (the application terminates): end at the end value at once
  else
    FEnabled = true;
}

void TAnimation::StartImmediate() {
  // A restart of a running animation ends here too; it must not linger on the clock.
  LeaveClock();
  FDelayTime = 0;
  TObjectWatch self(this);
  const float savedDuration = FDuration;
  ScopeExit restoreDuration([&] {
    if (self.Alive()) FDuration = savedDuration;
  });
  FDuration = 1;
  FTime = FInverse ? 0 : 1;
  FRunning = true;
  {
    ScopeExit endRun([&] {
      if (!self.Alive()) return;
      FRunning = false;
      FTime = 0;
    });
    ApplyValue();
    NotifyProcess();
  }
  if (!self.Alive()) return;
  NotifyFinish();
}

void TAnimation::Stop() {
  if (!FRunning) return;
  LeaveClock();
  if (FAutoReverse) FInverse = FSavedInverse;
  // A stop during the delay still ends at the end value (the delay would otherwise hold
  // the fraction at 0 and write the start value).
  FDelayTime = 0;
  FTime = FInverse ? 0 : FDuration;
  {
    TObjectWatch self(this);
    ScopeExit endRun([&] {
      if (self.Alive()) FRunning = false;
    });
    ApplyValue();
    NotifyProcess();
    if (!self.Alive()) return;
  }
  NotifyFinish();
}

void TAnimation::StopAtCurrent() {
  if (!FRunning) return;
  LeaveClock();
  if (FAutoReverse) FInverse = FSavedInverse;
  FTime = FInverse ? 0 : FDuration;
  FRunning = false;
  FEnabled = false;
  NotifyFinish();
}

void TAnimation::ProcessTick(float ATime, float ADeltaTime) {
  if (IsDestroying()) return;
  TObjectWatch self(this);
  if (ParentHidden()) Stop();
  if (!self.Alive() || !FRunning || FPause) return;

  if (FDelay > 0 && FDelayTime != 0) {
    if (FDelayTime < 0) return;
    FDelayTime -= ADeltaTime;
    if (FDelayTime > 0) return;
    FDelayTime = 0;
    FTime = FInverse ? FDuration : 0;
    TakeStartValue();
    ApplyValue();
    NotifyProcess();
    return;
  }

  if (FInverse)
    FTime -= ADeltaTime;
  else
    FTime += ADeltaTime;

  if (FTime >= FDuration) {
    FTime = FDuration;
    if (FLoop) {
      if (FAutoReverse)
        FInverse = true;
      else
        FTime = 0;
    } else if (FAutoReverse && FTickCount == 0) {
      FTickCount = 1;
      FInverse = true;
    } else {
      FRunning = false;
    }
  } else if (FTime <= 0) {
    FTime = 0;
    if (FLoop) {
      if (FAutoReverse)
        FInverse = false;
      else
        FTime = FDuration;
    } else if (FAutoReverse && FTickCount == 0) {
      FTickCount = 1;
      FInverse = false;
    } else {
      FRunning = false;
    }
  }

  const bool ended = !FRunning;
  {
    // An ended run leaves the clock even when its last value could not be written.
    ScopeExit leave([&] {
      if (ended && self.Alive()) {
        if (FAutoReverse) FInverse = FSavedInverse;
        LeaveClock();
      }
    });
    ApplyValue();
    NotifyProcess();
  }
  if (ended && self.Alive()) NotifyFinish();
}

// ---------------------------------------------------------------------------------------
// TCustomPropertyAnimation

TCustomPropertyAnimation::TCustomPropertyAnimation(TSceneObject* AOwner) : TAnimation(AOwner) {}

TCustomPropertyAnimation::~TCustomPropertyAnimation() = default;

void TCustomPropertyAnimation::SetPropertyName(const std::string& AValue) {
  if (!SameText(AValue, FPropertyName)) ClearTarget();
  FPropertyName = AValue;
}

void TCustomPropertyAnimation::ClearTarget() {
  if (FInstance) FInstance->RemoveFreeNotify(this);
  FInstance = nullptr;
  FPath.clear();
}

void TCustomPropertyAnimation::ParentChanged() { ClearTarget(); }

void TCustomPropertyAnimation::FreeNotification(TSceneObject* AObject) {
  if (AObject == FInstance) {
    FInstance = nullptr;
    FPath.clear();
  }
}

const TPropertyInfo* TCustomPropertyAnimation::ResolvedProperty() const {
  return FInstance ? FInstance->FindProperty(FPath) : nullptr;
}

bool TCustomPropertyAnimation::ResolvePath() {
  TSceneObject* parent = Parent();
  if (!parent || FPropertyName.empty()) return false;
  if (FInstance) return true;

  TSceneObject* current = parent;
  std::string rest = FPropertyName;
  for (size_t dot = rest.find('.'); dot != std::string::npos; dot = rest.find('.')) {
    const std::string segment = rest.substr(0, dot);
    rest = rest.substr(dot + 1);
    const TPropertyInfo* info = current->FindProperty(segment);
    if (info && info->PropKind == TPropertyInfo::Kind::Object) {
      current = info->GetObject ? info->GetObject() : nullptr;
      if (!current) return false;
      continue;
    }
    for (TSceneObject* child : parent->Children()) {
      if (SameText(child->Name(), segment) && child->FindProperty(rest)) {
        current = child;
        break;
      }
    }
  }
  if (!current->FindProperty(rest)) return false;
  FInstance = current;
  FPath = rest;
  // The target may be a sub-object (a Position) that dies before this animation does.
  FInstance->AddFreeNotify(this);
  return true;
}

void TCustomPropertyAnimation::Start() {
  if (!ResolvePath()) return;
  TAnimation::Start();
}

void TCustomPropertyAnimation::Stop() {
  // OnFinish may have destroyed the animation; then there is nothing left to forget.
  TObjectWatch self(this);
  ScopeExit forget([&] {
    if (self.Alive()) ClearTarget();
  });
  TAnimation::Stop();
}

// ---------------------------------------------------------------------------------------
// TFloatAnimation

TFloatAnimation::TFloatAnimation(TSceneObject* AOwner) : TCustomPropertyAnimation(AOwner) {}

void TFloatAnimation::TakeStartValue() {
  if (!FStartFromCurrent) return;
  const TPropertyInfo* p = ResolvedProperty();
  if (p && p->PropKind == TPropertyInfo::Kind::Float && p->GetFloat) FStartFloat = p->GetFloat();
}

void TFloatAnimation::ApplyValue() {
  const TPropertyInfo* p = ResolvedProperty();
  if (!p || p->PropKind != TPropertyInfo::Kind::Float || !p->SetFloat) return;
  const float t = NormalizedTime();
  // The end of a run writes the stop value itself, not a rounded neighbour of it.
  const float value = t == 1.0f ? FStopFloat : FStartFloat + (FStopFloat - FStartFloat) * t;
  p->SetFloat(value);
}

// ---------------------------------------------------------------------------------------
// TAniThread

namespace {

SceneRuntime& CurrentRuntime() {
  SceneRuntime* runtime = SceneRuntime::Current();
  if (!runtime) throw std::logic_error("no scene runtime in place");
  return *runtime;
}

}  // namespace

TAniThread* TAniThread::Instance() {
  SceneRuntime* runtime = SceneRuntime::Current();
  return runtime ? runtime->Clock() : nullptr;
}

TAniThread& TAniThread::Ensure() { return CurrentRuntime().EnsureClock(); }

TAniThread::TAniThread(SceneRuntime& ARuntime) : FRuntime(ARuntime) {
  FInterval = PeriodFor(std::clamp(FRuntime.AniFrameRate(), 5, 100));
}

void TAniThread::MakeTimer() {
  // The timer belongs to this clock and dies with it, so its callback may hold the clock.
  FTimer.reset(FRuntime.Platform().CreateTimer(FInterval, [this] { OnTimer(); }));
}

TAniThread::~TAniThread() = default;

int TAniThread::PeriodFor(int ARate) {
  if (ARate < 5) ARate = 5;
  const int period = 10 * (100 / ARate);
  return period == 0 ? 1 : period;
}

bool TAniThread::Contains(const TAnimation* AAnimation) const {
  return std::find(FAniList.begin(), FAniList.end(), AAnimation) != FAniList.end();
}

void TAniThread::Add(TAnimation* AAnimation) {
  if (Contains(AAnimation)) return;
  FAniList.push_back(AAnimation);
  if (FAniList.size() == 1) SwitchTimer(true);
}

void TAniThread::Remove(TAnimation* AAnimation) {
  auto it = std::find(FAniList.begin(), FAniList.end(), AAnimation);
  if (it == FAniList.end()) return;
  FAniList.erase(it);
  if (FAniList.empty()) SwitchTimer(false);
}

void TAniThread::SwitchTimer(bool AOn) {
  if (AOn == FTimerEnabled) return;
  if (AOn) {
    FTime = FRuntime.Platform().Tick();
    // Inside a tick the old timer may still exist (switched off earlier in this tick).
    if (!FTimer) MakeTimer();
    FTimerEnabled = FTimer != nullptr;
  } else {
    FTimerEnabled = false;
    // A timer is not destroyed from inside its own callback; the tick's end does it.
    if (FInTick == 0) FTimer.reset();
  }
}

void TAniThread::OnTimer() {
  ++FInTick;
  try {
    DoSyncTimer();
  } catch (...) {
    --FInTick;
    if (FInTick == 0 && !FTimerEnabled) FTimer.reset();
    FRuntime.Platform().HandleException(std::current_exception());
    return;
  }
  --FInTick;
  if (FInTick != 0) return;
  if (!FTimerEnabled) {
    FTimer.reset();
    return;
  }
  const int period = PeriodFor(FRuntime.AniFrameRate());
  if (period != FInterval) {
    FInterval = period;
    FTimer.reset();
    MakeTimer();
    FTimerEnabled = FTimer != nullptr;
  }
}

void TAniThread::DoSyncTimer() {
  const double now = FRuntime.Platform().Tick();
  FDeltaTime = now - FTime;
  FTime = now;
  if (FDeltaTime <= 0) return;
  const float time = static_cast<float>(now);
  const float delta = static_cast<float>(FDeltaTime);
  // Last added first. A handler may take entries off the list during the visit: the
  // position then moves back to the new last entry, and entries already advanced in this
  // tick are passed over so that none advances twice.
  std::vector<TAnimation*> visited;
  int i = static_cast<int>(FAniList.size()) - 1;
  while (i >= 0) {
    TAnimation* ani = FAniList[static_cast<size_t>(i)];
    visited.push_back(ani);
    if (ani->Running()) ani->ProcessTick(time, delta);
    --i;
    if (i >= static_cast<int>(FAniList.size())) i = static_cast<int>(FAniList.size()) - 1;
    while (i >= 0 && std::find(visited.begin(), visited.end(),
                               FAniList[static_cast<size_t>(i)]) != visited.end())
      --i;
  }
}

// ---------------------------------------------------------------------------------------
// TAnimator and TAnimationDestroyer

void TAnimator::StopPropertyAnimation(TSceneObject* ATarget, const std::string& APropertyName) {
  if (!ATarget) return;
  int i = ATarget->ChildrenCount() - 1;
  while (i >= 0) {
    auto* ani = dynamic_cast<TCustomPropertyAnimation*>(ATarget->Children()[static_cast<size_t>(i)]);
    if (ani && SameText(ani->PropertyName(), APropertyName)) ani->Stop();
    --i;
    if (i >= ATarget->ChildrenCount()) i = ATarget->ChildrenCount() - 1;
  }
}

namespace {

void SetUp(TFloatAnimation& AAni, TSceneObject* ATarget, const std::string& APropertyName,
           float ANewValue, float ADuration, TAnimationType AType,
           TInterpolationType AInterpolation) {
  AAni.SetParent(ATarget);
  AAni.SetAnimationType(AType);
  AAni.SetInterpolation(AInterpolation);
  AAni.SetDuration(ADuration);
  AAni.SetPropertyName(APropertyName);
  AAni.SetStartFromCurrent(true);
  AAni.SetStopValue(ANewValue);
}

}  // namespace

void TAnimator::AnimateFloat(TSceneObject* ATarget, const std::string& APropertyName,
                             float ANewValue, float ADuration, TAnimationType AType,
                             TInterpolationType AInterpolation) {
  if (!ATarget) return;
  StopPropertyAnimation(ATarget, APropertyName);
  TAnimationDestroyer& destroyer = TAnimationDestroyer::Instance();
  // The target owns the animation: a target destroyed during the run (the window closed
  // in the middle of the camera's fly-in) takes its animation with it, while a finished
  // one goes earlier through the deferred disposal.
  auto* ani = new TFloatAnimation(ATarget);
  SetUp(*ani, ATarget, APropertyName, ANewValue, ADuration, AType, AInterpolation);
  ani->OnFinish = [](TSceneObject* Sender) { TAnimationDestroyer::Instance().DoAniFinished(Sender); };
  // A start that did nothing (path not resolved, parent hidden) or failed would leave an
  // idle child behind that nobody ever disposes of.
  auto orphaned = [&] { return !ani->Running() && !destroyer.IsPending(ani); };
  try {
    ani->Start();
  } catch (...) {
    if (orphaned()) delete ani;
    throw;
  }
  if (orphaned()) delete ani;
}

void TAnimator::AnimateFloatWait(TSceneObject* ATarget, const std::string& APropertyName,
                                 float ANewValue, float ADuration, TAnimationType AType,
                                 TInterpolationType AInterpolation) {
  if (!ATarget) return;
  StopPropertyAnimation(ATarget, APropertyName);
  std::unique_ptr<TFloatAnimation> ani(new TFloatAnimation(nullptr));
  SetUp(*ani, ATarget, APropertyName, ANewValue, ADuration, AType, AInterpolation);
  ani->Start();
  if (!ani->Running()) return;
  TFloatAnimation* awaited = ani.get();
  Platform().ProcessEventsUntil([awaited] { return !awaited->Running(); });
  // Still running: the application terminates and the clock no longer advances it.
  if (ani->Running()) ani->Stop();
}

void TSceneObject::AnimateFloat(const std::string& APropertyName, float ANewValue, float ADuration,
                              TAnimationType AType, TInterpolationType AInterpolation) {
  TAnimator::AnimateFloat(this, APropertyName, ANewValue, ADuration, AType, AInterpolation);
}

void TSceneObject::AnimateFloatWait(const std::string& APropertyName, float ANewValue,
                                  float ADuration, TAnimationType AType,
                                  TInterpolationType AInterpolation) {
  TAnimator::AnimateFloatWait(this, APropertyName, ANewValue, ADuration, AType, AInterpolation);
}

void TSceneObject::StopPropertyAnimation(const std::string& APropertyName) {
  TAnimator::StopPropertyAnimation(this, APropertyName);
}

TAnimationDestroyer& TAnimationDestroyer::Instance() { return CurrentRuntime().Destroyer(); }

void TAnimationDestroyer::DoAniFinished(TSceneObject* Sender) {
  if (!Sender) return;
  if (std::find(FPending.begin(), FPending.end(), Sender) != FPending.end()) return;
  FPending.push_back(Sender);
  // Hears of it if someone else destroys it first, so the deferred call does not.
  Sender->AddFreeNotify(this);
  std::weak_ptr<TAnimationDestroyer> self = weak_from_this();
  Platform().PostDeferred([self, Sender] {
    if (auto destroyer = self.lock()) destroyer->Dispose(Sender);
  });
}

bool TAnimationDestroyer::IsPending(const TSceneObject* AObject) const {
  return std::find(FPending.begin(), FPending.end(), AObject) != FPending.end();
}

void TAnimationDestroyer::Dispose(TSceneObject* AObject) {
  auto it = std::find(FPending.begin(), FPending.end(), AObject);
  if (it == FPending.end()) return;
  FPending.erase(it);
  AObject->RemoveFreeNotify(this);
  delete AObject;
}

void TAnimationDestroyer::FreeNotification(TSceneObject* AObject) {
  FPending.erase(std::remove(FPending.begin(), FPending.end(), AObject), FPending.end());
}

}  // namespace sphaerix
