#pragma once

// The app's main queue on the Qt event loop of the thread that creates it
// (the GUI thread): posted work runs between events, delayed and repeating
// work on Qt timers. Work may be posted from any thread; timers are always
// started on the loop's own thread. Must outlive every handle it gave out
// only as long as the loop runs: work still pending when it is destroyed
// never runs.

#include <memory>

#include "support/TaskQueue.h"

namespace notch {

class QtMainQueue final : public TaskQueue {
public:
  QtMainQueue();
  ~QtMainQueue() override;
  QtMainQueue(const QtMainQueue&) = delete;
  QtMainQueue& operator=(const QtMainQueue&) = delete;

  void post(std::function<void()> task) override;
  [[nodiscard]] TaskHandle postAfter(double seconds, std::function<void()> task) override;
  [[nodiscard]] TaskHandle repeat(double interval, double leeway, double firstFire,
                                  std::function<void()> task) override;
  void sync(const std::function<void()>& work) override;
  bool isCurrent() const override;

private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

} // namespace notch
