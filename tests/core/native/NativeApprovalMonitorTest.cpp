#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>

#include "core/native/CardBuilder.h"
#include "core/native/NativeApprovalMonitor.h"
#include "platform/FakeAccessibility.h"
#include "platform/FakeWorkspace.h"
#include "support/ManualTaskQueue.h"
#include "support/SerialQueue.h"

namespace notch {
namespace {

using testing::DeletionCard;
using testing::FakeAccessibility;
using testing::FakeClock;
using testing::FakeElement;
using testing::FakeElementRef;
using testing::FakeWorkspace;
using testing::QuestionCard;
using Observation = QuestionReminderState::Observation;

constexpr std::int32_t kPid = 4242;
const std::string kCardFound = "已发现后台 WorkBuddy 的原生删除确认";
const std::string kWaitingForCard = "等待 WorkBuddy 的原生删除确认";
const std::string kCardChanged = "原生确认已变化或无法完整读取，请在 WorkBuddy 中确认";

// The test's own handle on an element the monitor sees.
FakeElementRef asFake(const AXElementRef& element) {
  return std::const_pointer_cast<FakeElement>(std::dynamic_pointer_cast<const FakeElement>(element));
}

FakeElementRef childOf(const FakeElementRef& parent, std::size_t index) {
  const auto& children = std::get<std::vector<AXElementRef>>(parent->attributes.at("AXChildren"));
  return asFake(children.at(index));
}

// Puts a new element with the same attributes in place of a child.
FakeElementRef replaceChild(const FakeElementRef& parent, std::size_t index) {
  auto& children = std::get<std::vector<AXElementRef>>(parent->attributes.at("AXChildren"));
  auto replacement = std::make_shared<FakeElement>(*childOf(parent, index));
  children.at(index) = replacement;
  return replacement;
}

// Every callback, in order, as one line each; safe to fill from the
// monitor's queue while the test thread reads.
class Recorder {
public:
  void add(std::string line) {
    std::lock_guard guard(mutex_);
    lines_.push_back(std::move(line));
  }
  std::vector<std::string> lines() const {
    std::lock_guard guard(mutex_);
    return lines_;
  }
  std::vector<std::string> take() {
    std::lock_guard guard(mutex_);
    return std::exchange(lines_, {});
  }

private:
  mutable std::mutex mutex_;
  std::vector<std::string> lines_;
};

std::string describe(const Observation& observation) {
  if (const auto* waiting = std::get_if<QuestionReminderState::Waiting>(&observation)) {
    const QuestionReminder& reminder = waiting->reminder;
    return "question waiting " + reminder.title + " " + std::to_string(reminder.currentPage) + "/" +
           std::to_string(reminder.totalPages);
  }
  return std::holds_alternative<QuestionReminderState::Absent>(observation) ? "question absent"
                                                                            : "question unavailable";
}

// Public, so that parameterised cases can change the fixture.
class NativeApprovalMonitorTest : public ::testing::Test {
public:
  void SetUp() override { runWorkBuddy({}); }

  void runWorkBuddy(RunningApplication state) {
    state.pid = kPid;
    workspace.set(std::string(NativeApprovalMonitor::bundleIdentifier), {state});
  }

  // Shows one window holding `content`; buttons offer "AXPress".
  FakeElementRef showWindow(std::vector<NativeApprovalNode> content) {
    window = testing::fakeElementsFor(testing::scannedWindow(std::move(content)), kPid);
    offerPress(window);
    accessibility.application(kPid)->set("AXWindows", std::vector<AXElementRef>{window});
    return window;
  }

  // The grouped deletion card: window → group → title, risk, command, allow, deny.
  void showCard(const DeletionCard& card = {}) {
    showWindow({card.grouped()});
    container = childOf(window, 0);
  }
  FakeElementRef cardPart(std::size_t index) const { return childOf(container, index); }

  void start(bool approvalsEnabled = true, bool questions = true) {
    NativeApprovalMonitor::QuestionHandler onQuestion;
    if (questions) {
      onQuestion = [this](const Observation& observation, double capturedAt) {
        questions_.push_back(observation);
        capturedAt_.push_back(capturedAt);
        recorder.add(describe(observation));
      };
    }
    monitor.start(
        [this](const ApprovalRequest& request) {
          requests.push_back(request);
          recorder.add("request " + request.id);
          if (afterRequest) {
            afterRequest();
          }
        },
        [this](const std::string& id) {
          recorder.add("removal " + id);
          if (afterRemoval) {
            afterRemoval();
          }
        },
        [this](const std::string& status) { recorder.add("status " + status); }, approvalsEnabled,
        std::move(onQuestion));
  }

  // Offers the standard card and forgets the callbacks that led there.
  const ApprovalRequest& offerCard() {
    showCard();
    start();
    monitor.pollNow();
    EXPECT_EQ(requests.size(), 1u);
    recorder.take();
    return requests.back();
  }

  static void offerPress(const FakeElementRef& element) {
    if (std::get<std::string>(element->attributes.at("AXRole")) == "AXButton") {
      element->actions = {"AXPress"};
    }
    if (element->attributes.contains("AXChildren")) {
      for (const AXElementRef& child : std::get<std::vector<AXElementRef>>(element->attributes.at("AXChildren"))) {
        offerPress(asFake(child));
      }
    }
  }

  FakeClock clock;
  FakeAccessibility accessibility{&clock, 0.0};
  FakeWorkspace workspace;
  FakeElementRef window;
  FakeElementRef container;
  Recorder recorder;
  std::vector<ApprovalRequest> requests;
  std::vector<Observation> questions_;
  std::vector<double> capturedAt_;
  std::function<void()> afterRequest;
  std::function<void()> afterRemoval;
  testing::ManualTaskQueue queue{clock}; // polls run only when the test polls or advances the clock
  NativeApprovalMonitor monitor{accessibility, workspace, clock, queue};
};

TEST_F(NativeApprovalMonitorTest, PollsAtStartAndEveryIntervalUntilStopped) {
  showCard();
  start();
  EXPECT_TRUE(requests.empty());
  queue.advance(0); // the first poll comes at once
  ASSERT_EQ(requests.size(), 1u);
  showWindow({});
  queue.advance(0.79);
  EXPECT_EQ(recorder.lines().back(), "request " + requests[0].id);
  queue.advance(0.01);
  EXPECT_EQ(recorder.lines().back(), "status " + kWaitingForCard);
  monitor.stop();
  EXPECT_EQ(queue.scheduledCount(), 0u);
  showCard();
  queue.advance(10);
  EXPECT_EQ(requests.size(), 1u);
}

TEST_F(NativeApprovalMonitorTest, OffersABackgroundCardOnceAndReportsOnlyChanges) {
  showCard();
  start();
  monitor.pollNow();
  monitor.pollNow();

  ASSERT_EQ(requests.size(), 1u);
  const ApprovalRequest& request = requests.front();
  EXPECT_TRUE(Uuid::parse(request.id));
  EXPECT_EQ(request.sessionID, "WorkBuddy");
  EXPECT_EQ(request.toolName, "原生安全确认");
  EXPECT_EQ(request.eventName, "NativeApproval");
  EXPECT_EQ(request.cwd, "");
  EXPECT_EQ(request.source, "workbuddy");
  EXPECT_DOUBLE_EQ(request.expiresAt, clock.now() + 315'360'000);
  EXPECT_EQ(request.toolInputJSON, "{\n"
                                   "  \"command\" : \"rm -rf ./build ./dist\",\n"
                                   "  \"description\" : \"检测到批量删除操作：累计删除数量 5 项，阈值 3\\n"
                                   "高风险命令，可能影响系统稳定性\",\n"
                                   "  \"原生允许按钮\" : \"允许本次删除\",\n"
                                   "  \"原生拒绝按钮\" : \"取消删除\",\n"
                                   "  \"接入方式\" : \"辅助功能：仅点击这个原生确认卡，不是工具 Hook\",\n"
                                   "  \"窗口\" : \"WorkBuddy\"\n"
                                   "}");
  EXPECT_EQ(recorder.lines(), (std::vector<std::string>{"question absent", "status " + kCardFound,
                                                        "request " + request.id, "question absent"}));
}

// Something that happens to WorkBuddy after a card was offered, and the
// status it must lead to.
struct Change {
  const char* name;
  std::function<void(NativeApprovalMonitorTest&)> change;
  std::string status;
};
void PrintTo(const Change& change, std::ostream* out) { *out << change.name; }

class RetiringTest : public NativeApprovalMonitorTest, public ::testing::WithParamInterface<Change> {};

TEST_P(RetiringTest, RetiresTheOfferedCardExactlyOnce) {
  const std::string id = offerCard().id;
  GetParam().change(*this);
  monitor.pollNow();
  monitor.pollNow();
  const std::vector<std::string> lines = recorder.lines();
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "removal " + id), 1);
  EXPECT_NE(std::find(lines.begin(), lines.end(), "status " + GetParam().status), lines.end());
  EXPECT_EQ(requests.size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    NativeApprovalMonitor, RetiringTest,
    ::testing::Values(
        Change{"front", [](auto& test) { test.runWorkBuddy({.active = true}); },
               "WorkBuddy 正在前台，原生确认留在原窗口"},
        Change{"hidden", [](auto& test) { test.runWorkBuddy({.hidden = true}); }, "WorkBuddy 已隐藏，请打开原窗口确认"},
        Change{"terminated", [](auto& test) { test.runWorkBuddy({.terminated = true}); }, "WorkBuddy 未运行"},
        Change{"duplicated",
               [](auto& test) {
                 test.workspace.set(std::string(NativeApprovalMonitor::bundleIdentifier),
                                    {{.pid = kPid}, {.pid = kPid + 1}});
               },
               "存在多个 WorkBuddy 实例，请在原窗口确认"},
        Change{"cardGone", [](auto& test) { test.showWindow({}); }, kWaitingForCard},
        Change{"permissionLost", [](auto& test) { test.accessibility.trusted = false; },
               "需要辅助功能权限，才能读取 WorkBuddy 的确认卡或提问卡"}),
    [](const auto& instance) { return std::string(instance.param.name); });

TEST_F(NativeApprovalMonitorTest, AllowRetiresTheCardThenPressesTheVerifiedButton) {
  const std::string id = offerCard().id;
  afterRemoval = [this] { EXPECT_TRUE(cardPart(3)->performed.empty()) << "pressed before the card was retired"; };

  EXPECT_TRUE(monitor.decide(id, Decision::allow));
  EXPECT_EQ(cardPart(3)->performed, std::vector<std::string>{"AXPress"});
  EXPECT_TRUE(cardPart(4)->performed.empty());
  EXPECT_EQ(recorder.lines(),
            (std::vector<std::string>{"removal " + id, "status 已点击原生确认按钮；结果以 WorkBuddy 为准"}));
  EXPECT_FALSE(monitor.decide(id, Decision::allow)) << "a decided card is gone";
  EXPECT_EQ(cardPart(3)->performed.size(), 1u);
}

TEST_F(NativeApprovalMonitorTest, WorkBuddyComingToTheFrontBeforeThePressStopsIt) {
  const std::string id = offerCard().id;
  cardPart(3)->onCopy = [this](std::string_view) { runWorkBuddy({.active = true}); }; // during the button check
  EXPECT_FALSE(monitor.decide(id, Decision::allow));
  EXPECT_TRUE(cardPart(3)->performed.empty());
  EXPECT_EQ(recorder.lines(),
            (std::vector<std::string>{"removal " + id, "status 原生按钮不可用或 WorkBuddy 已在前台，请在原窗口确认"}));
}

TEST_F(NativeApprovalMonitorTest, DenyPressesTheDenyButton) {
  const std::string id = offerCard().id;
  EXPECT_TRUE(monitor.decide(id, Decision::deny));
  EXPECT_TRUE(cardPart(3)->performed.empty());
  EXPECT_EQ(cardPart(4)->performed, std::vector<std::string>{"AXPress"});
}

class ChangedCardTest : public NativeApprovalMonitorTest, public ::testing::WithParamInterface<Change> {};

TEST_P(ChangedCardTest, PressesNothingAndSaysWhy) {
  const std::string id = offerCard().id;
  GetParam().change(*this);
  EXPECT_FALSE(monitor.decide(id, Decision::allow));
  for (std::size_t part = 0; part < 5; ++part) {
    EXPECT_TRUE(cardPart(part)->performed.empty());
  }
  EXPECT_EQ(recorder.lines(), (std::vector<std::string>{"removal " + id, "status " + GetParam().status}));
}

INSTANTIATE_TEST_SUITE_P(
    NativeApprovalMonitor, ChangedCardTest,
    ::testing::Values(
        Change{"otherCommand", [](auto& test) { test.cardPart(2)->set("AXValue", std::string("rm -rf ~/Documents")); },
               kCardChanged},
        Change{"otherAllowButton", [](auto& test) { replaceChild(test.container, 3); }, kCardChanged},
        Change{"otherContextElement", [](auto& test) { replaceChild(test.container, 1); }, kCardChanged},
        Change{"otherWindowTitle", [](auto& test) { test.window->set("AXTitle", std::string("Other")); }, kCardChanged},
        Change{"unreadableWindow", [](auto& test) { test.window->multipleCopyFails = true; }, kCardChanged},
        Change{"workBuddyInFront", [](auto& test) { test.runWorkBuddy({.active = true}); }, kCardChanged},
        Change{"buttonWithoutPress", [](auto& test) { test.cardPart(3)->actions.clear(); },
               "原生按钮不可用或 WorkBuddy 已在前台，请在原窗口确认"},
        Change{"buttonRoleReadFails", [](auto& test) { test.cardPart(3)->failingCopies.insert("AXRole"); },
               "原生按钮不可用或 WorkBuddy 已在前台，请在原窗口确认"},
        Change{"pressFails", [](auto& test) { test.cardPart(3)->actionFails = true; },
               "原生按钮操作失败，请在 WorkBuddy 中确认"},
        Change{"permissionLost", [](auto& test) { test.accessibility.trusted = false; },
               "辅助功能权限不可用，请在 WorkBuddy 中确认"}),
    [](const auto& instance) { return std::string(instance.param.name); });

TEST_F(NativeApprovalMonitorTest, DecidedCardStaysSuppressedUntilNoLabelledButtonIsSeen) {
  const std::string id = offerCard().id;
  EXPECT_FALSE(monitor.decide("another id", Decision::allow));
  EXPECT_TRUE(monitor.decide(id, Decision::passthrough));
  for (std::size_t part = 0; part < 5; ++part) {
    EXPECT_TRUE(cardPart(part)->performed.empty()) << "passthrough presses nothing";
  }
  EXPECT_EQ(recorder.take(), std::vector<std::string>{"removal " + id});
  monitor.pollNow();
  EXPECT_EQ(requests.size(), 1u) << "WorkBuddy still shows the decided card";

  // An unverifiable card with a labelled button keeps the suppression...
  const FakeElementRef card = window;
  cardPart(2)->set("AXValue", std::string("rm -rf …"));
  monitor.pollNow();
  cardPart(2)->set("AXValue", std::string("rm -rf ./build ./dist"));
  monitor.pollNow();
  EXPECT_EQ(requests.size(), 1u);

  // ...a complete poll without one lifts it.
  showWindow({});
  monitor.pollNow();
  accessibility.application(kPid)->set("AXWindows", std::vector<AXElementRef>{card});
  monitor.pollNow();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_NE(requests.back().id, id);
  EXPECT_EQ(requests.back().toolInputJSON, requests.front().toolInputJSON);
}

TEST_F(NativeApprovalMonitorTest, ChangedCardIsOfferedAgainUnderANewID) {
  const std::string id = offerCard().id;
  replaceChild(container, 3);
  monitor.pollNow();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_NE(requests.back().id, id);
  EXPECT_EQ(recorder.lines(),
            (std::vector<std::string>{"question absent", "removal " + id, "request " + requests.back().id}));
}

TEST_F(NativeApprovalMonitorTest, StopRetiresTheCardOnceAndSilencesTheRun) {
  const std::string id = offerCard().id;
  monitor.stop();
  monitor.stop();
  monitor.pollNow();
  EXPECT_FALSE(monitor.decide(id, Decision::allow));
  EXPECT_EQ(recorder.lines(), (std::vector<std::string>{"removal " + id, "question unavailable"}));
}

TEST_F(NativeApprovalMonitorTest, StopFromACallbackSilencesTheRestOfThePoll) {
  showWindow({DeletionCard().grouped(), QuestionCard().group()});
  afterRequest = [this] { monitor.stop(); };
  start();
  monitor.pollNow();
  ASSERT_EQ(requests.size(), 1u);
  // The waiting question of that poll is never delivered.
  EXPECT_EQ(recorder.lines(), (std::vector<std::string>{"status " + kCardFound, "request " + requests[0].id,
                                                        "removal " + requests[0].id, "question unavailable"}));
}

TEST_F(NativeApprovalMonitorTest, RestartFromACallbackSilencesTheRestOfThePollOnly) {
  showWindow({DeletionCard().grouped(), QuestionCard().group()});
  afterRequest = [this] {
    afterRequest = nullptr;
    start();
  };
  start();
  monitor.pollNow();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(recorder.take(), (std::vector<std::string>{"status " + kCardFound, "request " + requests[0].id}));
  monitor.pollNow(); // the restarted run goes on with the card still offered
  EXPECT_EQ(requests.size(), 1u);
  EXPECT_EQ(recorder.take(), std::vector<std::string>{"question waiting 选择部署环境？ 1/3"});
}

TEST_F(NativeApprovalMonitorTest, ThrowingCallbacksLeaveTheMonitorWhole) {
  afterRequest = [] { throw std::runtime_error("the app failed"); };
  const std::string id = offerCard().id;
  afterRemoval = [] { throw std::runtime_error("the app failed again"); };
  EXPECT_TRUE(monitor.decide(id, Decision::allow));
  EXPECT_EQ(cardPart(3)->performed, std::vector<std::string>{"AXPress"});
}

TEST_F(NativeApprovalMonitorTest, NeverOffersACardFromTheFallbackWindow) {
  const FakeElementRef only = showWindow({DeletionCard().grouped(), QuestionCard().group()});
  accessibility.application(kPid)
      ->set("AXWindows", std::vector<AXElementRef>{})
      .set("AXMainWindow", AXElementRef(only))
      .set("AXFocusedWindow", AXElementRef(only));
  start();
  monitor.pollNow();
  EXPECT_TRUE(requests.empty());
  EXPECT_EQ(recorder.lines(), (std::vector<std::string>{"status 已读取后台提问；备用窗口仅用于提醒，不用于审批",
                                                        "question waiting 选择部署环境？ 1/3"}));
}

TEST_F(NativeApprovalMonitorTest, StopFromTheRemovalOfADecisionPressesNothing) {
  const std::string id = offerCard().id;
  afterRemoval = [this] { monitor.stop(); };
  EXPECT_FALSE(monitor.decide(id, Decision::allow));
  EXPECT_TRUE(cardPart(3)->performed.empty());
  EXPECT_EQ(recorder.lines(), (std::vector<std::string>{"removal " + id, "question unavailable"}));
}

TEST_F(NativeApprovalMonitorTest, RestartWithApprovalsDisabledRetiresTheCardAtOnce) {
  const std::string id = offerCard().id;
  start(false);
  EXPECT_EQ(recorder.take(), std::vector<std::string>{"removal " + id});
  monitor.pollNow();
  EXPECT_EQ(recorder.take(),
            (std::vector<std::string>{"question absent", "status 等待后台 WorkBuddy 提问（删除审批已关闭）"}));
  EXPECT_EQ(requests.size(), 1u);
  EXPECT_FALSE(monitor.decide(id, Decision::allow));

  // Questions go on being reported while approvals are off.
  showWindow({DeletionCard().grouped(), QuestionCard().group()});
  monitor.pollNow();
  EXPECT_EQ(recorder.take(), (std::vector<std::string>{"status 已发现后台 WorkBuddy 提问，刘海仅提供去回答",
                                                       "question waiting 选择部署环境？ 1/3"}));
}

TEST_F(NativeApprovalMonitorTest, RestartWithoutQuestionsEndsTheQuestionFeed) {
  showWindow({QuestionCard().group()});
  start();
  monitor.pollNow();
  start(true, false);
  monitor.pollNow();
  EXPECT_EQ(recorder.lines(),
            (std::vector<std::string>{"status " + kWaitingForCard, "question waiting 选择部署环境？ 1/3",
                                      "question unavailable"}));
}

class QuestionFlowTest : public NativeApprovalMonitorTest {
protected:
  std::string flowOfLastWaiting() const {
    for (auto it = questions_.rbegin(); it != questions_.rend(); ++it) {
      if (const auto* waiting = std::get_if<QuestionReminderState::Waiting>(&*it)) {
        return waiting->reminder.flowID;
      }
    }
    return "";
  }
  void showQuestion() { accessibility.application(kPid)->set("AXWindows", std::vector<AXElementRef>{question}); }
  void showNothing() { showWindow({}); }
  void pollAt(double uptime) {
    clock.advance(uptime - clock.uptime());
    monitor.pollNow();
  }

  FakeElementRef question;
};

TEST_F(QuestionFlowTest, ReportsWaitingWithTheScanStartAndForgetsAfterTwoAbsences) {
  question = showWindow({QuestionCard().group()});
  start();
  pollAt(2'000);
  const std::string first = flowOfLastWaiting();
  ASSERT_FALSE(first.empty());
  EXPECT_EQ(capturedAt_.back(), 2'000);

  showNothing();
  pollAt(2'001);
  showQuestion();
  pollAt(2'002);
  EXPECT_EQ(flowOfLastWaiting(), first) << "one absence keeps the flow";

  showNothing();
  pollAt(2'003);
  accessibility.trusted = false;
  pollAt(2'004);
  accessibility.trusted = true;
  pollAt(2'005);
  showQuestion();
  pollAt(2'006);
  EXPECT_EQ(flowOfLastWaiting(), first) << "an unavailable scan resets the absence count";

  showNothing();
  pollAt(2'007);
  pollAt(2'008);
  showQuestion();
  pollAt(2'009);
  EXPECT_NE(flowOfLastWaiting(), first) << "two absences in a row end the flow";
  EXPECT_EQ(describe(questions_.at(4)), "question unavailable");
}

TEST_F(QuestionFlowTest, QuestionOfAWorkBuddyInFrontIsUnavailable) {
  question = showWindow({QuestionCard().group()});
  start();
  runWorkBuddy({.active = true});
  monitor.pollNow();
  runWorkBuddy({.hidden = true});
  monitor.pollNow();
  EXPECT_EQ(recorder.lines(),
            (std::vector<std::string>{"question unavailable", "status WorkBuddy 正在前台，原生确认留在原窗口",
                                      "question unavailable", "status WorkBuddy 已隐藏，请打开原窗口确认"}));
}

// Start, stop and decide from other threads while the timer polls: every
// removal follows its request once, and a press happens only for a
// decision that reported it.
TEST(NativeApprovalMonitorThreadingTest, EntryPointsRaceTheTimerSafely) {
  FakeClock clock;
  FakeAccessibility accessibility(&clock, 0.0);
  FakeWorkspace workspace;
  workspace.set(std::string(NativeApprovalMonitor::bundleIdentifier), {{.pid = kPid}});
  const FakeElementRef window = testing::fakeElementsFor(testing::scannedWindow({DeletionCard().grouped()}), kPid);
  const FakeElementRef allow = childOf(childOf(window, 0), 3);
  allow->actions = {"AXPress"};
  accessibility.application(kPid)->set("AXWindows", std::vector<AXElementRef>{window});

  NativeApprovalMonitor::Limits limits;
  limits.pollInterval = 0.002;
  SerialQueue queue("vantrel-notch.native-approval"); // real threads race here
  NativeApprovalMonitor monitor(accessibility, workspace, clock, queue, limits);

  std::mutex mutex;
  std::vector<std::string> offered;
  std::multiset<std::string> removed;
  std::atomic<int> removalsOfUnknownIDs = 0;
  const auto startMonitor = [&] {
    monitor.start(
        [&](const ApprovalRequest& request) {
          std::lock_guard guard(mutex);
          offered.push_back(request.id);
        },
        [&](const std::string& id) {
          std::lock_guard guard(mutex);
          if (std::find(offered.begin(), offered.end(), id) == offered.end()) {
            ++removalsOfUnknownIDs;
          }
          removed.insert(id);
        },
        [](const std::string&) {}, true, [](const Observation&, double) {});
  };

  startMonitor();
  std::atomic<bool> done = false;
  std::atomic<int> pressesReported = 0;
  std::thread decider([&] {
    while (!done) {
      std::string latest;
      {
        std::lock_guard guard(mutex);
        latest = offered.empty() ? "" : offered.back();
      }
      if (!latest.empty() && monitor.decide(latest, Decision::allow)) {
        ++pressesReported;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  });
  for (int round = 0; round < 40; ++round) {
    std::this_thread::sleep_for(std::chrono::milliseconds(3));
    if (round % 2 == 0) {
      monitor.stop();
    } else {
      startMonitor();
    }
  }
  done = true;
  decider.join();
  monitor.stop();

  std::lock_guard guard(mutex);
  EXPECT_GT(offered.size(), 1u);
  EXPECT_EQ(removalsOfUnknownIDs, 0);
  for (const std::string& id : offered) {
    EXPECT_EQ(removed.count(id), 1u) << id;
  }
  EXPECT_EQ(static_cast<int>(allow->performed.size()), pressesReported.load());
}

} // namespace
} // namespace notch
