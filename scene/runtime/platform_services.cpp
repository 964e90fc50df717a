#include "scene/runtime/platform_services.h"

#include <stdexcept>

#include "scene/runtime/scene_runtime.h"

namespace sphaerix {

IPlatformServices& Platform() {
  SceneRuntime* runtime = SceneRuntime::Current();
  if (!runtime) throw std::logic_error("no scene runtime in place");
  return runtime->Platform();
}

bool PlatformInstalled() { return SceneRuntime::Current() != nullptr; }

}  // namespace sphaerix
