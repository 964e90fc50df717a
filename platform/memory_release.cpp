#include "platform/memory_release.h"

#include <malloc.h>

namespace sphaerix {

void ReturnFreedMemory() {
#if defined(__GLIBC__)
  // Each decode worker allocates from a pool of its own that outlives it; the pools keep
  // what the workers freed unless asked to give it back.
  malloc_trim(0);
#endif
}

}  // namespace sphaerix
