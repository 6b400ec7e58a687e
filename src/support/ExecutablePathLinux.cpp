#include "support/ExecutablePath.h"

#include <climits>

#include <unistd.h>

namespace notch {

std::optional<std::string> executablePath() {
  char path[PATH_MAX];
  const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path);
  if (length <= 0 || static_cast<std::size_t>(length) >= sizeof path || path[0] != '/') {
    return std::nullopt;
  }
  return std::string(path, static_cast<std::size_t>(length));
}

} // namespace notch
