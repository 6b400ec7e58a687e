#pragma once

namespace notch {

// A pipe whose both ends are non-blocking and close-on-exec (from the first
// instant where the system allows it). False (errno set) on failure.
bool makeNonBlockingPipe(int fds[2]);

} // namespace notch
