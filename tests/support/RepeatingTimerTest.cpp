#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "support/RepeatingTimer.h"

namespace notch {
namespace {

using namespace std::chrono_literals;

// Waits (bounded) until `condition` holds.
template <typename Condition> bool eventually(Condition condition) {
  for (int i = 0; i < 5000 && !condition(); ++i) {
    std::this_thread::sleep_for(1ms);
  }
  return condition();
}

TEST(RepeatingTimerTest, FiresOnItsQueueUntilCancelled) {
  SerialQueue queue("test.timer");
  std::atomic<int> fires{0};
  std::atomic<bool> onQueue{true};
  RepeatingTimer timer(queue, 0.005, 0.001, 0.0, [&] {
    onQueue = onQueue && queue.isCurrent();
    ++fires;
  });
  EXPECT_TRUE(eventually([&] { return fires >= 3; }));
  timer.cancel();
  queue.sync([] {}); // a fire queued before the cancel finds it cancelled
  const int settled = fires;
  std::this_thread::sleep_for(30ms);
  EXPECT_EQ(fires, settled);
  EXPECT_TRUE(onQueue);
}

TEST(RepeatingTimerTest, FiresCoalesceWhileTheQueueIsBusy) {
  SerialQueue queue("test.busy");
  std::atomic<int> fires{0};
  std::atomic<bool> release{false};
  queue.async([&] {
    while (!release) {
      std::this_thread::sleep_for(1ms);
    }
  });
  RepeatingTimer timer(queue, 0.002, 0.0, 0.0, [&] { ++fires; });
  std::this_thread::sleep_for(60ms); // some thirty fire times pass
  release = true;
  queue.sync([] {});
  EXPECT_LE(fires, 2); // not one per missed fire time
  timer.cancel();
}

TEST(RepeatingTimerTest, CancelFromTheHandlerStopsIt) {
  SerialQueue queue("test.self");
  std::atomic<int> fires{0};
  std::unique_ptr<RepeatingTimer> timer;
  queue.sync([&] {
    timer = std::make_unique<RepeatingTimer>(queue, 0.002, 0.0, 0.0, [&] {
      if (++fires == 2) {
        timer->cancel();
      }
    });
  });
  EXPECT_TRUE(eventually([&] { return fires >= 2; }));
  std::this_thread::sleep_for(20ms);
  queue.sync([] {});
  EXPECT_EQ(fires, 2);
  queue.sync([&] { timer.reset(); });
}

} // namespace
} // namespace notch
