#pragma once

// A repeating timer whose handler runs on a serial queue: first after
// `firstFire` seconds, then every `interval` seconds. Like a dispatch timer
// source, fires coalesce: while one is still waiting on a busy queue, no
// second one is queued. `leeway` is how late a fire may come; this
// implementation fires on time and keeps it only as the owner's statement.
//
// The handler should hold its owner weakly, so that the timer never keeps
// the owner alive. After `cancel` (or destruction) returns, no fire that
// has not started yet runs; called from the queue itself, that means no
// fire runs at all any more.

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "support/SerialQueue.h"

namespace notch {

class RepeatingTimer {
public:
  RepeatingTimer(SerialQueue& queue, double interval, double leeway, double firstFire, std::function<void()> handler);
  ~RepeatingTimer() { cancel(); }
  RepeatingTimer(const RepeatingTimer&) = delete;
  RepeatingTimer& operator=(const RepeatingTimer&) = delete;

  void cancel();

  double interval() const { return interval_; }
  double leeway() const { return leeway_; }

private:
  struct Shared {
    std::mutex mutex;
    std::condition_variable wake;
    bool cancelled = false;
    bool firePending = false;
  };

  void run(double firstFire);

  SerialQueue& queue_;
  const double interval_;
  const double leeway_;
  const std::function<void()> handler_;
  const std::shared_ptr<Shared> shared_ = std::make_shared<Shared>();
  std::thread clock_;
};

} // namespace notch
