#include "scene/animation/animator.h"

#include <algorithm>
#include <memory>

#include "scene/animation/clock.h"
#include "scene/runtime/platform_services.h"
#include "scene/runtime/scene_runtime.h"

namespace sphaerix {

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

TAnimationDestroyer& TAnimationDestroyer::Instance() { return SceneRuntime::Require().Destroyer(); }

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
