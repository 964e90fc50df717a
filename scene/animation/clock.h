// The shared clock every running animation advances on.
#pragma once

#include <memory>
#include <vector>

#include "scene/runtime/platform_services.h"

namespace sphaerix {

class TAnimation;
class SceneRuntime;

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

}  // namespace sphaerix
