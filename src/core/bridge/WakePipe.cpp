#include "core/bridge/WakePipe.h"

#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

#include "core/bridge/TransportError.h"

namespace notch {
namespace {

bool makeNonBlockingAndCloseOnExec(int fd) {
  const int flags = ::fcntl(fd, F_GETFL);
  return flags >= 0 && ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0 && ::fcntl(fd, F_SETFD, FD_CLOEXEC) == 0;
}

} // namespace

WakePipe::WakePipe() {
  int fds[2];
  if (::pipe(fds) != 0) {
    throw TransportError::system(errno);
  }
  read_.reset(fds[0]);
  write_.reset(fds[1]);
  if (!makeNonBlockingAndCloseOnExec(fds[0]) || !makeNonBlockingAndCloseOnExec(fds[1])) {
    throw TransportError::system(errno);
  }
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
