#include "support/FileDescriptor.h"

#include <unistd.h>

namespace notch {

FileDescriptor& FileDescriptor::operator=(FileDescriptor&& other) noexcept {
  if (this != &other) {
    reset(other.release());
  }
  return *this;
}

int FileDescriptor::release() {
  const int fd = fd_;
  fd_ = -1;
  return fd;
}

void FileDescriptor::reset(int fd) {
  if (fd_ >= 0) {
    // close() may fail with EINTR, but the descriptor is released either way
    // on the systems we support; retrying could close someone else's.
    ::close(fd_);
  }
  fd_ = fd;
}

} // namespace notch
