#include "scene/platform_services.h"

#include <stdexcept>

namespace sphaerix {

static IPlatformServices* GServices = nullptr;

IPlatformServices& Platform() {
  if (!GServices) throw std::logic_error("no platform services installed");
  return *GServices;
}

void SetPlatform(IPlatformServices* AServices) { GServices = AServices; }

}  // namespace sphaerix
