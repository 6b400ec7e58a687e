#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>

#include "core/native/CardBuilder.h"
#include "core/native/NativeApprovalMonitor.h"
#include "core/native/NativeButtonCheck.h"
#include "platform/FakeAccessibility.h"
#include "platform/FakeWorkspace.h"
#include "support/FakeClock.h"
#include "support/SerialQueue.h"

namespace notch {
namespace {

using namespace testing;
using Observation = QuestionReminderState::Observation;
using Lines = std::vector<std::string>;

constexpr std::int32_t kPid = 4242;
const std::string kCardFound = "status 已发现后台 WorkBuddy 的原生删除确认";
const std::string kWaiting = "status 等待 WorkBuddy 的原生删除确认";
const std::string kCardChanged = "status 原生确认已变化或无法完整读取，请在 WorkBuddy 中确认";
const std::string kButtonUnavailable = "status 原生按钮不可用或 WorkBuddy 已在前台，请在原窗口确认";
const std::string kQuestion = "question waiting 选择部署环境？ 1/3";

FakeElementRef childOf(const FakeElementRef& parent, std::size_t index) {
  const AXElementRef& child = std::get<std::vector<AXElementRef>>(parent->attributes.at("AXChildren")).at(index);
  return std::const_pointer_cast<FakeElement>(std::dynamic_pointer_cast<const FakeElement>(child));
}

std::string describe(const Observation& observation) {
  if (const auto* waiting = std::get_if<QuestionReminderState::Waiting>(&observation)) {
    const QuestionReminder& r = waiting->reminder;
    return "question waiting " + r.title + " " + std::to_string(r.currentPage) + "/" + std::to_string(r.totalPages);
  }
  return std::holds_alternative<QuestionReminderState::Absent>(observation) ? "question absent"
                                                                            : "question unavailable";
}

// The monitor on a virtual-time queue: it polls only when the test polls or
// advances the clock, and every callback becomes one line.
struct Harness {
  Harness() { run({{.pid = kPid}}); }

  void run(std::vector<RunningApplication> instances) {
    workspace.set(std::string(NativeApprovalMonitor::bundleIdentifier), std::move(instances));
  }
  void showWindows(std::vector<AXElementRef> windows) {
    accessibility.application(kPid)->set("AXWindows", std::move(windows));
  }
  // Shows one window holding `content`.
  FakeElementRef show(std::vector<NativeApprovalNode> content) {
    window = fakeElementsFor(scannedWindow(std::move(content)), kPid);
    showWindows({window});
    return window;
  }
  // The grouped card's parts: title, risk, command, allow, deny.
  FakeElementRef part(std::size_t index) const { return childOf(childOf(window, 0), index); }
  // Puts a new element with the same attributes in place of a part.
  void replacePart(std::size_t index) {
    std::get<std::vector<AXElementRef>>(childOf(window, 0)->attributes.at("AXChildren")).at(index) =
        std::make_shared<FakeElement>(*part(index));
  }

  void start(bool approvals = true) {
    monitor.start(
        [this](const ApprovalRequest& request) {
          requests.push_back(request);
          lines.push_back("request " + request.id);
          std::function<void()>{afterRequest}(); // a copy: the hook may replace itself
        },
        [this](const std::string& id) {
          lines.push_back("removal " + id);
          std::function<void()>{afterRemoval}();
        },
        [this](const std::string& status) { lines.push_back("status " + status); }, approvals,
        [this](const Observation& observation, double capturedAt) {
          observations.emplace_back(observation, capturedAt);
          lines.push_back(describe(observation));
        });
  }

  // Offers the standard card and forgets the callbacks that led there.
  std::string offerCard() {
    show({DeletionCard().grouped()});
    start();
    monitor.pollNow();
    EXPECT_EQ(requests.size(), 1u);
    lines.clear();
    return requests.back().id;
  }

  Lines take() { return std::exchange(lines, {}); }

  FakeClock clock;
  FakeAccessibility accessibility{&clock, 0.0};
  FakeWorkspace workspace;
  FakeElementRef window;
  Lines lines;
  std::vector<ApprovalRequest> requests;
  std::vector<std::pair<Observation, double>> observations; // with the instant each was captured at
  std::function<void()> afterRequest = [] {};
  std::function<void()> afterRemoval = [] {};
  ManualTaskQueue queue{clock};
  NativeApprovalMonitor monitor{accessibility, workspace, clock, queue};
};

TEST(NativeApprovalMonitorTest, OffersABackgroundCardOnceAndReportsOnlyChanges) {
  Harness t;
  t.show({DeletionCard().grouped()});
  t.start();
  t.monitor.pollNow();
  t.monitor.pollNow();
  ASSERT_EQ(t.requests.size(), 1u);
  const ApprovalRequest& request = t.requests.front();
  EXPECT_TRUE(Uuid::parse(request.id));
  // clang-format off
  const std::string toolInput = "{\n  \"command\" : \"rm -rf ./build ./dist\",\n"
      "  \"description\" : \"检测到批量删除操作：累计删除数量 5 项，阈值 3\\n高风险命令，可能影响系统稳定性\",\n"
      "  \"原生允许按钮\" : \"允许本次删除\",\n  \"原生拒绝按钮\" : \"取消删除\",\n"
      "  \"接入方式\" : \"辅助功能：仅点击这个原生确认卡，不是工具 Hook\",\n  \"窗口\" : \"WorkBuddy\"\n}";
  // clang-format on
  EXPECT_EQ(request, (ApprovalRequest{request.id, "WorkBuddy", "原生安全确认", toolInput, "", "NativeApproval",
                                      t.clock.now() + 315'360'000, "workbuddy"}));
  EXPECT_EQ(t.lines, (Lines{"question absent", kCardFound, "request " + request.id, "question absent"}));
}

// Whatever ends the offered card's chance retires it once, with the status that says why; anything that makes it
// not exactly the card offered, or its button not safely pressable, also makes a decision press nothing.
TEST(NativeApprovalMonitorTest, RetiresTheCardOnceAndPressesNothingUnlessItIsExactlyTheOneOffered) {
  struct Change {
    const char* name;
    std::function<void(Harness&)> change;
    bool decide; // or poll twice
    std::string status;
  };
  // clang-format off
  const Change changes[] = {
      {"front", [](auto& t) { t.run({{.pid = kPid, .active = true}}); }, false, "status WorkBuddy 正在前台，原生确认留在原窗口"},
      {"hidden", [](auto& t) { t.run({{.pid = kPid, .hidden = true}}); }, false, "status WorkBuddy 已隐藏，请打开原窗口确认"},
      {"terminated", [](auto& t) { t.run({{.pid = kPid, .terminated = true}}); }, false, "status WorkBuddy 未运行"},
      {"two instances", [](auto& t) { t.run({{.pid = kPid}, {.pid = kPid + 1}}); }, false, "status 存在多个 WorkBuddy 实例，请在原窗口确认"},
      {"card gone", [](auto& t) { t.show({}); }, false, kWaiting},
      // WorkBuddy changing while its windows are read: nothing of that scan is trusted.
      {"front during a scan", [](auto& t) { t.window->onCopy = [&t](std::string_view) { t.run({{.pid = kPid, .active = true}}); }; }, false, "status WorkBuddy 状态已变化，请在原窗口确认"},
      {"two instances during a scan", [](auto& t) { t.window->onCopy = [&t](std::string_view) { t.run({{.pid = kPid}, {.pid = kPid + 1}}); }; }, false, "status WorkBuddy 状态已变化，请在原窗口确认"},
      {"permission lost", [](auto& t) { t.accessibility.trusted = false; }, false, "status 需要辅助功能权限，才能读取 WorkBuddy 的确认卡或提问卡"},
      // Decisions after the change.
      {"other command", [](auto& t) { t.part(2)->set("AXValue", std::string("rm -rf ~/Documents")); }, true, kCardChanged},
      {"other allow button", [](auto& t) { t.replacePart(3); }, true, kCardChanged},
      {"other context element", [](auto& t) { t.replacePart(1); }, true, kCardChanged},
      {"other window title", [](auto& t) { t.window->set("AXTitle", std::string("Other")); }, true, kCardChanged},
      {"live read fails", [](auto& t) { t.accessibility.liveRefreshFails = true; }, true, kCardChanged},
      {"unreadable window", [](auto& t) { t.window->multipleCopyFails = true; }, true, kCardChanged},
      {"WorkBuddy in front", [](auto& t) { t.run({{.pid = kPid, .active = true}}); }, true, kCardChanged},
      {"front during the button check", [](auto& t) { t.part(3)->onCopy = [&t](std::string_view) { t.run({{.pid = kPid, .active = true}}); }; }, true, kButtonUnavailable},
      {"no AXPress", [](auto& t) { t.part(3)->actions = {"AXShowMenu"}; }, true, kButtonUnavailable},
      {"role unreadable", [](auto& t) { t.part(3)->failingCopies.insert("AXRole"); }, true, kButtonUnavailable},
      {"press fails", [](auto& t) { t.part(3)->actionFails = true; }, true, "status 原生按钮操作失败，请在 WorkBuddy 中确认"},
      {"permission lost", [](auto& t) { t.accessibility.trusted = false; }, true, "status 辅助功能权限不可用，请在 WorkBuddy 中确认"},
      {"stopped by the removal", [](auto& t) { t.afterRemoval = [&t] { t.monitor.stop(); }; }, true, "question unavailable"},
  };
  // clang-format on
  for (const Change& change : changes) {
    Harness test;
    const std::string id = test.offerCard();
    change.change(test);
    if (change.decide) {
      EXPECT_FALSE(test.monitor.decide(id, Decision::allow)) << change.name;
      EXPECT_TRUE(test.part(3)->performed.empty() && test.part(4)->performed.empty()) << change.name;
      EXPECT_EQ(test.lines, (Lines{"removal " + id, change.status})) << change.name;
      continue;
    }
    test.monitor.pollNow();
    test.monitor.pollNow();
    EXPECT_EQ(std::count(test.lines.begin(), test.lines.end(), "removal " + id), 1) << change.name;
    EXPECT_EQ(std::count(test.lines.begin(), test.lines.end(), change.status), 1) << change.name;
    EXPECT_EQ(test.requests.size(), 1u) << change.name;
  }
}

// Callbacks that throw leave the monitor whole.
TEST(NativeApprovalMonitorTest, AllowAndDenyPressTheVerifiedButtonAfterTheCardIsRetired) {
  for (const Decision decision : {Decision::allow, Decision::deny}) {
    Harness test;
    test.afterRequest = [] { throw std::runtime_error("the app failed"); };
    const std::string id = test.offerCard();
    const std::size_t pressed = decision == Decision::allow ? 3 : 4;
    test.afterRemoval = [&] {
      EXPECT_TRUE(test.part(pressed)->performed.empty()) << "pressed before retiring";
      throw std::runtime_error("the app failed again");
    };
    EXPECT_FALSE(test.monitor.decide("another id", decision));
    EXPECT_TRUE(test.monitor.decide(id, decision));
    EXPECT_FALSE(test.monitor.decide(id, decision)) << "a decided card is gone";
    EXPECT_EQ(test.part(pressed)->performed, Lines{"AXPress"});
    EXPECT_TRUE(test.part(7 - pressed)->performed.empty());
    EXPECT_EQ(test.lines, (Lines{"removal " + id, "status 已点击原生确认按钮；结果以 WorkBuddy 为准"}));
  }
}

TEST(NativeApprovalMonitorTest, ADecidedCardStaysSuppressedUntilNoLabelledButtonIsSeen) {
  Harness t;
  const std::string id = t.offerCard();
  EXPECT_TRUE(t.monitor.decide(id, Decision::passthrough));
  EXPECT_TRUE(t.part(3)->performed.empty() && t.part(4)->performed.empty()) << "passthrough presses nothing";
  t.monitor.pollNow();
  t.part(2)->set("AXValue", std::string("rm -rf …")); // an unverifiable card with a labelled button keeps it...
  t.monitor.pollNow();
  t.part(2)->set("AXValue", std::string("rm -rf ./build ./dist"));
  t.monitor.pollNow();
  const std::string unverified = "status 已读到审批按钮，但卡片结构或完整命令未通过校验，请在 WorkBuddy 确认";
  EXPECT_EQ(t.take(), (Lines{"removal " + id, "question absent", kWaiting, "question absent", unverified,
                             "question absent", kWaiting}));
  const FakeElementRef card = t.window;
  t.show({}); // ...suppressed; a complete poll without one lifts it
  t.monitor.pollNow();
  t.showWindows({t.window = card});
  t.monitor.pollNow();
  ASSERT_EQ(t.requests.size(), 2u);

  t.window->set("AXTitle", std::string("Other")); // a changed card, even in the same elements, comes under a new id
  t.take();
  t.monitor.pollNow();
  ASSERT_EQ(t.requests.size(), 3u);
  EXPECT_EQ(t.take(), (Lines{"question absent", "removal " + t.requests[1].id, "request " + t.requests[2].id}));
}

// A restart from a callback ends the rest of that poll: its waiting question is never delivered.
TEST(NativeApprovalMonitorTest, RestartsEndWhatTheyReplaceOrSwitchOff) {
  Harness t;
  t.show({DeletionCard().grouped(), QuestionCard().group()});
  t.afterRequest = [&t] {
    t.afterRequest = [] {};
    t.start();
  };
  t.start();
  t.monitor.pollNow();
  ASSERT_EQ(t.requests.size(), 1u);
  EXPECT_EQ(t.take(), (Lines{kCardFound, "request " + t.requests[0].id}));
  t.start(false); // approvals off: the card goes at once
  EXPECT_EQ(t.take(), Lines{"removal " + t.requests[0].id});
}

TEST(NativeApprovalMonitorTest, TheFallbackWindowServesQuestionsNeverCards) {
  Harness t;
  const FakeElementRef only = t.show({DeletionCard().grouped(), QuestionCard().group()});
  t.showWindows({});
  t.accessibility.application(kPid)->set("AXMainWindow", AXElementRef(only)).set("AXFocusedWindow", AXElementRef(only));
  t.start();
  t.monitor.pollNow();
  EXPECT_TRUE(t.requests.empty());
  EXPECT_EQ(t.lines, (Lines{"status 已读取后台提问；备用窗口仅用于提醒，不用于审批", kQuestion}));
}

TEST(NativeApprovalMonitorTest, AQuestionFlowKeepsItsIdUntilTwoAbsencesInARow) {
  Harness t;
  const FakeElementRef empty = t.show({});
  const FakeElementRef question = t.show({QuestionCard().group()});
  std::vector<std::string> flows;
  t.start();
  for (const char step : std::string("QaQa-QaaQ")) { // question, absence, or a scan without permission
    t.accessibility.trusted = step != '-';
    t.showWindows({step == 'Q' ? question : empty});
    t.clock.advance(1);
    t.monitor.pollNow();
    if (step == 'Q') {
      const auto& [observation, capturedAt] = t.observations.back();
      flows.push_back(std::get<QuestionReminderState::Waiting>(observation).reminder.flowID);
      EXPECT_EQ(capturedAt, t.clock.uptime()); // the scan's start
    }
  }
  // One absence keeps the flow, an unavailable scan resets the absence count, two absences in a row end it.
  EXPECT_EQ(std::set<std::string>(flows.begin(), flows.begin() + 3).size(), 1u);
  EXPECT_NE(flows[3], flows[2]);

  t.run({{.pid = kPid, .active = true}}); // a question of WorkBuddy in front is unavailable
  t.monitor.pollNow();
  EXPECT_EQ(describe(t.observations.back().first), "question unavailable");
}

// Real threads, for the thread sanitizer: decisions and restarts race the
// timer; every offered card is removed once, and a press happens only for a
// decision that reported it.
TEST(NativeApprovalMonitorThreadingTest, EntryPointsRaceTheTimerSafely) {
  Harness t;
  t.show({DeletionCard().grouped()});
  SerialQueue queue("vantrel-notch.native-approval");
  NativeApprovalMonitor monitor(t.accessibility, t.workspace, t.clock, queue, {.pollInterval = 0.002});
  std::mutex mutex;
  std::multiset<std::string> offered, removed;
  std::string latest;
  const auto record = [&](std::multiset<std::string>& into, const std::string& id) {
    std::lock_guard guard(mutex);
    EXPECT_TRUE(&into == &offered || offered.contains(id)) << "removal before its request";
    into.insert(id);
    latest = &into == &offered ? id : latest;
  };
  std::atomic<int> presses = 0;
  for (int round = 0; round < 40; ++round) {
    if (round % 2 == 0) {
      monitor.start([&](const ApprovalRequest& r) { record(offered, r.id); }, [&](auto& id) { record(removed, id); },
                    [](const std::string&) {}, true, [](const Observation&, double) {});
    }
    std::thread decider([&] {
      std::unique_lock guard(mutex);
      const std::string id = latest;
      guard.unlock();
      presses += monitor.decide(id, Decision::allow) ? 1 : 0;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(3));
    round % 2 == 1 ? monitor.stop() : void();
    decider.join();
  }
  EXPECT_GT(offered.size(), 1u);
  EXPECT_EQ(removed, offered);
  EXPECT_EQ(static_cast<int>(t.part(3)->performed.size()), presses.load());
}

// An enabled, visible allow button offering AXPress passes the check for its own label only; each row changes one
// thing of it.
TEST(NativeButtonCheckTest, PassesOnlyAnEnabledVisibleButtonNamingTheChosenLabel) {
  EXPECT_FALSE(NativeButtonCheck::isPressable(FakeAccessibility(), nullptr, "允许本次删除"));
  // clang-format off
  const std::tuple<bool, std::string_view, std::function<void(FakeElement&)>> rows[] = {
      {true, "允许本次删除", [](FakeElement&) {}},
      {false, "取消删除", [](FakeElement&) {}},
      // No texts and no hidden flag pass.
      {true, "允许本次删除", [](FakeElement& b) { b.attributes.erase("AXTitle"); b.attributes.erase("AXHidden"); b.set("AXValue", std::string()).set("AXDescription", AXNullMarker{}); }},
      {false, "允许本次删除", [](FakeElement& b) { b.set("AXRole", std::string("AXStaticText")); }},
      {false, "允许本次删除", [](FakeElement& b) { b.set("AXEnabled", false); }},
      {false, "允许本次删除", [](FakeElement& b) { b.attributes.erase("AXEnabled"); }},
      {false, "允许本次删除", [](FakeElement& b) { b.set("AXHidden", true); }},
      {false, "允许本次删除", [](FakeElement& b) { b.set("AXDescription", std::string("取消删除")); }},
      {false, "允许本次删除", [](FakeElement& b) { b.set("AXValue", std::string("允许本次删除\u200b")); }},
      {false, "允许本次删除", [](FakeElement& b) { b.set("AXTitle", std::string("允许本次删除吗")); }},
      {false, "允许本次删除", [](FakeElement& b) { b.actions = {"AXShowMenu"}; }},
  };
  // clang-format on
  for (std::size_t k = 0; k < std::size(rows); ++k) {
    const auto& [passes, label, change] = rows[k];
    const FakeElementRef button = FakeAccessibility::element(7, "AXButton");
    button->set("AXEnabled", true).set("AXHidden", false).set("AXTitle", std::string(" 1. 允许本次删除\n"));
    button->actions = {"AXShowMenu", "AXPress"};
    change(*button);
    EXPECT_EQ(NativeButtonCheck::isPressable(FakeAccessibility(), button, label), passes) << "row " << k;
  }
}

} // namespace
} // namespace notch
