#include "scene/runtime/scene_runtime.h"

#include <algorithm>
#include <stdexcept>

#include "scene/animation/animator.h"
#include "scene/animation/clock.h"
#include "scene/input/window_input.h"

namespace sphaerix {

namespace {
SceneRuntime* GCurrent = nullptr;
}

SceneRuntime::SceneRuntime(IPlatformServices& APlatform, IBitmapCodecs* ACodecs)
    : FPrevious(GCurrent), FPlatform(APlatform), FCodecs(ACodecs) {
  GCurrent = this;
}

SceneRuntime::~SceneRuntime() {
  // The clock's timer comes from the platform, which is still there.
  FClock.reset();
  FDestroyer.reset();
  for (TWindowInput* w : FWindows) w->RuntimeEnded();
  FWindows.clear();
  // A scope that ends out of order must not bring back one that has ended already.
  if (GCurrent == this) GCurrent = FPrevious;
}

SceneRuntime* SceneRuntime::Current() { return GCurrent; }

SceneRuntime& SceneRuntime::Require() {
  if (!GCurrent) throw std::logic_error("no scene runtime in place");
  return *GCurrent;
}

TAniThread& SceneRuntime::EnsureClock() {
  if (!FClock) FClock.reset(new TAniThread(*this));
  return *FClock;
}

TAnimationDestroyer& SceneRuntime::Destroyer() {
  if (!FDestroyer) FDestroyer = std::shared_ptr<TAnimationDestroyer>(new TAnimationDestroyer());
  return *FDestroyer;
}

void SceneRuntime::AddWindow(TWindowInput* AWindow) { FWindows.push_back(AWindow); }

void SceneRuntime::RemoveWindow(TWindowInput* AWindow) {
  FWindows.erase(std::remove(FWindows.begin(), FWindows.end(), AWindow), FWindows.end());
}

}  // namespace sphaerix
