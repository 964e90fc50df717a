#include "platform/user_folders.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

namespace sphaerix {

std::string AccountHomeFolder() {
  long size = sysconf(_SC_GETPW_R_SIZE_MAX);
  if (size <= 0) size = 16384;
  std::vector<char> buffer(static_cast<std::size_t>(size));
  passwd entry{};
  passwd* found = nullptr;
  if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found || !found->pw_dir)
    return {};
  const std::string home = found->pw_dir;
  return !home.empty() && home[0] == '/' ? home : std::string();
}

std::string HomeFolder() {
  const char* home = std::getenv("HOME");
  if (home && home[0] == '/') return home;
  return AccountHomeFolder();
}

std::string XdgFolder(const char* AVariable, const char* ADefault) {
  const char* value = std::getenv(AVariable);
  if (value && value[0] == '/') return value;
  const std::string home = HomeFolder();
  if (home.empty()) return {};
  return (home == "/" ? std::string() : home) + "/" + ADefault;
}

}  // namespace sphaerix
