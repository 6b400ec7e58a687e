#include "support/SerialQueue.h"

#include <exception>

namespace notch {
namespace {

thread_local const SerialQueue* currentQueue = nullptr;

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

void SerialQueue::async(std::function<void()> work) {
  {
    std::lock_guard guard(mutex_);
    pending_.push_back(std::move(work));
  }
  wake_.notify_one();
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
  async([&] {
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

void SerialQueue::drain() {
  currentQueue = this;
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return closing_ || !pending_.empty(); });
    if (pending_.empty()) {
      return; // closing and nothing left to run
    }
    std::function<void()> work = std::move(pending_.front());
    pending_.pop_front();
    lock.unlock();
    work();
    work = nullptr; // release captures before taking the lock again
    lock.lock();
  }
}

} // namespace notch
