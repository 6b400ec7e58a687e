// WorkBuddy's own cards read through the real accessibility bus: the native
// monitor with the AT-SPI backend and the X11 workspace against the window
// stand-in on a private desktop (scripts/with-desktop). Skipped without a
// display.

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <mutex>
#include <thread>

#include "core/native/NativeApprovalMonitor.h"
#include "platform/linux/AtSpiAccessibility.h"
#include "platform/linux/StandInWindow.h"
#include "platform/linux/X11Workspace.h"
#include "support/Json.h"
#include "support/SerialQueue.h"

namespace notch {
namespace {

using testing::StandInWindow;

class NativeCardsOnDesktop : public ::testing::Test {
protected:
  void SetUp() override {
    SKIP_WITHOUT_DISPLAY();
    ASSERT_TRUE(workBuddy.started);
    workspace = std::make_unique<X11Workspace>(mainQueue, X11Workspace::Options{});
    monitor = std::make_unique<NativeApprovalMonitor>(accessibility, *workspace, clock, monitorQueue,
                                                      NativeApprovalMonitor::Limits{.pollInterval = 60});
  }

  void start() {
    const auto record = [this](auto& list, auto value) {
      std::lock_guard lock(told.mutex);
      list.push_back(std::move(value));
    };
    monitor->start([=, this](const ApprovalRequest& request) { record(told.requests, request); },
                   [=, this](const std::string& id) { record(told.removals, id); }, [](const std::string&) {}, true,
                   [=, this](const QuestionReminderState::Observation& seen, double) { record(told.questions, seen); });
  }
  // Polls (as the timer would) until `condition` holds on what was told,
  // or `seconds` pass: the bus and the copy catch up in milliseconds.
  template <typename Condition> bool pollUntil(Condition condition, double seconds = 6) {
    for (const double end = clock.uptime() + seconds; clock.uptime() < end;) {
      monitor->pollNow();
      {
        std::lock_guard lock(told.mutex);
        if (condition()) {
          return true;
        }
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
  }
  ApprovalRequest lastRequest() {
    std::lock_guard lock(told.mutex);
    return told.requests.back();
  }
  static std::string commandOf(const ApprovalRequest& request) {
    return parseJson(request.toolInputJSON).value_or(Json())["command"].get<std::string>();
  }

  StandInWindow workBuddy;
  StandInWindow otherApplication{StandInWindow::other};
  SerialQueue mainQueue{"test.main"};
  std::unique_ptr<X11Workspace> workspace;
  const AtSpiAccessibility accessibility;
  const SystemClock clock;
  SerialQueue monitorQueue{"vantrel-notch.native-approval"};
  // What the monitor told, gathered across its queue and the test thread
  // (declared before the monitor, so that they outlive it).
  struct {
    std::mutex mutex;
    std::vector<ApprovalRequest> requests;
    std::vector<std::string> removals;
    std::vector<QuestionReminderState::Observation> questions;
  } told;
  std::unique_ptr<NativeApprovalMonitor> monitor;
};

TEST_F(NativeCardsOnDesktop, BackgroundDeletionCardIsOfferedOnceAndPressedOnlyAsShown) {
  ASSERT_EQ(workBuddy.send("activate"), "ok");
  ASSERT_EQ(workBuddy.send("deletion grouped rm -rf build"), "ok card=1");
  start();
  EXPECT_FALSE(pollUntil([&] { return !told.requests.empty(); }, 1.0)) << "offered while WorkBuddy is in front";

  ASSERT_EQ(otherApplication.send("activate"), "ok");
  ASSERT_TRUE(pollUntil([&] { return !told.requests.empty(); }));
  const ApprovalRequest first = lastRequest();
  EXPECT_EQ(commandOf(first), "rm -rf build");
  EXPECT_FALSE(pollUntil([&] { return told.requests.size() > 1; }, 0.5)) << "offered twice";

  // Hidden, not deleted: only its nodes' states tell.
  ASSERT_EQ(workBuddy.send("conceal"), "ok card=1");
  EXPECT_TRUE(pollUntil([&] { return !told.removals.empty() && told.removals.back() == first.id; }));

  // Changed after it was offered: the old offer presses nothing.
  ASSERT_EQ(workBuddy.send("deletion grouped rm -rf build"), "ok card=2");
  ASSERT_TRUE(pollUntil([&] { return told.requests.size() == 2; }));
  ASSERT_EQ(workBuddy.send("command rm -rf /srv"), "ok card=2");
  EXPECT_FALSE(monitor->decide(lastRequest().id, Decision::allow));
  EXPECT_EQ(workBuddy.line(0.3), "") << "a changed card was pressed";
  ASSERT_TRUE(pollUntil([&] { return told.requests.size() == 3; }));
  const ApprovalRequest changed = lastRequest();
  EXPECT_EQ(commandOf(changed), "rm -rf /srv");
  EXPECT_TRUE(monitor->decide(changed.id, Decision::allow));
  EXPECT_EQ(workBuddy.line(), "pressed 1. 允许本次删除 card=2");
}

TEST_F(NativeCardsOnDesktop, AHungWorkBuddyCostsADecisionItsTimeOutsAndIsNeverPressed) {
  ASSERT_EQ(workBuddy.send("deletion grouped rm -rf build"), "ok card=1");
  ASSERT_EQ(otherApplication.send("activate"), "ok");
  start();
  ASSERT_TRUE(pollUntil([&] { return !told.requests.empty(); }));
  ::kill(workBuddy.pid, SIGSTOP);
  const double before = clock.uptime();
  const bool pressed = monitor->decide(lastRequest().id, Decision::allow);
  const double took = clock.uptime() - before;
  ::kill(workBuddy.pid, SIGCONT);
  EXPECT_FALSE(pressed);
  EXPECT_LT(took, 2.0) << "a hung application stalled the decision";
  EXPECT_EQ(workBuddy.line(0.5), "") << "pressed after all";
}

TEST_F(NativeCardsOnDesktop, FlattenedCardIsDeniedAndQuestionCardObserved) {
  ASSERT_EQ(workBuddy.send("deletion flattened find . -delete"), "ok card=1");
  ASSERT_EQ(otherApplication.send("activate"), "ok");
  start();
  ASSERT_TRUE(pollUntil([&] { return !told.requests.empty(); }));
  EXPECT_EQ(commandOf(lastRequest()), "find . -delete");
  EXPECT_TRUE(monitor->decide(lastRequest().id, Decision::deny));
  EXPECT_EQ(workBuddy.line(), "pressed 取消删除 card=1");

  ASSERT_EQ(workBuddy.send("question 2/3 选择部署环境 | 生产 | 预发布"), "ok card=2");
  ASSERT_TRUE(pollUntil([&] {
    return !told.questions.empty() && std::holds_alternative<QuestionReminderState::Waiting>(told.questions.back());
  }));
  std::lock_guard lock(told.mutex);
  const QuestionReminder& reminder = std::get<QuestionReminderState::Waiting>(told.questions.back()).reminder;
  EXPECT_EQ(reminder.title, "选择部署环境");
  EXPECT_EQ(reminder.currentPage, 2);
  EXPECT_EQ(reminder.totalPages, 3);
  EXPECT_EQ(reminder.pid, workBuddy.pid);
}

} // namespace
} // namespace notch
