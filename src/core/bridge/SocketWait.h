#pragma once

// One bounded wait on a socket, the building block of every bridge loop:
// all bridge sockets are non-blocking and every wait is a short poll() that
// the caller repeats against its own deadline.

#include "core/bridge/WakePipe.h"

namespace notch {

enum class SocketWaitResult {
  ready, // the socket reported one of the events, or an error or hang-up
  woken, // `wake` was notified (and has been drained); re-check your state
  idle,  // nothing happened within the time, or the poll was interrupted
};

// Polls `fd` for `events` (POLLIN / POLLOUT) for at most `seconds`, and
// `wake` for readability when given.
SocketWaitResult waitOnSocket(int fd, short events, double seconds, const WakePipe* wake = nullptr);

} // namespace notch
