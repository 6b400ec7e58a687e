#include "core/bridge/SocketWait.h"

#include <cmath>

#include <poll.h>

namespace notch {

SocketWaitResult waitOnSocket(int fd, short events, double seconds, const WakePipe* wake) {
  pollfd fds[2] = {{fd, events, 0}, {wake != nullptr ? wake->readFd() : -1, POLLIN, 0}};
  // Round up so that a wait of a fraction of a millisecond still sleeps
  // instead of spinning until the deadline.
  const int milliseconds = seconds <= 0 ? 0 : static_cast<int>(std::ceil(seconds * 1000.0));
  const int count = ::poll(fds, wake != nullptr ? 2 : 1, milliseconds);
  if (count <= 0) {
    return SocketWaitResult::idle;
  }
  if (wake != nullptr && fds[1].revents != 0) {
    wake->drain();
    return SocketWaitResult::woken;
  }
  return fds[0].revents != 0 ? SocketWaitResult::ready : SocketWaitResult::idle;
}

} // namespace notch
