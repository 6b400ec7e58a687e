#pragma once

// The seam between code that schedules work and the passing of real time: a
// serial queue of tasks that also runs work after a delay and at a repeating
// interval. Everything a TaskQueue runs runs one item at a time, in order.
// In production a SerialQueue (its own thread, the steady clock) or the app's
// main loop implements it; in tests a virtual-time queue on the test's own
// thread does, so time-outs and intervals are tested without sleeping.
//
// Delayed and repeating work is given back as a TaskHandle. Cancelling it (or
// destroying it) from the queue itself means the work never runs again;
// from another thread, a run that is just starting may still happen, none
// after it.

#include <atomic>
#include <functional>
#include <memory>

namespace notch {

// Owns one piece of scheduled work and cancels it when destroyed or
// replaced. An empty handle (default-constructed or moved from) owns nothing.
class TaskHandle {
public:
  TaskHandle() = default;
  explicit TaskHandle(std::shared_ptr<std::atomic<bool>> cancelled) : cancelled_(std::move(cancelled)) {}
  ~TaskHandle() { cancel(); }
  TaskHandle(TaskHandle&& other) noexcept = default;
  TaskHandle& operator=(TaskHandle&& other) noexcept {
    if (this != &other) {
      cancel();
      cancelled_ = std::move(other.cancelled_);
    }
    return *this;
  }
  TaskHandle(const TaskHandle&) = delete;
  TaskHandle& operator=(const TaskHandle&) = delete;

  void cancel() {
    if (cancelled_) {
      cancelled_->store(true);
    }
  }
  bool empty() const { return cancelled_ == nullptr; }

private:
  std::shared_ptr<std::atomic<bool>> cancelled_;
};

class TaskQueue {
public:
  virtual ~TaskQueue() = default;

  // Runs `task` soon, after everything posted before it. Tasks must not throw.
  virtual void post(std::function<void()> task) = 0;

  // Runs `task` once, `seconds` from now, unless the handle is cancelled.
  [[nodiscard]] virtual TaskHandle postAfter(double seconds, std::function<void()> task) = 0;

  // Runs `task` first after `firstFire` seconds, then every `interval`
  // seconds (at least a millisecond), until the handle is cancelled. Fires coalesce: while the queue
  // is busy past several fire times, the task runs once, and the missed
  // times are skipped. `leeway` is how late a fire may come.
  [[nodiscard]] virtual TaskHandle repeat(double interval, double leeway, double firstFire,
                                          std::function<void()> task) = 0;

  // Runs `work` on the queue and returns when it has run; inline when called
  // from the queue itself. Rethrows what `work` threw.
  virtual void sync(const std::function<void()>& work) = 0;

  // True when called from work this queue runs.
  virtual bool isCurrent() const = 0;
};

} // namespace notch
