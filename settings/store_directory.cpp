#include "settings/store_directory.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

namespace tessaly {

namespace {

std::filesystem::path AbsoluteFromEnvironment(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr) return {};
  std::filesystem::path path(value);
  return path.is_absolute() ? path : std::filesystem::path();
}

std::filesystem::path HomeDirectory() {
  std::filesystem::path home = AbsoluteFromEnvironment("HOME");
  if (!home.empty()) return home;
  std::vector<char> buffer(16 * 1024);
  struct passwd entry {};
  struct passwd* found = nullptr;
  if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
      found->pw_dir != nullptr && found->pw_dir[0] == '/') {
    return found->pw_dir;
  }
  return {};
}

// $variable, or the folder below the home folder when it is not set or not
// absolute (which the convention says to ignore); empty without a home.
std::filesystem::path ProgramFolder(const char* variable, const char* belowHome) {
  std::filesystem::path base = AbsoluteFromEnvironment(variable);
  if (base.empty()) {
    const std::filesystem::path home = HomeDirectory();
    if (home.empty()) return {};
    base = home / belowHome;
  }
  return base / "tessaly";
}

}  // namespace

std::filesystem::path DefaultStoreDirectory() { return ProgramFolder("XDG_CONFIG_HOME", ".config"); }

std::filesystem::path DefaultDataDirectory() { return ProgramFolder("XDG_DATA_HOME", ".local/share"); }

}  // namespace tessaly
