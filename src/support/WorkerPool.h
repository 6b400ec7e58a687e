#pragma once

// Runs work items on worker threads that are kept for reuse: the stand-in
// for a global concurrent queue. An item runs on an idle thread when there is
// one, else on a new thread, so items never wait for each other. A thread
// idle for `idleSeconds` ends by itself.
//
// Whoever runs work here tracks its end (usually with a DispatchGroup);
// `shutdown` then joins every thread, so none outlives its owner.
// Thread-safe. Work items must not throw.

#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

namespace notch {

class WorkerPool {
public:
  explicit WorkerPool(double idleSeconds = 10.0) : idleSeconds_(idleSeconds) {}
  ~WorkerPool() { shutdown(); }
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;

  // Starts `work` at once. Throws std::system_error (and runs nothing) when
  // a needed thread cannot be created.
  void run(std::function<void()> work);

  // Lets queued and running work finish, then joins every thread. The pool
  // can be used again afterwards.
  void shutdown();

  // Threads waiting for work right now.
  std::size_t idleThreads() const;

private:
  void workerLoop();

  const double idleSeconds_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::function<void()>> queue_;
  std::size_t idle_ = 0; // threads waiting for work
  bool stopping_ = false;
  std::map<std::thread::id, std::thread> threads_;
  std::vector<std::thread> retired_; // ended after idling; joined later
};

} // namespace notch
