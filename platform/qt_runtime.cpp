#include "platform/qt_runtime.h"

#include <QImageReader>

namespace sphaerix {

QtRuntime::QtRuntime() : FScene(FPlatform, &FCodecs) {
  // Qt refuses images above 256 MB by default; allow what the JPEG path allows.
  QImageReader::setAllocationLimit(static_cast<int>(MaxDecodedBytes >> 20));
}

}  // namespace sphaerix
