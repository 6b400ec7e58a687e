#pragma once

// Runs work on a fresh, detached thread; the stand-in for a global concurrent
// queue. Whoever starts work this way tracks its end (usually with a
// DispatchGroup), because the thread cannot be joined. Throws
// std::system_error when the system cannot create a thread.

#include <functional>

namespace notch {

void runOnWorkerThread(std::function<void()> work);

} // namespace notch
