#include "support/ExecutablePath.h"

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include <mach-o/dyld.h>

namespace notch {

std::optional<std::string> executablePath() {
  std::uint32_t size = 0;
  _NSGetExecutablePath(nullptr, &size);
  std::vector<char> path(size + 1);
  if (_NSGetExecutablePath(path.data(), &size) != 0) {
    return std::nullopt;
  }
  char resolved[PATH_MAX];
  if (::realpath(path.data(), resolved) == nullptr || resolved[0] != '/') {
    return std::nullopt;
  }
  return std::string(resolved);
}

} // namespace notch
