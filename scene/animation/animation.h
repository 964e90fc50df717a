// Property animation: an animation is a child of the object whose property it changes,
// names that property by a dotted path, and advances on the shared clock (clock.h).
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "scene/nodes/object.h"
#include "scene/animation/easing.h"

namespace sphaerix {

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

}  // namespace sphaerix
