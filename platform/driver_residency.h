// The graphics driver unloads itself when the display closes, at the very end of the
// program; whatever it leaked is then reported by a leak checker against no library at
// all, indistinguishable from a leak of ours. Kept loaded to the end, its leaks carry its
// name, and a leak check can tell them apart (scripts/lsan.supp).
#pragma once

namespace sphaerix {

// Marks the graphics driver's libraries that are loaded now (Mesa's DRI drivers, gallium,
// LLVM, the GL dispatch) as never to be unloaded. Call it before the display closes.
// Returns how many it marked.
int KeepGraphicsDriverLoaded();

}  // namespace sphaerix
