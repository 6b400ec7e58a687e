#include "support/DispatchGroup.h"

#include <cassert>
#include <chrono>

namespace notch {

void DispatchGroup::enter() {
  std::lock_guard guard(mutex_);
  ++count_;
}

void DispatchGroup::leave() {
  std::lock_guard guard(mutex_);
  assert(count_ > 0);
  if (--count_ == 0) {
    // Notify under the lock: a waiter may destroy the group as soon as it
    // sees zero, and must not do so while we still touch it.
    empty_.notify_all();
  }
}

void DispatchGroup::wait() {
  std::unique_lock lock(mutex_);
  empty_.wait(lock, [this] { return count_ == 0; });
}

bool DispatchGroup::waitFor(double seconds) {
  std::unique_lock lock(mutex_);
  return empty_.wait_for(lock, std::chrono::duration<double>(seconds), [this] { return count_ == 0; });
}

} // namespace notch
