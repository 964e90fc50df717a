// AnimateFloat, AnimateFloatWait and StopPropertyAnimation, and the disposal of the
// animations AnimateFloat makes.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "scene/animation/animation.h"

namespace sphaerix {

// The class operations behind AnimateFloat, AnimateFloatWait and StopPropertyAnimation.
class TAnimator {
 public:
  // Animates ATarget's property from its current value to ANewValue and returns at
  // once; the animation is disposed of through a deferred call after it finishes, or
  // with ATarget, which owns it, when that goes first.
  static void AnimateFloat(TSceneObject* ATarget, const std::string& APropertyName, float ANewValue,
                           float ADuration = 0.2f, TAnimationType AType = TAnimationType::In,
                           TInterpolationType AInterpolation = TInterpolationType::Linear);
  // The same, but keeps the event loop running until the animation has ended, has been
  // stopped by a nested call, or the application terminates (then it ends at once at
  // its end value).
  static void AnimateFloatWait(TSceneObject* ATarget, const std::string& APropertyName,
                               float ANewValue, float ADuration = 0.2f,
                               TAnimationType AType = TAnimationType::In,
                               TInterpolationType AInterpolation = TInterpolationType::Linear);
  // Stops (at their end values) all property animations among ATarget's direct
  // children whose PropertyName equals APropertyName, ASCII case ignored.
  static void StopPropertyAnimation(TSceneObject* ATarget, const std::string& APropertyName);
};

// Disposes of the animations AnimateFloat created, through the platform's deferred calls.
// One per scene runtime, made on first use; a disposal still queued when it ends does
// nothing, and the animation goes with the object that owns it.
class TAnimationDestroyer : public TSceneObject,
                            public std::enable_shared_from_this<TAnimationDestroyer> {
 public:
  // The current runtime's destroyer; std::logic_error without a runtime.
  static TAnimationDestroyer& Instance();
  void DoAniFinished(TSceneObject* Sender);
  // Animations whose disposal is queued but has not run yet.
  int PendingCount() const { return static_cast<int>(FPending.size()); }
  bool IsPending(const TSceneObject* AObject) const;

 protected:
  void FreeNotification(TSceneObject* AObject) override;

 private:
  friend class SceneRuntime;
  TAnimationDestroyer() = default;
  void Dispose(TSceneObject* AObject);
  std::vector<TSceneObject*> FPending;
};

// The same operations as free functions (the members of TSceneObject forward likewise).
inline void AnimateFloat(TSceneObject* ATarget, const std::string& APropertyName, float ANewValue,
                         float ADuration = 0.2f, TAnimationType AType = TAnimationType::In,
                         TInterpolationType AInterpolation = TInterpolationType::Linear) {
  TAnimator::AnimateFloat(ATarget, APropertyName, ANewValue, ADuration, AType, AInterpolation);
}
inline void AnimateFloatWait(TSceneObject* ATarget, const std::string& APropertyName,
                             float ANewValue, float ADuration = 0.2f,
                             TAnimationType AType = TAnimationType::In,
                             TInterpolationType AInterpolation = TInterpolationType::Linear) {
  TAnimator::AnimateFloatWait(ATarget, APropertyName, ANewValue, ADuration, AType, AInterpolation);
}
inline void StopPropertyAnimation(TSceneObject* ATarget, const std::string& APropertyName) {
  TAnimator::StopPropertyAnimation(ATarget, APropertyName);
}

}  // namespace sphaerix
