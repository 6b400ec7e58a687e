#include "support/Pipe.h"

#include <fcntl.h>
#include <unistd.h>

namespace notch {

bool makeNonBlockingPipe(int fds[2]) { return ::pipe2(fds, O_NONBLOCK | O_CLOEXEC) == 0; }

} // namespace notch
