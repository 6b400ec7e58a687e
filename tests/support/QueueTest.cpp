#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>
#include <vector>

#include "support/DispatchGroup.h"
#include "support/SerialQueue.h"
#include "support/WorkerPool.h"

namespace notch {
namespace {

TEST(SerialQueueTest, RunsWorkInOrderOneAtATime) {
  std::vector<int> order;
  std::atomic<int> running{0};
  bool overlapped = false;
  {
    SerialQueue queue("test.order");
    EXPECT_EQ(queue.label(), "test.order");
    for (int i = 0; i < 200; ++i) {
      queue.post([&, i] {
        overlapped = overlapped || running.fetch_add(1) != 0;
        order.push_back(i);
        running.fetch_sub(1);
      });
    }
  } // the destructor runs everything still queued
  ASSERT_EQ(order.size(), 200u);
  for (int i = 0; i < 200; ++i) {
    EXPECT_EQ(order[i], i);
  }
  EXPECT_FALSE(overlapped);
}

TEST(SerialQueueTest, SyncRunsInlineOnItsOwnQueueAndHandsExceptionsBack) {
  SerialQueue queue("test.sync");
  SerialQueue other("test.other");
  EXPECT_FALSE(queue.isCurrent());
  bool inner = false;
  queue.sync([&] {
    EXPECT_TRUE(queue.isCurrent());
    EXPECT_FALSE(other.isCurrent());
    queue.sync([&] { inner = true; }); // would deadlock if not inline
  });
  EXPECT_TRUE(inner);
  EXPECT_THROW(queue.sync([] { throw std::runtime_error("from the queue"); }), std::runtime_error);
  bool ran = false;
  queue.sync([&] { ran = true; }); // the queue goes on
  EXPECT_TRUE(ran);
}

// Waits (bounded) until `condition` holds.
template <typename Condition> bool eventually(Condition condition) {
  for (int i = 0; i < 5000 && !condition(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return condition();
}

// The production timers run on the queue's own thread and real time; their
// logic is the same as the virtual-time queue's, so a few short waits do.
TEST(SerialQueueTest, DelayedAndRepeatingWorkRunsOnTheQueueUntilCancelled) {
  SerialQueue queue("test.timers");
  std::atomic<int> once{0};
  std::atomic<int> cancelledOnce{0};
  std::atomic<int> fires{0};
  std::atomic<bool> onQueue{true};
  TaskHandle delayed = queue.postAfter(0.002, [&] { ++once; });
  TaskHandle dropped = queue.postAfter(0.002, [&] { ++cancelledOnce; });
  dropped.cancel();
  TaskHandle timer;
  queue.sync([&] {
    timer = queue.repeat(0.002, 0, 0, [&] {
      onQueue = onQueue && queue.isCurrent();
      if (++fires == 3) {
        timer.cancel(); // from its own fire: no fire after this one
      }
    });
  });
  EXPECT_TRUE(eventually([&] { return fires >= 3 && once == 1; }));
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  queue.sync([] {});
  EXPECT_EQ(fires, 3);
  EXPECT_EQ(once, 1);
  EXPECT_EQ(cancelledOnce, 0);
  EXPECT_TRUE(onQueue);

  // Fire times missed while the queue is busy coalesce into one fire: the
  // first fire after the busy spell posts a marker, and a queue that replayed
  // the missed fires would run them all (due timers go first) before it.
  std::atomic<bool> release{false};
  std::atomic<int> firesAfterRelease{0};
  std::atomic<int> firesBeforeMarker{-1};
  queue.post([&] {
    while (!release) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  });
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

TEST(DispatchGroupTest, WaitsForEveryWorker) {
  WorkerPool pool;
  DispatchGroup group;
  EXPECT_TRUE(group.waitFor(0)); // empty from the start
  std::atomic<int> finished{0};
  std::atomic<bool> release{false};
  for (int i = 0; i < 8; ++i) {
    group.enter();
    pool.run([&] {
      while (!release.load()) {
        std::this_thread::yield();
      }
      finished.fetch_add(1);
      group.leave();
    });
  }
  EXPECT_FALSE(group.waitFor(0.02));
  release = true;
  group.wait();
  EXPECT_EQ(finished.load(), 8);
}

TEST(WorkerPoolTest, ReusesIdleThreadsAndRetiresThemAfterIdling) {
  WorkerPool pool;
  std::mutex mutex;
  std::set<std::thread::id> threads;
  DispatchGroup group;
  auto record = [&] {
    std::lock_guard guard(mutex);
    threads.insert(std::this_thread::get_id());
  };
  // Sequential items find the first thread idle again.
  for (int i = 0; i < 20; ++i) {
    group.enter();
    pool.run([&] {
      record();
      group.leave();
    });
    group.wait();
    for (int wait = 0; wait < 5000 && pool.idleThreads() == 0; ++wait) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1)); // until the thread waits again
    }
  }
  EXPECT_EQ(threads.size(), 1u);

  // Items that block each other each get a thread of their own.
  std::atomic<int> arrived{0};
  for (int i = 0; i < 4; ++i) {
    group.enter();
    pool.run([&] {
      arrived.fetch_add(1);
      while (arrived.load() < 4) {
        std::this_thread::yield();
      }
      group.leave();
    });
  }
  group.wait();

  pool.shutdown();

  // Idle threads end by themselves; new work still runs afterwards.
  WorkerPool brief(0.02);
  group.enter();
  brief.run([&] { group.leave(); });
  group.wait();
  for (int wait = 0; wait < 5000 && brief.idleThreads() == 0; ++wait) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1)); // until it idles
  }
  for (int wait = 0; wait < 5000 && brief.idleThreads() != 0; ++wait) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_EQ(brief.idleThreads(), 0u);
  group.enter();
  brief.run([&] { group.leave(); });
  group.wait();
}

} // namespace
} // namespace notch
