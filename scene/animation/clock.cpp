#include "scene/animation/clock.h"

#include <algorithm>
#include <exception>

#include "scene/animation/animation.h"
#include "scene/runtime/platform_services.h"
#include "scene/runtime/scene_runtime.h"

namespace sphaerix {

TAniThread* TAniThread::Instance() {
  SceneRuntime* runtime = SceneRuntime::Current();
  return runtime ? runtime->Clock() : nullptr;
}

TAniThread& TAniThread::Ensure() { return SceneRuntime::Require().EnsureClock(); }

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

}  // namespace sphaerix
