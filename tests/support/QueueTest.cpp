#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "support/DispatchGroup.h"
#include "support/SerialQueue.h"
#include "support/WorkerThread.h"

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

TEST(DispatchGroupTest, WaitsForEveryWorker) {
  DispatchGroup group;
  EXPECT_TRUE(group.waitFor(0)); // empty from the start
  std::atomic<int> finished{0};
  std::atomic<bool> release{false};
  for (int i = 0; i < 8; ++i) {
    group.enter();
    runOnWorkerThread([&] {
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

} // namespace
} // namespace notch
