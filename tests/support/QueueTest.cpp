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
      queue.async([&, i] {
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

TEST(SerialQueueTest, SyncRunsInlineOnItsOwnQueue) {
  SerialQueue queue("test.sync");
  EXPECT_FALSE(queue.isCurrent());
  bool inner = false;
  bool current = false;
  queue.sync([&] {
    current = queue.isCurrent();
    queue.sync([&] { inner = true; }); // would deadlock if not inline
  });
  EXPECT_TRUE(current);
  EXPECT_TRUE(inner);

  SerialQueue other("test.other");
  bool otherIsCurrent = true;
  queue.sync([&] { otherIsCurrent = other.isCurrent(); });
  EXPECT_FALSE(otherIsCurrent);
}

TEST(SerialQueueTest, SyncHandsAnExceptionToItsCallerAndTheQueueGoesOn) {
  SerialQueue queue("test.throwing");
  EXPECT_THROW(queue.sync([] { throw std::runtime_error("from the queue"); }), std::runtime_error);
  bool ran = false;
  queue.sync([&] { ran = true; });
  EXPECT_TRUE(ran);
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
