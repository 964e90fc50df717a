#include "scene/platform_services.h"

#include <stdexcept>

namespace sphaerix {

static IPlatformServices* GServices = nullptr;

IPlatformServices& Platform() {
  if (!GServices) throw std::logic_error("no platform services installed");
  return *GServices;
}

bool PlatformInstalled() { return GServices != nullptr; }

void SetPlatform(IPlatformServices* AServices) { GServices = AServices; }

}  // namespace sphaerix
