#include "scene/runtime/platform_services.h"

#include "scene/runtime/scene_runtime.h"

namespace sphaerix {

IPlatformServices& Platform() { return SceneRuntime::Require().Platform(); }

bool PlatformInstalled() { return SceneRuntime::Current() != nullptr; }

}  // namespace sphaerix
