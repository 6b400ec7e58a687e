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
#include <sstream>
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
#include "platform/FakeAppWorld.h"
#include "platform/FakeWorkspace.h"
#include "support/FakeClock.h"

namespace notch {
namespace {

using namespace testing;

// The hand-off delay and the arming margin, and a hair for the rounding of
// wall-clock instants near 8e8 s.
constexpr double kArmed = 0.4601;
constexpr std::int32_t kPid = 4242;
const std::string kExecutable = "/opt/vantrel/VantrelNotch";

void writeFile(const std::string& path, const std::string& text) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

struct Harness : FakeAppWorld {
  explicit Harness(std::optional<std::string> directory = {}) : bridgeDirectory(directory.value_or(bridge.path())) {
    model = AppModel::create(environment(kExecutable, bridgeDirectory),
                             AppModelDependencies::system(workspace, preferences));
    model->start();
    counting = model->subscribe([this] { ++changes; });
  }

  const AppState& state() const { return model->state(); }
  const NotchInteraction& interaction() const { return model->state().interaction; }
  std::optional<std::string> shownID() const {
    const ApprovalRequest* shown = interaction().current();
    return shown ? std::optional(shown->id) : std::nullopt;
  }
  std::optional<Uuid> completionToken() const {
    const auto& current = state().completionState.current();
    return current ? std::optional(current->token) : std::nullopt;
  }

  // The notch in one line: open or closed, the shown request ("r<n>" by order of asking, or "demo"),
  // "armed", the receipt, a shown question and a visible turn-end reminder ("-armed" when their button
  // works), then what was asked of the workspace.
  std::string snap() const {
    static const char* const receipts[] = {"allowed", "denied", "returned", "expired", "unavailable"};
    std::string s = interaction().expanded() ? "open" : "closed";
    if (const auto id = shownID()) {
      s += state().isDemo ? " demo" : " r" + std::to_string(std::ranges::find(asked, *id) - asked.begin());
    }
    s += state().actionReady ? " armed" : "";
    if (const auto& receipt = interaction().feedback()) {
      s += std::string(" ") + receipts[static_cast<int>(receipt->kind)];
    }
    s += model->questionShown() ? (state().questionActionReady ? " q-armed" : " q") : "";
    s += model->completionVisible() ? (state().completionActionReady ? " c-armed" : " c") : "";
    s += std::string(state().completionActivationFailed ? " failed" : "") + (state().copiedRequestID ? " copied" : "");
    for (const std::string& call : workspace.calls) {
      s += " [" + call + "]";
    }
    return s;
  }
  // Runs space-separated steps and returns what they showed, joined by " | ":
  //   ask, allow:N deny:N pass:N  a hook asks (r0, r1, ...); decides rN (the shown request without N): 1 or 0
  //   +S +A =                    advances S seconds (A: the arming time) and shows the snapshot; the snapshot
  //   open close in out idle     expand, collapse (Esc), the pointer entering or leaving, collapse if idle
  //   demo native copy all msg   a demonstration; copies the shown request; shows every parameter; the message
  //   wb front change q noq      WorkBuddy in the background, in front, changing; its question card, and gone
  //   ends off turn goq goc      turn-end reminders on and off; a background turn's reminder; the buttons: 1 or 0
  //   has:P refuse wbopen:S      WorkBuddy installed at P, refusing to open; opens WorkBuddy for source S
  //   -autoclose -hover nofocus  preferences off; WorkBuddy refusing activation
  //   ticking ~                  whether the tick runs; the changes told since the last ~
  //   start end:R status queued  a turn starts, ends (R: failed, stale when handled, changed when WorkBuddy
  //                              changed meanwhile); the turn-end status; the reminders queued
  //   card stale                 WorkBuddy shows a deletion card, watched; the card can no longer be read whole
  std::string run(const std::string& script) {
    std::istringstream steps(script);
    std::string out;
    const auto show = [&](const std::string& piece) { out += (out.empty() ? "" : " | ") + piece; };
    const auto bit = [&](bool value) { show(value ? "1" : "0"); };
    // clang-format off
    for (std::string step; steps >> step;) {
      const std::size_t colon = step.find(':');
      const std::string verb = step.substr(0, colon), arg = colon == std::string::npos ? "" : step.substr(colon + 1);
      const Decision decision = verb == "allow" ? Decision::allow : verb == "deny" ? Decision::deny : Decision::passthrough;
      if (verb == "ask") ask();
      else if (verb == "allow" || verb == "deny" || verb == "pass") bit(model->decide({.id = arg.empty() ? shownID().value_or("") : asked.at(std::stoul(arg))}, decision));
      else if (verb[0] == '+') main.advance(verb == "+A" ? kArmed : std::stod(verb.substr(1))), show(snap());
      else if (verb == "=") show(snap());
      else if (verb == "open") model->expand();
      else if (verb == "close") model->collapse();
      else if (verb == "in" || verb == "out") model->setPointerInside(verb == "in");
      else if (verb == "idle") model->collapseIfIdle();
      else if (verb == "demo" || verb == "native") model->showDemo(verb == "native");
      else if (verb == "copy") model->copyRequest(*interaction().current()), show(clipboard.text);
      else if (verb == "all") model->setShowAllParameters(true);
      else if (verb == "msg") show(state().message);
      else if (verb == "wb") workBuddy();
      else if (verb == "front") workBuddy({.pid = kPid, .active = true}), workspaceChanged();
      else if (verb == "change") workspaceChanged();
      else if (verb == "q" || verb == "noq") poll(verb == "q"), verb == "q" ? poll(true) : void(); // the second sighting shows it
      else if (verb == "ends" || verb == "off") preferences.setBool(PreferenceKeys::completionReminders, verb == "ends"), model->startCompletionReminders();
      else if (verb == "turn") reminder = finishedTurn();
      else if (verb == "goq") question = state().questionState.token().value_or(question), bit(model->activateQuestion(question));
      else if (verb == "goc") bit(model->activateCompletion(reminder));
      else if (verb == "has") workspace.installed.insert("/Applications/WorkBuddy" + (arg.empty() ? "" : " " + arg) + ".app");
      else if (verb == "refuse") workspace.openError = "denied";
      else if (verb == "wbopen") model->openWorkBuddy(arg), main.runUntilIdle();
      else if (verb == "-autoclose" || verb == "-hover") preferences.setBool(verb == "-hover" ? PreferenceKeys::hoverToExpand : PreferenceKeys::autoCollapse, false);
      else if (verb == "nofocus") workspace.activationSucceeds = false;
      else if (verb == "ticking") bit(main.scheduledCount() > 0);
      else if (verb == "~") show(std::to_string(std::exchange(changes, 0)));
      else if (verb == "start" || verb == "end") turn(verb == "start" ? "UserPromptSubmit" : "FinalStop", arg == "failed" ? "failed" : "completed", arg == "stale" ? 3.01 : arg == "changed" ? 0.5 : 0, arg == "changed");
      else if (verb == "status") show(state().completionStatus);
      else if (verb == "queued") show(std::to_string(state().completionState.queuedCount()));
      else if (verb == "card") {
        accessibility.application(kPid)->set("AXWindows", std::vector<AXElementRef>{card}), preferences.setBool(PreferenceKeys::nativeApprovals, true);
        model->refreshNativeMonitoring(), native.advance(0), until([&] { return interaction().current() != nullptr; }), asked.push_back(*shownID());
      } else if (verb == "stale") card->multipleCopyFails = true;
      else ADD_FAILURE() << "no step " << step;
    }
    // clang-format on
    return out;
  }

  // A hook sends its request through the bridge; returns once the model has it.
  ApprovalRequest ask() {
    const ApprovalRequest request = makeRequest(clock.now());
    hooks.push_back(std::make_unique<TestClient>(bridgeSocketPath(bridge.path())));
    EXPECT_TRUE(hooks.back()->send(lineOf(request)));
    asked.push_back(request.id);
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
  void poll(bool asking) {
    accessibility.application(kPid)->set("AXWindows", std::vector<AXElementRef>{asking ? questionWindow : plainWindow});
    native.advance(0.8);
    main.runUntilIdle();
  }

  // One turn event through the turn-end socket, handled `delay` seconds after it arrived.
  void turn(const std::string& hookEvent, const std::string& reason = "completed", double delay = 0,
            bool workspaceChangesMeanwhile = false) {
    turns += hookEvent == "UserPromptSubmit";
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
    main.advance(0.1);
    turn("UserPromptSubmit");
    turn("FinalStop");
    main.advance(CompletionReminderState::presentationDelay + 0.2);
    EXPECT_TRUE(model->completionVisible()) << state().completionStatus;
    return completionToken().value_or(Uuid());
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

  std::string bridgeDirectory;
  std::vector<std::unique_ptr<TestClient>> hooks;
  std::vector<std::string> asked;
  int turns = 0;
  const FakeElementRef questionWindow = fakeElementsFor(scannedWindow({QuestionCard().group()}), kPid);
  const FakeElementRef plainWindow = fakeElementsFor(scannedWindow({}), kPid);
  const FakeElementRef card = fakeElementsFor(scannedWindow({DeletionCard().grouped()}), kPid);
  std::shared_ptr<AppModel> model;
  Subscription counting;
  int changes = 0;
  Uuid reminder;
  QuestionReminderState::PresentationToken question{};
};

TEST(AppModelTest, StartsTheBridgeOrSaysWhyNot) {
  Harness t, second(t.bridge.path()); // the second finds the socket already served
  EXPECT_EQ(std::tuple(t.state().serviceReady, t.interaction().expanded(), second.state().serviceReady,
                       second.interaction().expanded()),
            std::tuple(true, false, false, true));
  EXPECT_EQ(second.state().message.rfind("桥接未启动：", 0), 0u) << second.state().message;
}

// Each rule of the notch as one script of steps (see Harness::run) and what it showed.
TEST(AppModelTest, EachRuleShowsWhatItShould) {
  const std::string preview = "{\n  \"command\" : \"rm -rf /tmp/x\"\n}";
  // clang-format off
  const std::tuple<const char*, const char*, std::string> rows[] = {
      {"a click counts only after the request showed long enough, once", "ask = allow:0 +0.455 allow:0 +0.0051 ask = allow:1 allow:0 allow:0 = msg", "open r0 | 0 | open r0 | 0 | open r0 armed | open r0 armed | 0 | 1 | 0 | open r1 allowed | 上次决定已发送 · 等待下一条请求"},
      {"a receipt gives way to the next request; the last one closes the notch", "ask ask open +A deny:0 +1.09 +0.01 +A pass:1 +1.79 +0.01 +0.15 in out idle +10", "open r0 armed | 1 | open r1 denied | open r1 | open r1 armed | 1 | open returned | open | closed | closed"},
      {"... unless closing by itself is off", "-autoclose ask ask open +A deny:0 +1.09 +0.01 +A pass:1 +1.79 +0.01 +0.15 in out idle +10", "open r0 armed | 1 | open r1 denied | open r1 | open r1 armed | 1 | open returned | open | open | open"},
      {"hover opens after a dwell, not again after Esc until the pointer left", "in +0.21 out +1 in +0.22 close in +1 out +0 in +0.22 close -hover out +0 in +1", "closed | closed | open | closed | closed | open | closed | closed"},
      {"a demonstration gives way to a real request silently", "demo = ask = msg close native =", "open demo | open r0 | 本地桥接已就绪 | open r0"},
      {"a native demonstration presses and opens nothing", "native +A allow = msg", "open demo armed | 1 | open allowed | 演示结束 · 没有执行任何命令"},
      {"copies what the card shows, marked for 1.5 s", "ask copy all copy +1.49 +0.01", "rm -rf /tmp/x | " + preview + " | open r0 armed copied | open r0 armed"},
      {"opens the AI edition for its source", "has:AI has: wbopen:workbuddyAI = msg", "closed [open /Applications/WorkBuddy AI.app] | 本地桥接已就绪"},
      {"opens the plain edition for its source", "has:AI has: wbopen:workbuddy = msg", "closed [open /Applications/WorkBuddy.app] | 本地桥接已就绪"},
      {"falls back to the plain edition", "has: wbopen:workbuddyAI = msg", "closed [open /Applications/WorkBuddy.app] | 本地桥接已就绪"},
      {"falls back to the AI edition", "has:AI wbopen:workbuddy = msg", "closed [open /Applications/WorkBuddy AI.app] | 本地桥接已就绪"},
      {"says when WorkBuddy is not installed", "wbopen:workbuddy = msg", "open | 未在 Applications 找到WorkBuddy，请手动打开"},
      {"says when WorkBuddy does not open", "has: refuse wbopen:workbuddy = msg", "open [open /Applications/WorkBuddy.app] | 无法打开WorkBuddy，请手动打开"},
      {"a question waits behind an approval, then arms and hands over once", "wb ask close q = open +A allow:0 = +1.8 +0.449 goq +0.002 goq goq =", "closed r0 | open r0 armed | 1 | open allowed | open q | open q | 0 | open q-armed | 1 | 0 | closed [activate 4242]"},
      {"WorkBuddy coming to the front ends a shown question", "wb q = front =", "open q | closed"},
      {"higher content hides a turn-end reminder without losing or consuming it", "wb ends turn q = noq open +A ask = goc +A deny:0 +1.8 +A goc =", "open q | open c-armed | open r0 | 0 | open r0 armed | 1 | open c | open c-armed | 1 | closed [activate 4242]"},
      {"an auto-opened reminder closes by itself and does not reopen", "wb ends turn +3.8 +0.2 +5", "open c-armed | closed c | closed c"},
      {"... unless the pointer rests on it", "wb ends in turn +3.8 +0.2 out +1.45 +0.1", "open c-armed | open c-armed | open c-armed | closed c"},
      {"the reminder button works within 30 s, once", "wb ends turn in +28.8 goc close open +A goc", "open c-armed | 1 | open [activate 4242] | 0"},
      {"... and not at 30.05 s, while the reminder is still current", "wb ends turn in +29.05 goc close open +A goc", "open c-armed | 0 | closed | 0"},
      {"... and once even when the activation fails", "wb ends nofocus turn in +1 goc close open +A goc", "open c-armed | 0 | open c failed [activate 4242] | 0"},
      {"WorkBuddy changing removes the shown reminder", "wb ends turn change = ticking", "closed | 1"},
      {"the switch turning off removes it and stops the tick", "wb ends turn off = ticking", "closed | 0"},
      {"... nor when closing by itself is off", "-autoclose wb ends turn +4.1", "open c-armed"},
      {"turn events set the status only while fresh, and count only in the background", "wb status ends status start status end:failed status start end:stale status start end:changed status +1 queued front start end +1 queued", "本轮结束提醒已关闭 | 通知通道就绪；请单独安装结束提醒 Hook | 已收到新一轮开始，等待对应终态 | 已收到非正常或不明终态，不作为完成提示 | 已收到新一轮开始，等待对应终态 | 已收到正常结束事件，仅配对后台新轮次提醒 | closed | 0 | closed | 0"},
      {"a native card that changed before the click opens WorkBuddy instead", "wb has:AI has: card open +A stale allow:0 = msg", "open r0 armed | 0 | open unavailable [open /Applications/WorkBuddy.app] | 上条请求已结束"},
      {"ticks that change nothing tell nobody", "wb ends ~ +20 ~ turn +A ~ +2 ~", "3 | closed | 0 | open c-armed | 4 | open c-armed | 0"},
  };
  // clang-format on
  for (const auto& [name, script, expected] : rows) {
    SCOPED_TRACE(name);
    EXPECT_EQ(Harness().run(script), expected);
  }
}

TEST(AppModelTest, DecisionsReachTheHookAndDemonstrationsAreWhatTheySay) {
  Harness t;
  t.run("ask +A allow:0");
  EXPECT_EQ(t.hooks[0]->readUntilClosed(), R"({"decision":"allow","id":")" + t.asked[0] + "\"}\n");
  t.model->showDemo(true);
  const ApprovalRequest demo = *t.interaction().current();
  EXPECT_EQ(std::tie(demo.eventName, demo.source), std::tuple("NativeApproval", "demo"));
  EXPECT_DOUBLE_EQ(demo.expiresAt, t.clock.now() + 3600);
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
  EXPECT_TRUE(t.preferences.boolValue(PreferenceKeys::nativeApprovals) && t.systemSettings.opened == 1);
  t.native.advance(0);
  t.main.runUntilIdle();
  EXPECT_EQ(t.state().nativeStatus, "需要辅助功能权限，才能读取 WorkBuddy 的确认卡或提问卡");
  EXPECT_FALSE(t.state().nativeAccessGranted);
}

// The production answers about WorkBuddy, for each state it can be in, always asked about kPid: whether a
// question and a turn-end reminder count it as in the background and can bring it forward, the turn-end
// target, and the calls made.
TEST(AppModelTest, TheSystemDependenciesAnswerForTheOneWorkBuddyProcess) {
  struct Row {
    std::vector<RunningApplication> running;
    bool unhideSucceeds, activationSucceeds;
    std::string expected;
  };
  // clang-format off
  const Row rows[] = {
      {{{.pid = kPid}}, true, true, "1111 4242 [activate 4242] [activate 4242]"},
      {{{.pid = kPid, .active = true}}, true, true, "0101 4242 [activate 4242] [activate 4242]"},
      {{{.pid = kPid, .hidden = true}}, true, true, "0011 4242 [unhide 4242] [activate 4242]"},
      {{{.pid = kPid, .hidden = true}}, false, true, "0010 4242 [unhide 4242]"},
      {{{.pid = kPid, .hidden = true}}, true, false, "0010 4242 [unhide 4242] [activate 4242]"},
      {{{.pid = kPid}, {.pid = kPid + 1}}, true, true, "0000 none"},
      {{{.pid = kPid + 1}}, true, true, "0000 4243"},
      {{{.pid = kPid, .terminated = true}}, true, true, "0000 none"},
  };
  // clang-format on
  for (const Row& row : rows) {
    FakeWorkspace workspace;
    FakePreferences preferences;
    workspace.set(std::string(NativeApprovalMonitor::bundleIdentifier), row.running);
    workspace.unhideSucceeds = row.unhideSucceeds;
    workspace.activationSucceeds = row.activationSucceeds;
    const AppModelDependencies system = AppModelDependencies::system(workspace, preferences);
    std::string seen;
    for (const bool answer : {system.questionIsBackground(kPid), system.questionActivate(kPid),
                              system.completionIsBackground(kPid), system.completionActivate(kPid)}) {
      seen += answer ? "1" : "0";
    }
    seen += " " + (system.completionTarget() ? std::to_string(*system.completionTarget()) : "none");
    for (const std::string& call : workspace.calls) {
      seen += " [" + call + "]";
    }
    EXPECT_EQ(seen, row.expected);
  }
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

TEST(AppModelReminderTest, TheTurnEndStatusTellsWhetherTheHookIsInstalled) {
  Harness t;
  const std::string settings = t.home.child(".workbuddy/settings.json");
  writeFile(settings, "{}");
  HookInstaller(t.fileSystem).installCompletion(settings, kExecutable, false);
  t.run("ends");
  EXPECT_TRUE(t.state().completionHookInstalled);
  EXPECT_EQ(t.state().completionStatus, "已接入，等待新一轮开始与结束事件");
  writeFile(settings, "{");
  t.model->refreshCompletionHookInstalled();
  EXPECT_FALSE(t.state().completionHookInstalled);
  EXPECT_EQ(t.state().completionStatus.rfind("结束提醒配置需核对：", 0), 0u) << t.state().completionStatus;
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
  for (int sequence = 0; sequence < (requested != nullptr ? std::atoi(requested) : 60); ++sequence) {
    SCOPED_TRACE(sequence);
    Harness t;
    t.workBuddy();
    t.run("ends");
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
        now = "c" + t.completionToken()->string();
      }
      if (now != visible) {
        visible = now, visibleSince = t.clock.uptime();
      }
    });
    std::map<std::string, std::size_t> hookOf; // request id → index in t.hooks
    std::map<std::string, Decision> decided;
    std::set<std::string> done; // what was decided or activated, as `visible` names it
    for (int step = 0; step < 40; ++step) {
      const auto& requests = t.interaction().requests();
      const std::optional<ApprovalRequest> any =
          requests.empty() ? std::nullopt : std::optional(requests[random() % requests.size()]);
      const std::optional<std::string> shown = visible;
      const bool armedLongEnough = shown && t.clock.uptime() - visibleSince >= NotchInteraction::handoffDelay;
      const auto acted = [&](const std::string& what) {
        ASSERT_EQ(shown, what);
        ASSERT_TRUE(armedLongEnough);
        ASSERT_TRUE(done.insert(what).second);
      };
      const std::size_t callsBefore = t.workspace.calls.size();
      const std::optional<QuestionReminder> questionBefore = t.state().questionState.visibleReminder();
      const std::optional<Uuid> completionBefore = t.completionToken();
      const unsigned operation = random() % 18;
      const bool demo = t.state().isDemo;
      const auto question = t.state().questionState.token();
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
      case 5: case 6:
        if (const auto decision = static_cast<Decision>(any ? random() % 3 : 0); any && t.model->decide(*any, decision) && !demo) acted("a" + any->id), decided[any->id] = decision;
        break;
      case 7: random() % 3 == 0 ? t.model->returnDemo() : t.model->showDemo(random() % 2 == 0); break;
      case 8: t.poll(random() % 3 != 0); break;
      case 9: t.turn("UserPromptSubmit"), t.turn("FinalStop"), t.main.advance(CompletionReminderState::presentationDelay + 0.1); break;
      case 10: t.workBuddy({.pid = kPid, .active = random() % 4 == 0}), t.workspaceChanged(); break;
      case 11: if (question && (t.model->activateQuestion(*question) || t.workspace.calls.size() > callsBefore)) acted("q" + question->value.string()); break;
      case 12:
        if (completionBefore && random() % 4 == 0) t.model->dismissCompletion(*completionBefore);
        else if (completionBefore && (t.model->activateCompletion(*completionBefore) || t.workspace.calls.size() > callsBefore)) acted("c" + completionBefore->string());
        break;
      default: t.main.advance(steps[random() % std::size(steps)]);
      }
      // clang-format on
      if (step % 3 == 0) {
        std::this_thread::sleep_for(std::chrono::microseconds(300)); // let the server's threads catch up
        t.main.runUntilIdle();
      }
      ASSERT_FALSE(t.model->hasApprovalContent() && (t.state().questionActionReady || t.state().completionActionReady));
      if (operation != 11 && operation != 12) {
        ASSERT_EQ(t.workspace.calls.size(), callsBefore) << "only a reminder's button brings WorkBuddy forward";
      }
      if (operation <= 7) { // the approval side leaves both reminders where they were
        ASSERT_EQ(t.state().questionState.visibleReminder(), questionBefore);
        ASSERT_EQ(t.completionToken(), completionBefore);
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
