#include "scene/animation/animation.h"

#include "scene/animation/clock.h"
#include "scene/input/control.h"

#include <algorithm>
#include <cmath>

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

}  // namespace

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

}  // namespace sphaerix
