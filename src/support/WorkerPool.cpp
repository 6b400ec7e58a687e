#include "support/WorkerPool.h"

#include <chrono>

namespace notch {

void WorkerPool::run(std::function<void()> work) {
  std::vector<std::thread> retired;
  {
    std::lock_guard guard(mutex_);
    queue_.push_back(std::move(work));
    if (queue_.size() <= idle_) {
      wake_.notify_one();
    } else {
      try {
        std::thread thread([this] { workerLoop(); });
        threads_.emplace(thread.get_id(), std::move(thread));
      } catch (...) {
        queue_.pop_back(); // nobody took it: no thread was free
        throw;
      }
    }
    retired.swap(retired_);
  }
  for (std::thread& thread : retired) {
    thread.join();
  }
}

void WorkerPool::shutdown() {
  std::map<std::thread::id, std::thread> threads;
  std::vector<std::thread> retired;
  {
    std::lock_guard guard(mutex_);
    stopping_ = true;
    wake_.notify_all();
    threads.swap(threads_);
  }
  for (auto& [id, thread] : threads) {
    thread.join();
  }
  std::lock_guard guard(mutex_);
  retired.swap(retired_);
  stopping_ = false;
  // Retired threads hold no lock once they are in the list; joining them
  // here under the lock cannot deadlock.
  for (std::thread& thread : retired) {
    thread.join();
  }
}

std::size_t WorkerPool::idleThreads() const {
  std::lock_guard guard(mutex_);
  return idle_;
}

void WorkerPool::workerLoop() {
  std::unique_lock lock(mutex_);
  for (;;) {
    if (queue_.empty()) {
      if (stopping_) {
        return;
      }
      ++idle_;
      const bool woken = wake_.wait_for(lock, std::chrono::duration<double>(idleSeconds_),
                                        [this] { return !queue_.empty() || stopping_; });
      --idle_;
      if (!woken) {
        // Idle too long: hand our own thread object over to be joined.
        auto self = threads_.extract(std::this_thread::get_id());
        if (!self.empty()) {
          retired_.push_back(std::move(self.mapped()));
        }
        return;
      }
      continue;
    }
    std::function<void()> work = std::move(queue_.front());
    queue_.pop_front();
    lock.unlock();
    work();
    work = nullptr; // release captures outside the lock too
    lock.lock();
  }
}

} // namespace notch
