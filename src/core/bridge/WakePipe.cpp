#include "core/bridge/WakePipe.h"

#include <cerrno>

#include <unistd.h>

#include "core/bridge/TransportError.h"
#include "support/Pipe.h"

namespace notch {
WakePipe::WakePipe() {
  int fds[2];
  if (!makeNonBlockingPipe(fds)) {
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
