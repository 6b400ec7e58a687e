#include "core/bridge/WakePipe.h"

#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

#include "core/bridge/TransportError.h"

namespace notch {
namespace {

bool makePipe(int fds[2]) {
#if defined(__APPLE__)
  if (::pipe(fds) != 0) {
    return false;
  }
  for (int i = 0; i < 2; ++i) {
    const int flags = ::fcntl(fds[i], F_GETFL);
    if (flags < 0 || ::fcntl(fds[i], F_SETFL, flags | O_NONBLOCK) != 0 || ::fcntl(fds[i], F_SETFD, FD_CLOEXEC) != 0) {
      const int error = errno;
      ::close(fds[0]);
      ::close(fds[1]);
      errno = error;
      return false;
    }
  }
  return true;
#else
  // Close-on-exec from the first instant, as for the bridge sockets.
  return ::pipe2(fds, O_NONBLOCK | O_CLOEXEC) == 0;
#endif
}

} // namespace

WakePipe::WakePipe() {
  int fds[2];
  if (!makePipe(fds)) {
    throw TransportError::system(errno);
  }
  read_.reset(fds[0]);
  write_.reset(fds[1]);
}

void WakePipe::notify() const {
  const char byte = 1;
  // A full pipe is already readable, which is all a notification needs.
  [[maybe_unused]] const ssize_t written = ::write(write_.get(), &byte, 1);
}

void WakePipe::drain() const {
  char buffer[64];
  while (::read(read_.get(), buffer, sizeof buffer) > 0) {
  }
}

} // namespace notch
