#include "support/RepeatingTimer.h"

#include <chrono>

namespace notch {

RepeatingTimer::RepeatingTimer(SerialQueue& queue, double interval, double leeway, double firstFire,
                               std::function<void()> handler)
    : queue_(queue), interval_(interval), leeway_(leeway), handler_(std::move(handler)) {
  clock_ = std::thread([this, firstFire] { run(firstFire); });
}

void RepeatingTimer::run(double firstFire) {
  using Clock = std::chrono::steady_clock;
  auto next = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(firstFire));
  const auto step = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(interval_));
  std::unique_lock lock(shared_->mutex);
  for (;;) {
    if (shared_->wake.wait_until(lock, next, [this] { return shared_->cancelled; })) {
      return;
    }
    if (!shared_->firePending) {
      shared_->firePending = true;
      // The fire holds the shared state, not the timer, so a fire still
      // queued after the timer is gone finds `cancelled` and does nothing.
      queue_.async([shared = shared_, handler = handler_] {
        {
          std::lock_guard guard(shared->mutex);
          shared->firePending = false;
          if (shared->cancelled) {
            return;
          }
        }
        handler();
      });
    }
    next += step;
    if (next < Clock::now()) {
      next = Clock::now() + step; // fell behind: skip the missed fires
    }
  }
}

void RepeatingTimer::cancel() {
  {
    std::lock_guard guard(shared_->mutex);
    shared_->cancelled = true;
  }
  shared_->wake.notify_all();
  if (clock_.joinable()) {
    clock_.join();
  }
}

} // namespace notch
