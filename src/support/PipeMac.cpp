#include "support/Pipe.h"

#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

namespace notch {

bool makeNonBlockingPipe(int fds[2]) {
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
}

} // namespace notch
