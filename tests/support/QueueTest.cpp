#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

#include "support/SerialQueue.h"
#include "support/WorkerPool.h"

namespace notch {
namespace {

// Waits (bounded) until `condition` holds.
template <typename Condition> bool eventually(Condition condition) {
  for (int i = 0; i < 5000 && !condition(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return condition();
}

TEST(SerialQueueTest, RunsWorkInOrderOneAtATimeAndSyncInlineOnItself) {
  std::vector<int> order;
  std::atomic<int> running{0};
  bool overlapped = false;
  {
    SerialQueue queue("test.order");
    for (int i = 0; i < 200; ++i) {
      queue.post([&, i] {
        overlapped = overlapped || running.fetch_add(1) != 0;
        order.push_back(i);
        running.fetch_sub(1);
      });
    }
  } // the destructor runs everything still queued
  EXPECT_EQ(order.size(), 200u);
  EXPECT_TRUE(std::is_sorted(order.begin(), order.end()) && !overlapped);

  SerialQueue queue("test.sync"), other("test.other");
  bool inner = false;
  queue.sync([&] {
    EXPECT_TRUE(queue.isCurrent() && !other.isCurrent());
    queue.sync([&] { inner = true; }); // would deadlock if not inline
  });
  EXPECT_TRUE(inner && !queue.isCurrent());
  EXPECT_THROW(queue.sync([] { throw std::runtime_error("from the queue"); }), std::runtime_error);
  queue.sync([&] { inner = false; }); // the queue goes on
  EXPECT_FALSE(inner);
}

// The production timers run on the queue's own thread and real time; their
// logic is the same as the virtual-time queue's, so a few short waits do.
TEST(SerialQueueTest, DelayedAndRepeatingWorkRunsOnTheQueueUntilCancelled) {
  SerialQueue queue("test.timers");
  std::atomic<int> once{0}, cancelledOnce{0}, fires{0}, streamed{0}, streamedAtFire{-1};
  std::atomic<bool> onQueue{true};
  TaskHandle delayed = queue.postAfter(0.002, [&] { ++once; }), timer;
  queue.postAfter(0.002, [&] { ++cancelledOnce; }).cancel();
  queue.sync([&] {
    timer = queue.repeat(0.002, 0, 0, [&] {
      onQueue = onQueue && queue.isCurrent();
      if (++fires == 3) {
        timer.cancel(); // from its own fire: no fire after this one
      }
    });
  });
  // A steady stream of posts does not hold a due timer back.
  constexpr int kLongStream = 200'000;
  std::function<void()> stream = [&] {
    if (streamedAtFire < 0 && ++streamed < kLongStream) {
      queue.post(stream);
    }
  };
  queue.post(stream);
  TaskHandle amid = queue.postAfter(0.002, [&] { streamedAtFire = streamed.load(); });
  EXPECT_TRUE(eventually([&] { return fires >= 3 && once == 1 && streamedAtFire >= 0; }));
  EXPECT_LT(streamedAtFire, kLongStream);
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  queue.sync([] {});
  EXPECT_TRUE(fires == 3 && once == 1 && cancelledOnce == 0 && onQueue);

  // Fire times missed while the queue is busy coalesce into one fire: the
  // first fire after the busy spell posts a marker, and a queue that replayed
  // the missed fires would run them all (due timers go first) before it.
  std::atomic<bool> release{false};
  std::atomic<int> firesAfterRelease{0}, firesBeforeMarker{-1};
  queue.post([&] { eventually([&] { return release.load(); }); });
  TaskHandle busy = queue.repeat(0.01, 0, 0, [&] {
    if (release && ++firesAfterRelease == 1) {
      queue.post([&] { firesBeforeMarker = firesAfterRelease.load(); });
    }
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(100)); // some ten fire times pass
  release = true;
  EXPECT_TRUE(eventually([&] { return firesBeforeMarker >= 0; }));
  busy.cancel();
  EXPECT_EQ(firesBeforeMarker, 1);
}

// An idle thread ends by itself, and new work still runs afterwards.
TEST(WorkerPoolTest, RetiresIdleThreads) {
  WorkerPool pool(0.02);
  std::atomic<bool> ran{false};
  pool.run([] {});
  eventually([&] { return pool.idleThreads() == 1; });
  EXPECT_TRUE(eventually([&] { return pool.idleThreads() == 0; }));
  pool.run([&] { ran = true; });
  EXPECT_TRUE(eventually([&] { return ran.load(); }));
}

} // namespace
} // namespace notch
