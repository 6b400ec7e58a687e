#include "support/SerialQueue.h"

#include <algorithm>
#include <cmath>
#include <exception>

namespace notch {
namespace {

thread_local const SerialQueue* currentQueue = nullptr;

// Times from outside made safe to convert: negative ones (and NaN) are now,
// anything beyond a year is a year.
std::chrono::steady_clock::duration durationOf(double seconds) {
  const double bounded = std::isnan(seconds) ? 0.0 : std::clamp(seconds, 0.0, 365.0 * 24 * 3600);
  return std::chrono::duration_cast<std::chrono::steady_clock::duration>(std::chrono::duration<double>(bounded));
}

// A repeating interval of zero would fire without end; a millisecond is the
// shortest one.
constexpr double kShortestInterval = 0.001;

} // namespace

SerialQueue::SerialQueue(std::string label) : label_(std::move(label)) {
  worker_ = std::thread([this] { drain(); });
}

SerialQueue::~SerialQueue() {
  {
    std::lock_guard guard(mutex_);
    closing_ = true;
  }
  wake_.notify_one();
  worker_.join();
}

void SerialQueue::post(std::function<void()> task) {
  {
    std::lock_guard guard(mutex_);
    pending_.push_back(std::move(task));
  }
  wake_.notify_one();
}

TaskHandle SerialQueue::postAfter(double seconds, std::function<void()> task) {
  return schedule(std::chrono::steady_clock::now() + durationOf(seconds), {}, std::move(task));
}

TaskHandle SerialQueue::repeat(double interval, double /*leeway: fires come on time here*/, double firstFire,
                               std::function<void()> task) {
  return schedule(std::chrono::steady_clock::now() + durationOf(firstFire),
                  durationOf(std::isnan(interval) ? kShortestInterval : std::max(interval, kShortestInterval)),
                  std::move(task));
}

TaskHandle SerialQueue::schedule(Instant due, std::chrono::steady_clock::duration interval,
                                 std::function<void()> task) {
  auto cancelled = std::make_shared<std::atomic<bool>>(false);
  {
    std::lock_guard guard(mutex_);
    // Cancelled work is dropped here rather than at its due time, so that
    // what it holds goes as soon as more work is scheduled.
    std::erase_if(timers_, [](const auto& entry) { return entry.second.cancelled->load(); });
    timers_.emplace(due, Timer{cancelled, std::make_shared<std::function<void()>>(std::move(task)), interval});
  }
  wake_.notify_one();
  return TaskHandle(std::move(cancelled));
}

void SerialQueue::sync(const std::function<void()>& work) {
  if (isCurrent()) {
    work();
    return;
  }
  std::mutex doneMutex;
  std::condition_variable doneSignal;
  bool done = false;
  std::exception_ptr failure;
  post([&] {
    try {
      work();
    } catch (...) {
      failure = std::current_exception(); // rethrown to the waiting caller, as an inline call would
    }
    std::lock_guard guard(doneMutex);
    done = true;
    doneSignal.notify_one();
  });
  std::unique_lock lock(doneMutex);
  doneSignal.wait(lock, [&] { return done; });
  if (failure) {
    std::rethrow_exception(failure);
  }
}

bool SerialQueue::isCurrent() const { return currentQueue == this; }

// Runs the earliest timer if it has come due (the lock is released while it
// runs). A repeating one is scheduled again one interval after its due time,
// or one interval from now when the queue fell behind, so missed fires
// coalesce into this one.
bool SerialQueue::runDueTimer(std::unique_lock<std::mutex>& lock) {
  const Instant now = std::chrono::steady_clock::now();
  if (timers_.empty() || timers_.begin()->first > now) {
    return false;
  }
  const auto earliest = timers_.begin();
  Timer timer = earliest->second;
  const Instant due = earliest->first;
  timers_.erase(earliest);
  if (timer.cancelled->load()) {
    return true;
  }
  if (timer.interval.count() > 0) {
    const Instant next = due + timer.interval;
    timers_.emplace(next > now ? next : now + timer.interval, timer);
  }
  lock.unlock();
  if (!timer.cancelled->load()) {
    (*timer.task)();
  }
  timer = {}; // release captures before taking the lock again
  lock.lock();
  return true;
}

void SerialQueue::drain() {
  currentQueue = this;
  std::unique_lock lock(mutex_);
  for (;;) {
    // A due timer goes first, so that a steady stream of posts cannot hold
    // timers back; posts still run in their own order.
    if (!closing_ && runDueTimer(lock)) {
      continue;
    }
    if (!pending_.empty()) {
      std::function<void()> work = std::move(pending_.front());
      pending_.pop_front();
      lock.unlock();
      work();
      work = nullptr;
      lock.lock();
      continue;
    }
    if (closing_) {
      return; // everything posted has run; timers are dropped
    }
    if (timers_.empty()) {
      wake_.wait(lock, [this] { return closing_ || !pending_.empty() || !timers_.empty(); });
    } else {
      wake_.wait_until(lock, timers_.begin()->first);
    }
  }
}

} // namespace notch
