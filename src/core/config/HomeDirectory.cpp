#include "core/config/HomeDirectory.h"

#include <climits>
#include <cstdlib>
#include <vector>

#include <pwd.h>
#include <unistd.h>

namespace notch {
namespace {

std::optional<std::string> unresolvedHome() {
  if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/') {
    return std::string(home);
  }
  const long suggested = ::sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(suggested > 0 ? static_cast<std::size_t>(suggested) : 16384);
  passwd entry{};
  passwd* found = nullptr;
  if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr ||
      found->pw_dir == nullptr || found->pw_dir[0] != '/') {
    return std::nullopt;
  }
  return std::string(found->pw_dir);
}

} // namespace

std::optional<std::string> homeDirectory() {
  const auto home = unresolvedHome();
  if (!home) {
    return std::nullopt;
  }
  char resolved[PATH_MAX];
  if (::realpath(home->c_str(), resolved) == nullptr) {
    return home; // a missing home stays as given; the walk reports it
  }
  return std::string(resolved);
}

} // namespace notch
