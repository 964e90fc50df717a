// What the process's environment needs before the toolkit and the graphics driver start:
// a home folder, and a driver shader cache that cannot bring the program down.
#pragma once

#include <cstdint>
#include <string>

namespace sphaerix {

// Sets HOME to the account's home folder when it is unset, empty or relative, so that
// the Documents folder and the save dialog's home are the user's, not "/" or the folder
// the program was started from. True when it set HOME.
bool FillInHome();

// The folder of the driver's shader cache as Mesa picks it: MESA_SHADER_CACHE_DIR (or
// its older name MESA_GLSL_CACHE_DIR), else "mesa_shader_cache" in XDG_CACHE_HOME, else
// in ~/.cache.
std::string ShaderCacheFolder();

// The bytes free for this user on the disk that holds AFolder (or would hold it: its
// nearest existing parent); -1 when that cannot be told.
std::int64_t FreeBytesFor(const std::string& AFolder);

// The room the shader cache needs to take a first entry: its index (1.25 MiB, which Mesa
// maps into memory and writes through the mapping, so that a disk without room for it
// kills the program with SIGBUS) and the first frame's programs.
constexpr std::int64_t ShaderCacheRoom = 4 << 20;

// Switches the driver's shader cache off for this run when its disk cannot hold an entry,
// and says so: the message, once, or empty when the cache stays as it was (on, or
// already off).
std::string KeepShaderCacheOffAFullDisk();

// Both, before the toolkit starts; a message goes to standard error.
void PrepareProcessEnvironment();

}  // namespace sphaerix
