// The app model in virtual time, against the real approval server in a
// private bridge directory: hooks are plain socket clients, the main queue
// and the native monitor's queue are ManualTaskQueues on the test thread.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <thread>

#include "app/AppModel.h"
#include "app/PreferenceKeys.h"
#include "core/bridge/BridgePaths.h"
#include "core/bridge/TestBridge.h"
#include "core/config/FileSystem.h"
#include "core/config/HookInstaller.h"
#include "core/native/CardBuilder.h"
#include "platform/FakeAccessibility.h"
#include "platform/FakeAppPlatform.h"
#include "platform/FakeWorkspace.h"
#include "support/ManualTaskQueue.h"

namespace notch {
namespace {

using namespace testing;
using Kind = NotchInteraction::Feedback::Kind;

// The hand-off delay and the arming margin, and a hair for the rounding of
// wall-clock instants near 8e8 s.
constexpr double kArmed = 0.4601;
constexpr std::int32_t kPid = 4242;
const std::string kExecutable = "/opt/vantrel/VantrelNotch";

void writeFile(const std::string& path, const std::string& text) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

std::string allowLine(const std::string& id) { return R"({"decision":"allow","id":")" + id + "\"}\n"; }

struct Harness {
  Harness() { start(); }

  void start() {
    model = AppModel::create(AppEnvironment{clock, main, native, preferences, clipboard, workspace, systemSettings,
                                            accessibility, fileSystem, bridgeDirectory, home.path(), kExecutable},
                             AppModelDependencies::system(workspace, preferences));
    model->start();
  }

  const AppState& state() const { return model->state(); }
  const NotchInteraction& interaction() const { return model->state().interaction; }
  std::optional<std::string> shownID() const {
    const ApprovalRequest* shown = interaction().current();
    return shown ? std::optional(shown->id) : std::nullopt;
  }

  // A hook sends its request through the bridge; returns once the model has it.
  ApprovalRequest ask(std::optional<ApprovalRequest> given = {}) {
    const ApprovalRequest request = given.value_or(makeRequest(clock.now()));
    hooks.push_back(std::make_unique<TestClient>(bridgeSocketPath(bridge.path())));
    EXPECT_TRUE(hooks.back()->send(lineOf(request)));
    EXPECT_TRUE(until(
        [&] { return std::ranges::any_of(interaction().requests(), [&](auto& r) { return r.id == request.id; }); }));
    return request;
  }

  // WorkBuddy runs as kPid, in the background unless told otherwise.
  void workBuddy(RunningApplication application = {.pid = kPid}) {
    workspace.set(std::string(NativeApprovalMonitor::bundleIdentifier), {application});
  }
  void workspaceChanged() { workspace.changes.notify(ApplicationChange{}); }

  // WorkBuddy's window with or without its question card; one poll of the monitor.
  void poll(bool question) {
    accessibility.application(kPid)->set("AXWindows",
                                         std::vector<AXElementRef>{question ? questionWindow : plainWindow});
    native.advance(0.8);
    main.runUntilIdle();
  }
  void showQuestion() { poll(true), poll(true); } // the second identical sighting shows it

  void enableTurnEnds() {
    preferences.setBool(PreferenceKeys::completionReminders, true);
    model->startCompletionReminders();
  }
  // One turn event through the turn-end socket, handled `delay` seconds after it arrived.
  void turn(const std::string& hookEvent, const std::string& reason = "completed", double delay = 0,
            bool workspaceChangesMeanwhile = false) {
    const std::string hook = R"({"hook_event_name":")" + hookEvent + R"(","session_id":"s-)" + std::to_string(turns) +
                             R"(","generation_id":"g","final_stop_reason":")" + reason + "\"}";
    EXPECT_TRUE(TestClient(completionSocketPath(bridge.path()))
                    .send(CompletionEvent::decodeHook(hook, clock.now())->encode().value() + "\n"));
    EXPECT_TRUE(until([&] { return main.readyCount() > 0; }, false));
    clock.advanceWallClock(delay);
    if (workspaceChangesMeanwhile) {
      workspaceChanged();
    }
    main.runUntilIdle();
  }
  // A background turn that started and completed, 0.1 s after a tick; it
  // shows (and opens the notch) on the fifth tick after, 0.1 s before this returns.
  Uuid finishedTurn() {
    ++turns;
    main.advance(0.1);
    turn("UserPromptSubmit");
    turn("FinalStop");
    main.advance(CompletionReminderState::presentationDelay + 0.2);
    EXPECT_TRUE(model->completionVisible()) << state().completionStatus;
    return model->completionVisible() ? state().completionState.current()->token : Uuid();
  }

  // Runs the main queue (unless told not to) until `condition` holds, bounded in real time: the servers answer from
  // their own threads.
  template <typename Condition> bool until(Condition condition, bool runMain = true) {
    for (int i = 0; i < 5000; ++i, std::this_thread::sleep_for(std::chrono::milliseconds(1))) {
      if (runMain) {
        main.runUntilIdle();
      }
      if (condition()) {
        return true;
      }
    }
    return false;
  }

  TemporaryDirectory bridge;
  TemporaryDirectory home;
  std::string bridgeDirectory = bridge.path();
  FakeClock clock;
  ManualTaskQueue main{clock};
  ManualTaskQueue native{clock};
  FakePreferences preferences;
  FakeClipboard clipboard;
  FakeWorkspace workspace;
  FakeSystemSettings systemSettings;
  FakeAccessibility accessibility{&clock, 0.0};
  SystemFileSystem fileSystem;
  std::vector<std::unique_ptr<TestClient>> hooks;
  int turns = 0;
  const FakeElementRef questionWindow = fakeElementsFor(scannedWindow({QuestionCard().group()}), kPid);
  const FakeElementRef plainWindow = fakeElementsFor(scannedWindow({}), kPid);
  std::shared_ptr<AppModel> model;
};

TEST(AppModelTest, StartsTheBridgeOrSaysWhyNot) {
  Harness t, second;
  EXPECT_TRUE(t.state().serviceReady && !t.interaction().expanded());
  second.model.reset();
  second.bridgeDirectory = t.bridge.path(); // already served by the first
  second.start();
  EXPECT_FALSE(second.state().serviceReady);
  EXPECT_EQ(second.state().message.rfind("桥接未启动：", 0), 0u) << second.state().message;
  EXPECT_TRUE(second.interaction().expanded());
}

TEST(AppModelTest, AClickIsTakenOnlyAfterTheRequestWasShownLongEnough) {
  Harness t;
  const ApprovalRequest request = t.ask();
  EXPECT_TRUE(t.interaction().expanded()) << "a request opens the notch";
  EXPECT_FALSE(t.model->decide(request, Decision::allow));
  t.main.advance(0.455); // past the hand-off delay, not yet past the arming margin
  EXPECT_FALSE(t.state().actionReady);
  EXPECT_FALSE(t.model->decide(request, Decision::allow));
  t.main.advance(kArmed - 0.455);
  EXPECT_TRUE(t.state().actionReady);

  const ApprovalRequest second = t.ask(); // arriving behind the shown one disarms nothing
  EXPECT_TRUE(t.state().actionReady);
  EXPECT_FALSE(t.model->decide(second, Decision::allow)) << "only the shown request";
  EXPECT_TRUE(t.model->decide(request, Decision::allow));
  EXPECT_FALSE(t.model->decide(request, Decision::allow)) << "once";
  EXPECT_EQ(t.hooks[0]->readUntilClosed(), allowLine(request.id));
  EXPECT_EQ(t.state().message, "上次决定已发送 · 等待下一条请求");
  EXPECT_EQ(t.interaction().feedback()->kind, Kind::allowed);
}

TEST(AppModelTest, ReceiptsGiveWayToTheNextRequestAndTheLastClosesTheNotch) {
  for (const bool autoCollapse : {true, false}) {
    Harness t;
    t.preferences.setBool(PreferenceKeys::autoCollapse, autoCollapse);
    const ApprovalRequest first = t.ask();
    const ApprovalRequest second = t.ask();
    t.model->expand();
    t.main.advance(kArmed);
    ASSERT_TRUE(t.model->decide(first, Decision::deny));
    EXPECT_EQ(t.interaction().feedback()->kind, Kind::denied);
    t.main.advance(1.09);
    EXPECT_TRUE(t.interaction().feedback());
    t.main.advance(0.01);
    EXPECT_FALSE(t.interaction().feedback());
    EXPECT_EQ(t.shownID(), second.id);
    EXPECT_FALSE(t.state().actionReady);
    t.main.advance(kArmed);
    EXPECT_TRUE(t.state().actionReady);

    ASSERT_TRUE(t.model->decide(second, Decision::passthrough));
    EXPECT_EQ(t.interaction().feedback()->kind, Kind::returned);
    t.main.advance(1.79);
    EXPECT_TRUE(t.interaction().feedback());
    t.main.advance(0.01);
    EXPECT_FALSE(t.interaction().feedback());
    EXPECT_TRUE(t.interaction().expanded());
    t.main.advance(0.15);
    EXPECT_EQ(t.interaction().expanded(), !autoCollapse);
    t.model->setPointerInside(true);
    t.model->setPointerInside(false);
    t.model->collapseIfIdle();
    t.main.advance(10);
    EXPECT_EQ(t.interaction().expanded(), !autoCollapse);
  }
}

TEST(AppModelTest, HoverOpensOnlyAfterADwellAndNotAgainAfterEscUntilThePointerLeft) {
  Harness t;
  const auto hover = [&](bool inside, double wait) {
    t.model->setPointerInside(inside);
    t.main.advance(wait);
    return t.interaction().expanded();
  };
  EXPECT_FALSE(hover(true, 0.21) || hover(false, 1)) << "a pass across the badge";
  EXPECT_TRUE(hover(true, 0.22));
  t.model->collapse(); // Esc, with the pointer still over the notch
  EXPECT_FALSE(hover(true, 1));
  EXPECT_TRUE(hover(false, 0) || hover(true, 0.22));
  t.model->collapse();
  t.preferences.setBool(PreferenceKeys::hoverToExpand, false);
  EXPECT_FALSE(hover(false, 0) || hover(true, 1));
}

TEST(AppModelTest, DemonstrationsSendNothingAndGiveWayToRealRequests) {
  Harness t;
  t.model->showDemo(false);
  ASSERT_TRUE(t.state().isDemo);
  EXPECT_EQ(t.interaction().current()->toolName, "Bash");
  const ApprovalRequest real = t.ask(); // ends the demonstration silently
  EXPECT_FALSE(t.state().isDemo || t.interaction().feedback());
  EXPECT_EQ(t.shownID(), real.id);
  EXPECT_EQ(t.interaction().requests().size(), 1u);
  EXPECT_EQ(t.state().message, "本地桥接已就绪");
  t.model->collapse();
  t.model->showDemo(true); // with a request waiting: only opens the notch
  EXPECT_EQ(t.shownID(), real.id);
  EXPECT_TRUE(t.interaction().expanded());

  Harness d;
  d.model->showDemo(true);
  const ApprovalRequest demo = *d.interaction().current();
  EXPECT_EQ(std::tie(demo.eventName, demo.sessionID, demo.source), std::tuple("NativeApproval", "演示窗口", "demo"));
  EXPECT_EQ(demo.toolInputJSON,
            "{\n  \"command\" : \"rm -f ./temporary-frames/*.png\",\n  \"description\" : "
            "\"检测到批量删除操作：累计删除数量 336 项，阈值 50\\n高风险命令，可能影响系统稳定性\"\n}");
  EXPECT_DOUBLE_EQ(demo.expiresAt, d.clock.now() + 3600);
  d.main.advance(kArmed);
  EXPECT_TRUE(d.model->decide(demo, Decision::allow));
  EXPECT_EQ(d.state().message, "演示结束 · 没有执行任何命令");
  EXPECT_TRUE(d.interaction().feedback()->isDemo && !d.state().isDemo);
  EXPECT_TRUE(d.workspace.calls.empty()) << "a native demonstration presses and opens nothing";
}

TEST(AppModelTest, CopiesWhatTheCardShows) {
  Harness t;
  ApprovalRequest request = makeRequest(t.clock.now());
  request.toolInputJSON = "{\n  \"command\" : \"ls -la\",\n  \"timeout\" : 5\n}";
  t.ask(request);
  t.model->copyRequest(request);
  EXPECT_EQ(t.clipboard.text, "ls -la");
  t.model->setShowAllParameters(true);
  t.model->copyRequest(request);
  EXPECT_EQ(t.clipboard.text, request.toolInputJSON);
  EXPECT_EQ(t.state().copiedRequestID, request.id);
  t.main.advance(1.49);
  EXPECT_EQ(t.state().copiedRequestID, request.id);
  t.main.advance(0.01);
  EXPECT_FALSE(t.state().copiedRequestID);
}

TEST(AppModelTest, OpensTheRightWorkBuddyOrSaysWhy) {
  const std::string plain = "/Applications/WorkBuddy.app", ai = "/Applications/WorkBuddy AI.app";
  struct Row {
    std::set<std::string> installed;
    std::string source;
    std::optional<std::string> openError;
    std::vector<std::string> calls;
    std::string message;
  };
  const std::string ready = "本地桥接已就绪";
  const Row rows[] = {
      {{plain, ai}, "workbuddyAI", {}, {"open " + ai}, ready},
      {{plain, ai}, "workbuddy", {}, {"open " + plain}, ready},
      {{plain}, "workbuddyAI", {}, {"open " + plain}, ready},
      {{ai}, "workbuddy", {}, {"open " + ai}, ready},
      {{}, "workbuddy", {}, {}, "未在 Applications 找到WorkBuddy，请手动打开"},
      {{plain}, "workbuddy", "denied", {"open " + plain}, "无法打开WorkBuddy，请手动打开"},
  };
  for (const Row& row : rows) {
    Harness t;
    t.workspace.installed = row.installed;
    t.workspace.openError = row.openError;
    t.model->openWorkBuddy(row.source);
    t.main.runUntilIdle();
    EXPECT_EQ(t.workspace.calls, row.calls) << row.source;
    EXPECT_EQ(t.state().message, row.message) << row.source;
    EXPECT_EQ(t.interaction().expanded(), row.message != ready) << row.source;
  }
}

// A native card that changed before the click is not pressed: the receipt
// says so and WorkBuddy opens so that the user decides there.
TEST(AppModelTest, AChangedNativeCardOpensWorkBuddy) {
  Harness t;
  t.workspace.set(std::string(NativeApprovalMonitor::bundleIdentifier), {{.pid = kPid}});
  t.workspace.installed = {"/Applications/WorkBuddy.app", "/Applications/WorkBuddy AI.app"};
  const FakeElementRef window = fakeElementsFor(scannedWindow({DeletionCard().grouped()}), kPid);
  t.accessibility.application(kPid)->set("AXWindows", std::vector<AXElementRef>{window});
  t.preferences.setBool(PreferenceKeys::nativeApprovals, true);
  t.model->refreshNativeMonitoring();
  t.native.advance(0); // the first poll
  ASSERT_TRUE(t.until([&] { return t.interaction().current() != nullptr; }));
  const ApprovalRequest card = *t.interaction().current();
  EXPECT_EQ(card.eventName, "NativeApproval");
  t.model->expand();
  t.main.advance(kArmed);
  window->multipleCopyFails = true; // the card can no longer be read whole
  EXPECT_FALSE(t.model->decide(card, Decision::allow));
  EXPECT_EQ(t.interaction().feedback()->kind, Kind::unavailable);
  EXPECT_EQ(t.workspace.calls, std::vector<std::string>{"open /Applications/WorkBuddy.app"});
  EXPECT_EQ(t.state().message, "上条请求已结束");
}

TEST(AppModelTest, NativeMonitoringFollowsItsPreferences) {
  Harness t; // questions on by default, native cards off
  EXPECT_GT(t.native.scheduledCount(), 0u);
  t.preferences.setBool(PreferenceKeys::questionReminders, false);
  t.model->refreshNativeMonitoring();
  EXPECT_EQ(t.native.scheduledCount(), 0u);
  EXPECT_EQ(t.state().nativeStatus, "原生审批和提问提醒均已关闭");

  t.accessibility.trusted = false;
  t.model->openAccessibilitySettings(true);
  EXPECT_TRUE(t.preferences.boolValue(PreferenceKeys::nativeApprovals));
  EXPECT_EQ(t.systemSettings.opened, 1);
  EXPECT_FALSE(t.state().nativeAccessGranted);
  EXPECT_GT(t.native.scheduledCount(), 0u);
  t.native.advance(0);
  t.main.runUntilIdle();
  EXPECT_EQ(t.state().nativeStatus, "需要辅助功能权限，才能读取 WorkBuddy 的确认卡或提问卡");
}

// The production answers about WorkBuddy, for each state it can be in;
// always asked about kPid.
TEST(AppModelTest, TheSystemDependenciesAnswerForTheOneWorkBuddyProcess) {
  struct Row {
    std::vector<RunningApplication> running;
    bool questionBackground, questionActivated, completionBackground, completionActivated;
    std::optional<std::int32_t> target;
    std::vector<std::string> calls;
  };
  const std::string activate = "activate 4242", unhide = "unhide 4242";
  const Row rows[] = {
      {{{.pid = kPid}}, true, true, true, true, kPid, {activate, activate}},
      {{{.pid = kPid, .active = true}}, false, true, false, true, kPid, {activate, activate}},
      {{{.pid = kPid, .hidden = true}}, false, false, true, true, kPid, {unhide, activate}},
      {{{.pid = kPid}, {.pid = kPid + 1}}, false, false, false, false, std::nullopt, {}},
      {{{.pid = kPid + 1}}, false, false, false, false, kPid + 1, {}},
      {{{.pid = kPid, .terminated = true}}, false, false, false, false, std::nullopt, {}},
  };
  for (const Row& row : rows) {
    FakeWorkspace workspace;
    FakePreferences preferences;
    workspace.set(std::string(NativeApprovalMonitor::bundleIdentifier), row.running);
    const AppModelDependencies system = AppModelDependencies::system(workspace, preferences);
    EXPECT_EQ(system.questionIsBackground(kPid), row.questionBackground);
    EXPECT_EQ(system.questionActivate(kPid), row.questionActivated);
    EXPECT_EQ(system.completionIsBackground(kPid), row.completionBackground);
    EXPECT_EQ(system.completionActivate(kPid), row.completionActivated);
    EXPECT_EQ(system.completionTarget(), row.target);
    EXPECT_EQ(workspace.calls, row.calls);
  }
  FakeWorkspace workspace; // hidden: shown first, and either refusal fails the activation
  FakePreferences preferences;
  workspace.set(std::string(NativeApprovalMonitor::bundleIdentifier), {{.pid = kPid, .hidden = true}});
  const AppModelDependencies system = AppModelDependencies::system(workspace, preferences);
  workspace.unhideSucceeds = false;
  EXPECT_FALSE(system.completionActivate(kPid));
  workspace.unhideSucceeds = true;
  workspace.activationSucceeds = false;
  EXPECT_FALSE(system.completionActivate(kPid));
  EXPECT_EQ(workspace.calls, (std::vector<std::string>{unhide, unhide, activate}));
  preferences.setBool(PreferenceKeys::questionReminders, false);
  preferences.setBool(PreferenceKeys::completionReminders, true);
  preferences.setBool(PreferenceKeys::autoCollapse, false);
  EXPECT_FALSE(system.questionFeatureEnabled() || !system.completionFeatureEnabled() ||
               system.completionAutoCollapseEnabled());
}

// A profile counts as configured only for the entry exactly as an install
// writes it for this executable and that profile; each row changes one thing.
TEST(AppModelTest, ConfiguredProfilesAreThoseWithThisAppsExactApprovalHook) {
  const std::string valid = R"({"model":"m","hooks":{"PermissionRequest":[{"hooks":[{"type":"command","command":")"
                            R"('/opt/vantrel/VantrelNotch' '--hook' '--source' 'workbuddy' '--owner-marker' )"
                            R"('vantrel-notch-v1'","timeout":60}]}]}})";
  const auto edit = [](std::string text, const std::string& from, const std::string& to) {
    return text.replace(text.find(from), from.size(), to);
  };
  const std::string padded = valid + std::string(4'194'304 - valid.size(), ' ');
  const std::pair<std::string, bool> rows[] = {
      {valid, true},
      {padded, true},
      {padded + " ", false},
      {edit(valid, R"([{"type")", R"([{"type":"command","command":"audit"},{"type")"), true},
      {edit(valid, R"([{"hooks")", R"([{"matcher":"","hooks")"), false},
      {edit(valid, R"("type":"command")", R"("type":"prompt")"), false},
      {edit(valid, "60}", "60.5}"), false},
      {edit(valid, "60}", "\"60\"}"), false},
      {edit(valid, "60}", "59}"), false},
      {edit(valid, R"(,"timeout":60)", ""), false},
      {edit(valid, "v1'\"", "v1' \""), false},
      {edit(valid, "\"'/opt", "\"/opt"), false},
      {edit(edit(valid, R"(:[{"hooks")", R"(:{"hooks")"), "}]}}", "}}}"), false},
      {R"({"hooks":[]})", false},
      {valid.substr(0, valid.size() - 1), false},
  };
  for (const auto& [text, configured] : rows) {
    Harness t;
    writeFile(t.home.child(".workbuddy/settings.json"), text);
    t.model->refreshConfiguredProfiles();
    EXPECT_EQ(t.state().configuredProfiles.size(), configured ? 1u : 0u) << text.substr(0, 200);
  }
  Harness t; // the other profile needs its own source word
  writeFile(t.home.child(".workbuddy-ai/settings.json"), valid);
  t.model->refreshConfiguredProfiles();
  EXPECT_TRUE(t.state().configuredProfiles.empty());
  writeFile(t.home.child(".workbuddy-ai/settings.json"), edit(valid, "'workbuddy'", "'workbuddyAI'"));
  writeFile(t.home.child(".workbuddy/settings.json"), valid);
  t.model->refreshConfiguredProfiles();
  EXPECT_EQ(t.state().configuredProfiles, (std::vector<std::string>{"WorkBuddy", "WorkBuddy（AI 版）"}));
}

// ---- Reminders ----------------------------------------------------------------

TEST(AppModelReminderTest, AQuestionWaitsBehindAnApprovalThenArmsAndHandsOverOnce) {
  Harness t;
  t.workBuddy();
  const ApprovalRequest request = t.ask();
  t.model->collapse();
  t.showQuestion();
  ASSERT_TRUE(t.state().questionState.visibleReminder());
  EXPECT_FALSE(t.model->questionShown());
  EXPECT_FALSE(t.interaction().expanded()) << "a hidden question opens nothing";
  t.model->expand();
  t.main.advance(kArmed);
  ASSERT_TRUE(t.model->decide(request, Decision::allow));
  EXPECT_FALSE(t.model->questionShown()) << "behind the receipt";
  t.main.advance(1.8);
  EXPECT_TRUE(t.model->questionShown());
  EXPECT_TRUE(t.interaction().expanded());
  const auto token = *t.state().questionState.token();
  t.main.advance(0.449);
  EXPECT_FALSE(t.model->activateQuestion(token));
  t.main.advance(0.002);
  EXPECT_TRUE(t.model->activateQuestion(token));
  EXPECT_FALSE(t.model->activateQuestion(token)) << "once";
  EXPECT_EQ(t.workspace.calls, std::vector<std::string>{"activate 4242"});
  EXPECT_FALSE(t.interaction().expanded());

  Harness front; // WorkBuddy coming to the front ends what the question showed
  front.workBuddy();
  front.showQuestion();
  ASSERT_TRUE(front.model->questionShown());
  front.workBuddy({.pid = kPid, .active = true});
  front.workspaceChanged();
  EXPECT_FALSE(front.model->questionShown());
  EXPECT_FALSE(front.interaction().expanded());
}

TEST(AppModelReminderTest, HigherContentHidesATurnEndReminderWithoutLosingOrConsumingIt) {
  Harness t;
  t.workBuddy();
  t.enableTurnEnds();
  const Uuid reminder = t.finishedTurn();
  t.showQuestion();
  EXPECT_TRUE(t.model->questionShown());
  EXPECT_FALSE(t.model->completionVisible());
  t.poll(false); // the question card is gone
  EXPECT_FALSE(t.model->questionShown());
  EXPECT_TRUE(t.model->completionVisible());

  t.model->expand();
  t.main.advance(kArmed);
  EXPECT_TRUE(t.state().completionActionReady);
  const ApprovalRequest request = t.ask();
  EXPECT_FALSE(t.state().completionActionReady);
  EXPECT_FALSE(t.model->activateCompletion(reminder));
  t.main.advance(kArmed);
  ASSERT_TRUE(t.model->decide(request, Decision::deny));
  t.main.advance(1.8);
  ASSERT_TRUE(t.model->completionVisible());
  EXPECT_EQ(t.state().completionState.current()->token, reminder);
  t.main.advance(kArmed);
  EXPECT_TRUE(t.model->activateCompletion(reminder));
  EXPECT_EQ(t.workspace.calls, std::vector<std::string>{"activate 4242"});
}

TEST(AppModelReminderTest, AnAutoOpenedReminderClosesByItselfUnlessThePointerRestsOnIt) {
  for (const bool pointerRests : {false, true}) {
    Harness t;
    t.workBuddy();
    t.enableTurnEnds();
    t.model->setPointerInside(pointerRests); // resting where the notch opens
    t.finishedTurn();
    t.main.advance(3.8);
    EXPECT_TRUE(t.interaction().expanded());
    t.main.advance(0.2);
    EXPECT_EQ(t.interaction().expanded(), pointerRests);
    if (!pointerRests) {
      EXPECT_TRUE(t.model->completionVisible());
      EXPECT_TRUE(t.state().completionState.hasBeenPresented());
      t.main.advance(5);
      EXPECT_FALSE(t.interaction().expanded()) << "not reopened by itself";
      continue;
    }
    t.model->setPointerInside(false);
    t.main.advance(1.45);
    EXPECT_TRUE(t.interaction().expanded());
    t.main.advance(0.1);
    EXPECT_FALSE(t.interaction().expanded());
  }
}

TEST(AppModelReminderTest, TheGoToWorkBuddyButtonWorksOnceAndOnlyWithinThirtySeconds) {
  struct Row {
    double pressAfter; // seconds after the reminder arrived
    bool activationSucceeds, pressed;
  };
  // 30.05 s: the reminder is still current (the tick that retires it comes at 30.1 s).
  for (const Row row : {Row{29.8, true, true}, Row{30.05, true, false}, Row{2.0, false, true}}) {
    Harness t;
    t.workBuddy();
    t.workspace.activationSucceeds = row.activationSucceeds;
    t.enableTurnEnds();
    const Uuid reminder = t.finishedTurn();
    t.model->setPointerInside(true); // keeps it open
    t.main.advance(row.pressAfter - 1.0);
    EXPECT_EQ(t.model->activateCompletion(reminder), row.pressed && row.activationSucceeds) << row.pressAfter;
    EXPECT_EQ(t.workspace.calls.size(), row.pressed ? 1u : 0u) << row.pressAfter;
    EXPECT_EQ(t.state().completionActivationFailed, row.pressed && !row.activationSucceeds);
    t.model->collapse();
    t.model->expand();
    t.main.advance(kArmed);
    EXPECT_FALSE(t.model->activateCompletion(reminder)) << "never again";
    EXPECT_EQ(t.workspace.calls.size(), row.pressed ? 1u : 0u);
  }
}

TEST(AppModelReminderTest, TurnEventsSetTheStatusOnlyWhileFreshAndCountOnlyInTheBackground) {
  Harness t;
  t.workBuddy();
  EXPECT_EQ(t.state().completionStatus, "本轮结束提醒已关闭");
  t.enableTurnEnds();
  EXPECT_EQ(t.state().completionStatus, "通知通道就绪；请单独安装结束提醒 Hook");
  ++t.turns;
  t.turn("UserPromptSubmit");
  EXPECT_EQ(t.state().completionStatus, "已收到新一轮开始，等待对应终态");
  t.turn("FinalStop", "failed");
  EXPECT_EQ(t.state().completionStatus, "已收到非正常或不明终态，不作为完成提示");
  ++t.turns;
  t.turn("UserPromptSubmit");
  t.turn("FinalStop", "completed", 3.01); // handled when already stale
  EXPECT_EQ(t.state().completionStatus, "已收到新一轮开始，等待对应终态");
  ++t.turns;
  t.turn("UserPromptSubmit");
  t.turn("FinalStop", "completed", 0.5, true); // WorkBuddy changed state after the turn ended
  EXPECT_EQ(t.state().completionStatus, "已收到正常结束事件，仅配对后台新轮次提醒");
  t.main.advance(1);
  EXPECT_EQ(t.state().completionState.queuedCount(), 0u);

  t.workBuddy({.pid = kPid, .active = true});
  ++t.turns;
  t.turn("UserPromptSubmit");
  t.turn("FinalStop");
  t.main.advance(1);
  EXPECT_EQ(t.state().completionState.queuedCount(), 0u) << "WorkBuddy in front";
}

TEST(AppModelReminderTest, TheTurnEndStatusTellsWhetherTheHookIsInstalled) {
  Harness t;
  const std::string settings = t.home.child(".workbuddy/settings.json");
  writeFile(settings, "{}");
  HookInstaller(t.fileSystem).installCompletion(settings, kExecutable, false);
  t.enableTurnEnds();
  EXPECT_TRUE(t.state().completionHookInstalled);
  EXPECT_EQ(t.state().completionStatus, "已接入，等待新一轮开始与结束事件");
  writeFile(settings, "{");
  t.model->refreshCompletionHookInstalled();
  EXPECT_FALSE(t.state().completionHookInstalled);
  EXPECT_EQ(t.state().completionStatus.rfind("结束提醒配置需核对：", 0), 0u) << t.state().completionStatus;
}

TEST(AppModelReminderTest, WorkBuddyComingForwardOrTheSwitchTurningOffRemovesTheShownReminder) {
  for (const bool switchOff : {false, true}) {
    Harness t;
    t.workBuddy();
    t.enableTurnEnds();
    t.finishedTurn();
    ASSERT_TRUE(t.interaction().expanded());
    if (switchOff) {
      t.preferences.setBool(PreferenceKeys::completionReminders, false);
      t.model->startCompletionReminders();
    } else {
      t.workspaceChanged();
    }
    EXPECT_FALSE(t.state().completionState.current());
    EXPECT_FALSE(t.interaction().expanded());
    EXPECT_EQ(t.main.scheduledCount() > 0, !switchOff) << "the tick runs only while reminders are on";
  }
}

TEST(AppModelReminderTest, TicksThatChangeNothingTellNobody) {
  Harness t;
  t.workBuddy();
  t.enableTurnEnds();
  int changes = 0;
  const Subscription subscription = t.model->subscribe([&] { ++changes; });
  t.main.advance(20); // 100 ticks
  EXPECT_EQ(changes, 0);
  t.finishedTurn();
  t.main.advance(kArmed);
  EXPECT_TRUE(t.state().completionActionReady);
  changes = 0;
  t.main.advance(2); // shown and armed
  EXPECT_EQ(changes, 0);
}

// The promises of the notch, over random use: a decision reaches the
// approval server only for the request that was shown, open and without a
// receipt, for at least the hand-off delay, and at most once; a reminder
// brings WorkBuddy forward only from its own button, shown open for the
// hand-off delay, once per presentation; approval content never shows armed
// reminder buttons and never drops a reminder it covers.
TEST(AppModelPropertyTest, OnlyWhatWasShownArmedIsEverDecidedOrActivated) {
  std::mt19937 random(20261207);
  const double steps[] = {0.05, 0.2, 0.44, kArmed, 1.2, 2};
  // 60 sequences in the suite; NOTCH_PROPERTY_SEQUENCES runs more for a longer search.
  const char* const requested = std::getenv("NOTCH_PROPERTY_SEQUENCES");
  const int sequences = requested != nullptr ? std::atoi(requested) : 60;
  for (int sequence = 0; sequence < sequences; ++sequence) {
    SCOPED_TRACE(sequence);
    Harness t;
    t.workBuddy();
    t.enableTurnEnds();
    std::optional<std::string> visible; // "a<id>", "q<token>" or "c<token>", shown in the open notch
    double visibleSince = 0;
    const Subscription watch = t.model->subscribe([&] {
      std::optional<std::string> now;
      if (!t.interaction().expanded()) {
      } else if (t.model->hasApprovalContent()) {
        now = t.interaction().feedback() ? std::nullopt : std::optional("a" + t.shownID().value_or(""));
      } else if (t.model->questionShown()) {
        now = "q" + t.state().questionState.token()->value.string();
      } else if (t.model->completionVisible()) {
        now = "c" + t.state().completionState.current()->token.string();
      }
      if (now != visible) {
        visible = now;
        visibleSince = t.clock.uptime();
      }
    });
    std::map<std::string, std::size_t> hookOf; // request id → index in t.hooks
    std::map<std::string, Decision> decided;
    std::set<std::string> activated;
    const auto completionToken = [&] {
      const auto& current = t.state().completionState.current();
      return current ? std::optional(current->token) : std::nullopt;
    };
    for (int step = 0; step < 40; ++step) {
      const auto& requests = t.interaction().requests();
      const std::optional<ApprovalRequest> any =
          requests.empty() ? std::nullopt : std::optional(requests[random() % requests.size()]);
      const bool armedLongEnough = visible && t.clock.uptime() - visibleSince >= NotchInteraction::handoffDelay;
      const std::optional<std::string> shown = visible;
      const std::size_t callsBefore = t.workspace.calls.size();
      const std::optional<QuestionReminder> questionBefore = t.state().questionState.visibleReminder();
      const std::optional<Uuid> completionBefore = completionToken();
      const unsigned operation = random() % 18;
      // clang-format off
      switch (operation) {
      case 0: {
        const ApprovalRequest request = makeRequest(t.clock.now());
        t.hooks.push_back(std::make_unique<TestClient>(bridgeSocketPath(t.bridge.path())));
        t.hooks.back()->send(lineOf(request)), hookOf[request.id] = t.hooks.size() - 1;
        break;
      }
      case 1: if (!t.hooks.empty()) t.hooks[random() % t.hooks.size()]->close(); break;
      case 2: random() % 2 ? t.model->expand() : t.model->collapse(); break;
      case 3: t.model->setPointerInside(random() % 2 == 0); break;
      case 4: if (any) t.model->select(any->id); t.model->selectAdjacent(random() % 2 == 0 ? 1 : -1); break;
      case 5: case 6: {
        const bool demo = t.state().isDemo;
        const auto decision = static_cast<Decision>(any ? random() % 3 : 0);
        if (any && t.model->decide(*any, decision) && !demo) {
          ASSERT_EQ(shown, "a" + any->id);
          ASSERT_TRUE(armedLongEnough);
          ASSERT_TRUE(decided.emplace(any->id, decision).second);
        }
        break;
      }
      case 7: random() % 3 == 0 ? t.model->returnDemo() : t.model->showDemo(random() % 2 == 0); break;
      case 8: t.poll(random() % 3 != 0); break;
      case 9: ++t.turns, t.turn("UserPromptSubmit"), t.turn("FinalStop"), t.main.advance(CompletionReminderState::presentationDelay + 0.1); break;
      case 10: t.workBuddy({.pid = kPid, .active = random() % 4 == 0}), t.workspaceChanged(); break;
      case 11:
        if (const auto token = t.state().questionState.token(); token && (t.model->activateQuestion(*token) || t.workspace.calls.size() > callsBefore)) {
          ASSERT_EQ(shown, "q" + token->value.string());
          ASSERT_TRUE(armedLongEnough);
          ASSERT_TRUE(activated.insert(*shown).second);
        }
        break;
      case 12:
        if (const auto current = completionToken(); current && random() % 4 == 0) {
          t.model->dismissCompletion(*current);
        } else if (current && (t.model->activateCompletion(*current) || t.workspace.calls.size() > callsBefore)) {
          ASSERT_EQ(shown, "c" + current->string());
          ASSERT_TRUE(armedLongEnough);
          ASSERT_TRUE(activated.insert(*shown).second);
        }
        break;
      default: t.main.advance(steps[random() % std::size(steps)]);
      }
      // clang-format on
      if (step % 3 == 0) {
        std::this_thread::sleep_for(std::chrono::microseconds(300)); // let the server's threads catch up
        t.main.runUntilIdle();
      }
      if (t.model->hasApprovalContent()) {
        ASSERT_FALSE(t.state().questionActionReady || t.state().completionActionReady);
      }
      if (operation != 11 && operation != 12) {
        ASSERT_EQ(t.workspace.calls.size(), callsBefore) << "only a reminder's button brings WorkBuddy forward";
      }
      if (operation <= 7) { // the approval side leaves both reminders where they were
        ASSERT_EQ(t.state().questionState.visibleReminder(), questionBefore);
        ASSERT_EQ(completionToken(), completionBefore);
      }
    }
    // A hook allowed or denied holds its answer (a hand-back is answered by
    // silence); once the model is gone, every other hook has been closed
    // without one.
    for (const auto& [id, index] : hookOf) {
      const auto decision = decided.find(id);
      if (t.hooks[index]->connected() && decision != decided.end()) {
        const std::string reply = t.hooks[index]->readUntilClosed().value_or("(still open)");
        EXPECT_EQ(reply.find(id) != std::string::npos, decision->second != Decision::passthrough) << reply;
      }
    }
    t.model.reset();
    for (const auto& [id, index] : hookOf) {
      if (t.hooks[index]->connected() && decided.count(id) == 0) {
        EXPECT_EQ(t.hooks[index]->readUntilClosed(), "");
      }
    }
  }
}

} // namespace
} // namespace notch
