#pragma once

// A labelled serial queue on a worker thread of its own: the production
// TaskQueue. Tasks run one at a time in the order they were posted; delayed
// and repeating work runs on the same thread when its time (on the steady
// clock) has come, between tasks.
//
// Destroying the queue runs every task still posted, drops all delayed and
// repeating work, then joins the worker; it must not be destroyed from its
// own thread.

#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <thread>

#include "support/TaskQueue.h"

namespace notch {

class SerialQueue final : public TaskQueue {
public:
  explicit SerialQueue(std::string label);
  ~SerialQueue() override;
  SerialQueue(const SerialQueue&) = delete;
  SerialQueue& operator=(const SerialQueue&) = delete;

  const std::string& label() const { return label_; }

  void post(std::function<void()> task) override;
  [[nodiscard]] TaskHandle postAfter(double seconds, std::function<void()> task) override;
  [[nodiscard]] TaskHandle repeat(double interval, double leeway, double firstFire,
                                  std::function<void()> task) override;
  void sync(const std::function<void()>& work) override;
  bool isCurrent() const override;

private:
  using Instant = std::chrono::steady_clock::time_point;
  struct Timer {
    std::shared_ptr<std::atomic<bool>> cancelled;
    std::shared_ptr<std::function<void()>> task;
    std::chrono::steady_clock::duration interval{}; // zero: runs once
  };

  TaskHandle schedule(Instant due, std::chrono::steady_clock::duration interval, std::function<void()> task);
  void drain();
  bool runDueTimer(std::unique_lock<std::mutex>& lock);

  const std::string label_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::function<void()>> pending_;
  std::multimap<Instant, Timer> timers_;
  bool closing_ = false;
  std::thread worker_;
};

} // namespace notch
