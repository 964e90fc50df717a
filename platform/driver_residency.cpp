#include "platform/driver_residency.h"

#include <dlfcn.h>
#include <link.h>

#include <string>
#include <vector>

namespace sphaerix {

namespace {

bool IsDriverLibrary(const std::string& APath) {
  const std::string name = APath.substr(APath.find_last_of('/') + 1);
  for (const char* part : {"_dri.so", "libgallium", "libLLVM", "libglapi.so", "libGLX_mesa.so", "libEGL_mesa.so",
                           "libvulkan_", "libdrm"})
    if (name.find(part) != std::string::npos) return true;
  return false;
}

}  // namespace

int KeepGraphicsDriverLoaded() {
  std::vector<std::string> found;
  dl_iterate_phdr(
      [](dl_phdr_info* AInfo, size_t, void* AFound) {
        if (AInfo->dlpi_name && IsDriverLibrary(AInfo->dlpi_name))
          static_cast<std::vector<std::string>*>(AFound)->push_back(AInfo->dlpi_name);
        return 0;
      },
      &found);
  int kept = 0;
  // RTLD_NOLOAD finds the library already loaded; RTLD_NODELETE keeps it to the end. The
  // handle is not closed: that reference is the point.
  for (const std::string& path : found)
    if (dlopen(path.c_str(), RTLD_LAZY | RTLD_NOLOAD | RTLD_NODELETE)) ++kept;
  return kept;
}

}  // namespace sphaerix
