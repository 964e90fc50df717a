#include "platform/guarded_call.h"

#include <cstdio>

#include "platform/qt_platform.h"
#include "scene/runtime/platform_services.h"

namespace sphaerix {

void ReportException(std::exception_ptr AException) noexcept {
  if (PlatformInstalled()) {
    try {
      Platform().HandleException(AException);
      return;
    } catch (...) {
      // The report itself failed; stderr still says what happened.
    }
  }
  try {
    std::fprintf(stderr, "Sphaerix: %s\n", QtPlatform::ExceptionMessage(AException).c_str());
    std::fflush(stderr);
  } catch (...) {
  }
}

}  // namespace sphaerix
