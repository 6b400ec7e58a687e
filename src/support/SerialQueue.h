#pragma once

// A labelled serial queue: work items run one at a time, in the order they
// were queued, on one worker thread owned by the queue.
//
// `sync` runs inline when called from the queue itself, so code that may or
// may not already be on the queue can use it without deadlocking. Destroying
// the queue runs everything still queued, then joins the worker; it must not
// be destroyed from its own thread. Work given to `async` must not throw;
// an exception thrown by `sync` work reaches the caller of `sync`.

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace notch {

class SerialQueue {
public:
  explicit SerialQueue(std::string label);
  ~SerialQueue();
  SerialQueue(const SerialQueue&) = delete;
  SerialQueue& operator=(const SerialQueue&) = delete;

  const std::string& label() const { return label_; }

  // Queues `work` and returns at once.
  void async(std::function<void()> work);

  // Runs `work` on the queue and returns when it has run; rethrows what
  // `work` threw.
  void sync(const std::function<void()>& work);

  // True when called from a work item of this queue.
  bool isCurrent() const;

private:
  void drain();

  const std::string label_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::function<void()>> pending_;
  bool closing_ = false;
  std::thread worker_;
};

} // namespace notch
