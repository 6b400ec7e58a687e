#include "core/bridge/HookInput.h"

#include <algorithm>
#include <cerrno>
#include <vector>

#include <poll.h>
#include <unistd.h>

namespace notch {

std::optional<std::string> readHookInput(int fd, const Clock& clock, const HookInputLimits& limits) {
  const double deadline = clock.uptime() + limits.budget;
  std::string input;
  std::vector<char> chunk(limits.chunkBytes);
  for (;;) {
    const double remaining = deadline - clock.uptime();
    if (remaining <= 0) {
      return std::nullopt;
    }
    pollfd entry{fd, POLLIN, 0};
    const int waitMilliseconds = static_cast<int>(std::max(std::min(limits.pollStep, remaining), 0.001) * 1000);
    const int ready = ::poll(&entry, 1, waitMilliseconds);
    if (ready < 0 && errno != EINTR) {
      return std::nullopt;
    }
    if (ready <= 0) {
      continue;
    }
    // A hang-up or an error is readable too: the read below tells which.
    const ssize_t count = ::read(fd, chunk.data(), chunk.size());
    if (count == 0) {
      return input;
    }
    if (count < 0) {
      if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) {
        continue;
      }
      return std::nullopt;
    }
    if (input.size() + static_cast<std::size_t>(count) > limits.limitBytes) {
      return std::nullopt;
    }
    input.append(chunk.data(), static_cast<std::size_t>(count));
  }
}

} // namespace notch
