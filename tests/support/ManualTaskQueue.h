#pragma once

// A TaskQueue in virtual time for tests: nothing runs until the test says
// so, on the test's own thread. `runUntilIdle` runs what is posted (and what
// that posts); `advance` moves the clock it shares with the code under test,
// firing delayed and repeating work at exactly its times, with the same
// coalescing as the production queue. `sync` runs inline, after what was
// posted before it. `post` alone may come from any thread (services post
// their callbacks to the app's main queue from their own threads).

#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <utility>

#include "support/FakeClock.h"
#include "support/TaskQueue.h"

namespace notch::testing {

class ManualTaskQueue final : public TaskQueue {
public:
  explicit ManualTaskQueue(FakeClock& clock) : clock_(clock) {}

  void post(std::function<void()> task) override {
    std::lock_guard guard(readyMutex_);
    ready_.push_back(std::move(task));
  }
  [[nodiscard]] TaskHandle postAfter(double seconds, std::function<void()> task) override;
  [[nodiscard]] TaskHandle repeat(double interval, double leeway, double firstFire,
                                  std::function<void()> task) override;
  void sync(const std::function<void()>& work) override;
  bool isCurrent() const override { return running_ > 0; }

  void runUntilIdle();
  void advance(double seconds);

  // Delayed or repeating work not cancelled yet.
  std::size_t scheduledCount() const;
  // Posted work not run yet.
  std::size_t readyCount() const {
    std::lock_guard guard(readyMutex_);
    return ready_.size();
  }

private:
  struct Timer {
    std::shared_ptr<std::atomic<bool>> cancelled;
    std::shared_ptr<std::function<void()>> task;
    double interval = 0; // zero: runs once
  };
  using Key = std::pair<double, std::uint64_t>; // due (uptime), order of scheduling

  TaskHandle schedule(double due, double interval, std::function<void()> task);
  void run(const std::function<void()>& work);

  FakeClock& clock_;
  mutable std::mutex readyMutex_;
  std::deque<std::function<void()>> ready_;
  std::map<Key, Timer> timers_;
  std::uint64_t scheduled_ = 0;
  int running_ = 0;
};

} // namespace notch::testing
