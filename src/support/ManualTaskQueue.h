#pragma once

// A TaskQueue in virtual time (the tests', and the built-in UI checks'):
// nothing runs until its owner says so, on the owner's own thread.
// `runUntilIdle` runs what is posted (and what that posts); `advance`
// moves the clock it shares with the code under test,
// firing delayed and repeating work at exactly its times, with the same
// coalescing as the production queue. `sync` runs inline, after what was
// posted before it. `post` alone may come from any thread (services post
// their callbacks to the app's main queue from their own threads).

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <utility>

#include "support/ManualClock.h"
#include "support/TaskQueue.h"

namespace notch {

class ManualTaskQueue final : public TaskQueue {
public:
  explicit ManualTaskQueue(ManualClock& clock) : clock_(clock) {}

  void post(std::function<void()> task) override {
    std::lock_guard guard(readyMutex_);
    ready_.push_back(std::move(task));
  }
  [[nodiscard]] TaskHandle postAfter(double seconds, std::function<void()> task) override {
    return schedule(clock_.uptime() + seconds, 0, std::move(task));
  }
  [[nodiscard]] TaskHandle repeat(double interval, double, double firstFire, std::function<void()> task) override {
    return schedule(clock_.uptime() + firstFire, std::max(interval, 0.001), std::move(task)); // as SerialQueue
  }
  void sync(const std::function<void()>& work) override {
    if (!isCurrent()) {
      runUntilIdle();
    }
    run(work);
  }
  bool isCurrent() const override { return running_ > 0; }

  void runUntilIdle() {
    for (std::function<void()> task; takeReady(task);) {
      run(task);
    }
  }

  // Posted work not run yet.
  std::size_t readyCount() const {
    std::lock_guard guard(readyMutex_);
    return ready_.size();
  }

  void advance(double seconds) {
    const double target = clock_.uptime() + seconds;
    for (runUntilIdle(); !timers_.empty() && timers_.begin()->first.first <= target; runUntilIdle()) {
      const double due = timers_.begin()->first.first;
      Timer timer = timers_.begin()->second;
      timers_.erase(timers_.begin());
      if (timer.cancelled->load()) {
        continue;
      }
      clock_.advance(std::max(due - clock_.uptime(), 0.0));
      if (timer.interval > 0) {
        // As in production: one interval after the due time, or one interval
        // from now when the fire comes late.
        const double next = due + timer.interval;
        timers_.emplace(Key{next > clock_.uptime() ? next : clock_.uptime() + timer.interval, scheduled_++}, timer);
      }
      run(*timer.task);
    }
    clock_.advance(std::max(target - clock_.uptime(), 0.0));
    runUntilIdle();
  }

  // Delayed or repeating work not cancelled yet.
  std::size_t scheduledCount() const {
    return static_cast<std::size_t>(std::count_if(timers_.begin(), timers_.end(),
                                                  [](const auto& entry) { return !entry.second.cancelled->load(); }));
  }

private:
  struct Timer {
    std::shared_ptr<std::atomic<bool>> cancelled;
    std::shared_ptr<std::function<void()>> task;
    double interval = 0; // zero: runs once
  };
  using Key = std::pair<double, std::uint64_t>; // due (uptime), order of scheduling

  TaskHandle schedule(double due, double interval, std::function<void()> task) {
    auto cancelled = std::make_shared<std::atomic<bool>>(false);
    timers_.emplace(Key{due, scheduled_++},
                    Timer{cancelled, std::make_shared<std::function<void()>>(std::move(task)), interval});
    return TaskHandle(std::move(cancelled));
  }
  void run(const std::function<void()>& work) {
    ++running_;
    work();
    --running_;
  }
  bool takeReady(std::function<void()>& task) {
    std::lock_guard guard(readyMutex_);
    if (ready_.empty()) {
      return false;
    }
    task = std::move(ready_.front());
    ready_.pop_front();
    return true;
  }

  ManualClock& clock_;
  mutable std::mutex readyMutex_;
  std::deque<std::function<void()>> ready_;
  std::map<Key, Timer> timers_;
  std::uint64_t scheduled_ = 0;
  int running_ = 0;
};

} // namespace notch
