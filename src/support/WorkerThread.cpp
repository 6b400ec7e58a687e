#include "support/WorkerThread.h"

#include <thread>

namespace notch {

void runOnWorkerThread(std::function<void()> work) { std::thread(std::move(work)).detach(); }

} // namespace notch
