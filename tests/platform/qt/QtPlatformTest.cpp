// The Qt implementations of the platform interfaces on a real event loop
// (offscreen platform): the main queue's order, timers, cancellation and
// cross-thread calls, and preferences that persist and tell observers.

#include <gtest/gtest.h>

#include <QClipboard>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QSettings>
#include <QTemporaryDir>

#include <atomic>
#include <stdexcept>
#include <thread>

#include "platform/qt/QtClipboard.h"
#include "platform/qt/QtMainQueue.h"
#include "platform/qt/QtPreferences.h"
#include "platform/qt/QtScreens.h"

namespace notch {
namespace {

// Runs the event loop until `done` holds or two seconds pass.
template <typename Condition> bool spinUntil(Condition done) {
  QElapsedTimer timer;
  timer.start();
  while (!done() && timer.elapsed() < 2'000) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  }
  return done();
}

TEST(QtMainQueueTest, RunsInOrderOnTheLoopThreadWhateverThreadPosts) {
  QtMainQueue queue;
  std::string order;
  std::atomic<bool> fromOtherThreadRanHere = false;
  std::atomic<bool> posterDone = false;
  queue.post([&] { order += "a"; });
  queue.post([&] { order += "b"; });
  std::thread poster([&] {
    EXPECT_FALSE(queue.isCurrent());
    queue.post([&] { fromOtherThreadRanHere = queue.isCurrent(); });
    queue.sync([&] { order += "s"; });
    EXPECT_THROW(queue.sync([] { throw std::runtime_error("x"); }), std::runtime_error);
    posterDone = true;
  });
  const bool finished = spinUntil([&] { return posterDone.load(); });
  poster.join();
  ASSERT_TRUE(finished);
  EXPECT_TRUE(fromOtherThreadRanHere);
  EXPECT_EQ(order, "abs");
  EXPECT_TRUE(queue.isCurrent());
}

TEST(QtMainQueueTest, DelayedAndRepeatingWorkKeepsTimeAndStopsWhenCancelled) {
  QtMainQueue queue;
  QElapsedTimer clock;
  clock.start();
  qint64 delayedAt = -1;
  bool cancelledRan = false;
  TaskHandle delayed = queue.postAfter(0.05, [&] { delayedAt = clock.elapsed(); });
  TaskHandle cancelled = queue.postAfter(0.01, [&] { cancelledRan = true; });
  cancelled.cancel();
  std::vector<qint64> fires;
  TaskHandle repeating;
  repeating = queue.repeat(0.02, 0, 0.04, [&] {
    fires.push_back(clock.elapsed());
    if (fires.size() == 3) {
      repeating.cancel(); // from the queue itself: never again
    }
  });
  spinUntil([&] { return clock.elapsed() > 200; });
  EXPECT_GE(delayedAt, 50);
  EXPECT_FALSE(cancelledRan);
  ASSERT_EQ(fires.size(), 3U);
  EXPECT_GE(fires[0], 40);
  EXPECT_GE(fires[1] - fires[0], 19);
}

TEST(QtPreferencesTest, DefaultsStoredValuesAndObservers) {
  QTemporaryDir directory;
  const QString file = directory.filePath("notch.conf");
  QtMainQueue queue;
  { QSettings(file, QSettings::IniFormat).setValue("handEdited", "yes"); }
  QtPreferences preferences(queue, std::make_unique<QSettings>(file, QSettings::IniFormat));
  preferences.registerDefaults({{"on", true}, {"handEdited", true}});
  std::vector<std::string> told;
  const Subscription subscription = preferences.observe([&](const std::string& key) { told.push_back(key); });
  EXPECT_TRUE(preferences.boolValue("on"));
  EXPECT_FALSE(preferences.boolValue("never"));
  EXPECT_TRUE(preferences.boolValue("handEdited")); // not a yes/no: its default
  preferences.setBool("on", false);
  preferences.setBool("on", false); // unchanged: nobody is told
  EXPECT_TRUE(told.empty());        // told on the queue, after the write
  spinUntil([&] { return !told.empty(); });
  QCoreApplication::processEvents();
  EXPECT_EQ(told, std::vector<std::string>{"on"});
  QtPreferences reopened(queue, std::make_unique<QSettings>(file, QSettings::IniFormat));
  reopened.registerDefaults({{"on", true}});
  EXPECT_FALSE(reopened.boolValue("on"));
}

TEST(QtPlatformTest, ClipboardAndScreens) {
  QtClipboard().setText("rm -rf 构建");
  EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), "rm -rf 构建");
  // The offscreen platform's one screen; Qt knows no notch.
  EXPECT_EQ(QtScreens().screens(),
            (std::vector<ScreenInfo>{ScreenInfo{ScreenRect{0, 0, 800, 800}, 0, std::nullopt, std::nullopt}}));
}

} // namespace
} // namespace notch

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication application(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
