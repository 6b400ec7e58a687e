#include "support/ManualTaskQueue.h"

#include <algorithm>

namespace notch::testing {

TaskHandle ManualTaskQueue::postAfter(double seconds, std::function<void()> task) {
  return schedule(clock_.uptime() + seconds, 0, std::move(task));
}

TaskHandle ManualTaskQueue::repeat(double interval, double, double firstFire, std::function<void()> task) {
  return schedule(clock_.uptime() + firstFire, std::max(interval, 0.001), std::move(task)); // as SerialQueue
}

TaskHandle ManualTaskQueue::schedule(double due, double interval, std::function<void()> task) {
  auto cancelled = std::make_shared<std::atomic<bool>>(false);
  timers_.emplace(Key{due, scheduled_++},
                  Timer{cancelled, std::make_shared<std::function<void()>>(std::move(task)), interval});
  return TaskHandle(std::move(cancelled));
}

void ManualTaskQueue::run(const std::function<void()>& work) {
  ++running_;
  work();
  --running_;
}

void ManualTaskQueue::sync(const std::function<void()>& work) {
  if (isCurrent()) {
    work();
    return;
  }
  runUntilIdle();
  run(work);
}

void ManualTaskQueue::runUntilIdle() {
  for (;;) {
    std::function<void()> task;
    {
      std::lock_guard guard(readyMutex_);
      if (ready_.empty()) {
        return;
      }
      task = std::move(ready_.front());
      ready_.pop_front();
    }
    run(task);
  }
}

void ManualTaskQueue::advance(double seconds) {
  const double target = clock_.uptime() + seconds;
  for (;;) {
    runUntilIdle();
    if (timers_.empty() || timers_.begin()->first.first > target) {
      break;
    }
    const auto earliest = timers_.begin();
    const double due = earliest->first.first;
    Timer timer = earliest->second;
    timers_.erase(earliest);
    if (timer.cancelled->load()) {
      continue;
    }
    if (due > clock_.uptime()) {
      clock_.advance(due - clock_.uptime());
    }
    if (timer.interval > 0) {
      // As in production: one interval after the due time, or one interval
      // from now when the fire comes late.
      const double next = due + timer.interval;
      timers_.emplace(Key{next > clock_.uptime() ? next : clock_.uptime() + timer.interval, scheduled_++}, timer);
    }
    run(*timer.task);
  }
  if (target > clock_.uptime()) {
    clock_.advance(target - clock_.uptime());
  }
  runUntilIdle();
}

std::size_t ManualTaskQueue::scheduledCount() const {
  return static_cast<std::size_t>(
      std::count_if(timers_.begin(), timers_.end(), [](const auto& entry) { return !entry.second.cancelled->load(); }));
}

} // namespace notch::testing
