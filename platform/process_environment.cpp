#include "platform/process_environment.h"

#include <sys/stat.h>
#include <sys/statvfs.h>

#include <cstdio>
#include <cstdlib>

#include "platform/user_folders.h"

namespace sphaerix {

namespace {

bool IsSet(const char* AName) {
  const char* value = std::getenv(AName);
  return value && *value;
}

// Mesa's reading of a boolean variable.
bool IsTrue(const char* AName) {
  const char* value = std::getenv(AName);
  if (!value) return false;
  const std::string v = value;
  return v == "1" || v == "true" || v == "yes" || v == "y";
}

}  // namespace

bool FillInHome() {
  const char* home = std::getenv("HOME");
  if (home && home[0] == '/') return false;
  const std::string account = AccountHomeFolder();
  if (account.empty()) return false;
  return setenv("HOME", account.c_str(), 1) == 0;
}

std::string ShaderCacheFolder() {
  for (const char* name : {"MESA_SHADER_CACHE_DIR", "MESA_GLSL_CACHE_DIR"})
    if (IsSet(name)) return std::getenv(name);
  const std::string cache = XdgFolder("XDG_CACHE_HOME", ".cache");
  return cache.empty() ? cache : cache + "/mesa_shader_cache";
}

std::int64_t FreeBytesFor(const std::string& AFolder) {
  std::string folder = AFolder;
  struct stat st {};
  while (!folder.empty() && stat(folder.c_str(), &st) != 0) {
    const std::size_t slash = folder.find_last_of('/');
    folder = slash == std::string::npos ? std::string() : slash == 0 ? std::string("/") : folder.substr(0, slash);
  }
  struct statvfs fs {};
  if (folder.empty() || statvfs(folder.c_str(), &fs) != 0) return -1;
  // No file can be made without a free inode either.
  if (fs.f_files > 0 && fs.f_favail == 0) return 0;
  return static_cast<std::int64_t>(fs.f_bavail) * static_cast<std::int64_t>(fs.f_frsize);
}

std::string KeepShaderCacheOffAFullDisk() {
  if (IsTrue("MESA_SHADER_CACHE_DISABLE") || IsTrue("MESA_GLSL_CACHE_DISABLE")) return {};
  const std::string folder = ShaderCacheFolder();
  if (folder.empty()) return {};
  const std::int64_t free = FreeBytesFor(folder);
  if (free < 0 || free >= ShaderCacheRoom) return {};
  // Read when the driver starts, which is after this.
  setenv("MESA_SHADER_CACHE_DISABLE", "true", 1);
  setenv("MESA_GLSL_CACHE_DISABLE", "true", 1);
  return "the disk of the shader cache (" + folder + ") is full, " + std::to_string(free / 1024) +
         " KiB free; the cache is off for this run, so the start takes longer.";
}

void PrepareProcessEnvironment() {
  FillInHome();
  const std::string message = KeepShaderCacheOffAFullDisk();
  if (!message.empty()) std::fprintf(stderr, "Sphaerix: %s\n", message.c_str());
}

}  // namespace sphaerix
