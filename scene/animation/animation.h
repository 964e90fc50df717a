// Property animation: an animation is a child of the object whose property it changes,
// names that property by a dotted path, and advances on one shared clock (TAniThread)
// that a platform timer drives on the user-interface thread.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "scene/nodes/object.h"
#include "scene/runtime/platform_services.h"
#include "scene/runtime/scene_runtime.h"

namespace sphaerix {

enum class TInterpolationType {
  Linear,
  Quadratic,
  Cubic,
  Quartic,
  Quintic,
  Sinusoidal,
  Exponential,
  Circular,
  Elastic,
  Back,
  Bounce
};

enum class TAnimationType { In, Out, InOut };

// The fraction 0..1 that the curve AInterpolation gives for the time fraction T (0..1);
// In eases the start, Out the end, InOut both.
float InterpolateFraction(float T, TInterpolationType AInterpolation, TAnimationType AType);

class TAnimation : public TSceneObject {
 public:
  explicit TAnimation(TSceneObject* AOwner = nullptr);
  ~TAnimation() override;

  float Duration() const { return FDuration; }
  void SetDuration(float AValue) { FDuration = AValue; }
  float Delay() const { return FDelay; }
  void SetDelay(float AValue) { FDelay = AValue; }
  bool Loop() const { return FLoop; }
  void SetLoop(bool AValue) { FLoop = AValue; }
  bool AutoReverse() const { return FAutoReverse; }
  void SetAutoReverse(bool AValue) { FAutoReverse = AValue; }
  bool Inverse() const { return FInverse; }
  void SetInverse(bool AValue) { FInverse = AValue; }
  TInterpolationType Interpolation() const { return FInterpolation; }
  void SetInterpolation(TInterpolationType AValue) { FInterpolation = AValue; }
  TAnimationType AnimationType() const { return FAnimationType; }
  void SetAnimationType(TAnimationType AValue) { FAnimationType = AValue; }
  bool Pause() const { return FPause; }
  void SetPause(bool AValue) { FPause = AValue; }
  const std::string& Trigger() const { return FTrigger; }
  void SetTrigger(const std::string& AValue) { FTrigger = AValue; }
  const std::string& TriggerInverse() const { return FTriggerInverse; }
  void SetTriggerInverse(const std::string& AValue) { FTriggerInverse = AValue; }

  // Outside loading, true starts and false stops; writing the current value does nothing.
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool AValue);

  bool Running() const { return FRunning; }
  float CurrentTime() const { return FTime; }
  float NormalizedTime() const;
  // Remaining delay in seconds (0 once the run proper has begun).
  float DelayTime() const { return FDelayTime; }

  // Layout loading: between BeginLoading and Loaded, Enabled is only stored; Loaded
  // starts the animation when the stored Enabled is true.
  void BeginLoading() { FLoading = true; }
  void Loaded();
  bool Loading() const { return FLoading; }

  virtual void Start();
  virtual void Stop();
  virtual void StopAtCurrent();
  // One step of the shared clock: ATime is the clock's tick, ADeltaTime the seconds
  // since the previous tick.
  void ProcessTick(float ATime, float ADeltaTime);

  std::function<void(TSceneObject* Sender)> OnProcess;
  std::function<void(TSceneObject* Sender)> OnFinish;

 protected:
  virtual void TakeStartValue() {}
  virtual void ApplyValue() {}
  virtual void NotifyProcess();
  virtual void NotifyFinish();

  // True when the direct parent is a control that is hidden.
  bool ParentHidden() const;
  // True when a window (an object whose IsRoot holds) is among the ancestors.
  bool AttachedToRoot() const;

 private:
  void StartImmediate();
  void LeaveClock();

  float FDuration = 0.2f;
  float FDelay = 0;
  float FDelayTime = 0;  // remaining delay
  float FTime = 0;       // elapsed time of the current run
  bool FLoop = false;
  bool FAutoReverse = false;
  bool FInverse = false;
  bool FSavedInverse = false;
  int FTickCount = 0;  // completed half-runs (AutoReverse without Loop)
  TInterpolationType FInterpolation = TInterpolationType::Linear;
  TAnimationType FAnimationType = TAnimationType::In;
  bool FEnabled = false;
  bool FRunning = false;
  bool FPause = false;
  bool FLoading = false;
  std::string FTrigger;
  std::string FTriggerInverse;
};

// An animation of a property reached from its parent by a dotted path of property
// names, ASCII case ignored ("RotationAngle.Y", "position.z", "opacity").
class TCustomPropertyAnimation : public TAnimation {
 public:
  explicit TCustomPropertyAnimation(TSceneObject* AOwner = nullptr);
  ~TCustomPropertyAnimation() override;

  const std::string& PropertyName() const { return FPropertyName; }
  void SetPropertyName(const std::string& AValue);

  // The resolved target: the object owning the final property and that property's
  // name; null/empty until a Start resolves the path.
  TSceneObject* ResolvedObject() const { return FInstance; }
  const std::string& ResolvedPath() const { return FPath; }

  void Start() override;
  void Stop() override;

 protected:
  // The final property looked up afresh by name, or nullptr.
  const TPropertyInfo* ResolvedProperty() const;
  // Fills the resolved target from PropertyName; false when the path does not resolve.
  bool ResolvePath();
  void ClearTarget();
  void ParentChanged() override;
  void FreeNotification(TSceneObject* AObject) override;

 private:
  std::string FPropertyName;
  TSceneObject* FInstance = nullptr;
  std::string FPath;
};

class TFloatAnimation : public TCustomPropertyAnimation {
 public:
  explicit TFloatAnimation(TSceneObject* AOwner = nullptr);

  float StartValue() const { return FStartFloat; }
  void SetStartValue(float AValue) { FStartFloat = AValue; }
  float StopValue() const { return FStopFloat; }
  void SetStopValue(float AValue) { FStopFloat = AValue; }
  bool StartFromCurrent() const { return FStartFromCurrent; }
  void SetStartFromCurrent(bool AValue) { FStartFromCurrent = AValue; }

 protected:
  void TakeStartValue() override;
  void ApplyValue() override;

 private:
  float FStartFloat = 0;
  float FStopFloat = 0;
  bool FStartFromCurrent = false;
};

// The shared clock: one per scene runtime (scene_runtime.h), a platform timer on the
// user-interface thread that exists only while at least one animation is on its list.
// It ends with its runtime; animations still on its list then no longer advance.
class TAniThread {
 public:
  // The current runtime's clock, or nullptr before the first start that needed one.
  static TAniThread* Instance();
  // The current runtime's clock, created when there is none; std::logic_error without
  // a runtime.
  static TAniThread& Ensure();

  void Add(TAnimation* AAnimation);
  void Remove(TAnimation* AAnimation);
  bool Contains(const TAnimation* AAnimation) const;
  const std::vector<TAnimation*>& Animations() const { return FAniList; }
  // True while the clock counts its platform timer as on.
  bool TimerEnabled() const { return FTimerEnabled; }
  int IntervalMs() const { return FInterval; }
  double Time() const { return FTime; }
  double DeltaTime() const { return FDeltaTime; }

  ~TAniThread();

 private:
  friend class SceneRuntime;
  explicit TAniThread(SceneRuntime& ARuntime);
  static int PeriodFor(int ARate);
  void SwitchTimer(bool AOn);
  void OnTimer();
  void DoSyncTimer();
  void MakeTimer();

  SceneRuntime& FRuntime;
  std::vector<TAnimation*> FAniList;
  double FTime = 0;
  double FDeltaTime = 0;
  int FInterval = 10;
  bool FTimerEnabled = false;
  int FInTick = 0;  // depth of timer callbacks on the stack
  std::unique_ptr<IPlatformTimer> FTimer;
};

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
