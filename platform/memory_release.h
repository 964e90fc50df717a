// Handing freed memory back to the system once a burst of large, short-lived buffers is
// over (decoded pictures and their workers' scratch), so that the resident size settles
// where the pictures on screen put it instead of where the busiest moment left it.
#pragma once

namespace sphaerix {

// Returns the allocator's free pages, of every thread's pool, to the system.
void ReturnFreedMemory();

}  // namespace sphaerix
