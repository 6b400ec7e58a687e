#pragma once

// Counts outstanding units of work: `enter` before starting one, `leave` when
// it ends, `wait` until none is left. Thread-safe.

#include <condition_variable>
#include <cstddef>
#include <mutex>

namespace notch {

class DispatchGroup {
public:
  void enter();
  void leave(); // must match an earlier enter()
  void wait();
  // Waits at most `seconds`; true if the group became empty.
  bool waitFor(double seconds);

private:
  std::mutex mutex_;
  std::condition_variable empty_;
  std::size_t count_ = 0;
};

} // namespace notch
