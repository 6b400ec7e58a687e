// The notch's views bound to a real app model in virtual time: hook requests
// arrive through the real approval server, questions through the native
// monitor on fake accessibility, turn ends through the turn-end socket.
// Widgets are found by their object names and pressed with QTest.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTest>
#include <QTimer>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "app/AppModel.h"
#include "app/PreferenceKeys.h"
#include "core/bridge/BridgePaths.h"
#include "core/bridge/TestBridge.h"
#include "core/config/HookCommand.h"
#include "core/native/CardBuilder.h"
#include "platform/FakeAccessibility.h"
#include "platform/FakeAppPlatform.h"
#include "platform/FakeAppWorld.h"
#include "platform/FakeWorkspace.h"
#include "support/FakeClock.h"
#include "ui/AppDelegate.h"
#include "ui/NotchView.h"

namespace notch {
namespace {

using namespace testing;

constexpr double kArmed = 0.4601; // the hand-off delay, the arming margin and a hair of rounding
constexpr std::int32_t kPid = 4242;
const std::string kExecutable = "/opt/vantrel/VantrelNotch";
// What the notch shows: the badge when closed, else which card and the header's title and subtitle.
const auto kShown = {"compact-badge",       "approval", "receipt",      "question-reminder",
                     "completion-reminder", "idle",     "header-title", "header-subtitle"};

struct Harness : FakeAppWorld {
  explicit Harness(std::optional<std::string> directory = {}) {
    workspace.set(std::string(NativeApprovalMonitor::bundleIdentifier), {{.pid = kPid}}); // in the background
    model = AppModel::create(environment(kExecutable, directory), AppModelDependencies::system(workspace, preferences));
    model->start();
    view = std::make_unique<NotchView>(*model, clock, preferences, NotchViewOptions{.drawsSurface = true});
    view->resize(480, 600);
    view->show();
  }

  template <typename T = QWidget> T* find(const char* name) const {
    T* widget = view->findChild<T*>(name);
    EXPECT_TRUE(widget) << name;
    return widget;
  }
  // The shown text of each named widget that is visible ("(off)" before a disabled one; the name for one without
  // text), joined by " | ".
  std::string show(std::initializer_list<const char*> names) const {
    QStringList shown;
    for (const char* name : names) {
      QWidget* w = find(name);
      const auto* label = qobject_cast<QLabel*>(w);
      const auto* box = qobject_cast<QPlainTextEdit*>(w);
      const auto* button = qobject_cast<QAbstractButton*>(w);
      const QString text = label ? label->text() : box ? box->toPlainText() : button ? button->text() : name;
      shown << (w->isVisible() ? (w->isEnabled() ? "" : "(off)") + text : QString());
    }
    shown.removeAll(QString());
    return shown.join(" | ").toStdString();
  }
  void click(const char* name) { QTest::mouseClick(find(name), Qt::LeftButton); }

  // Space-separated steps: open close ask asks(with extra parameters) askw(Write) demo native +A(arming time) q turn
  void run(const std::string& script) {
    std::istringstream steps(script);
    // clang-format off
    for (std::string step; steps >> step;) {
      if (step == "open" || step == "close") step == "open" ? model->expand() : model->collapse();
      else if (step == "ask") ask("Bash", R"({"command":"rm -rf /tmp/x"})");
      else if (step == "asks") ask("Bash", "{\n  \"command\" : \"ls -la\",\n  \"timeout\" : 5\n}");
      else if (step == "askw") ask("Write", R"({"file_path":"/tmp/a","content":"x"})");
      else if (step == "demo" || step == "native") model->showDemo(step == "native");
      else if (step == "+A") main.advance(kArmed);
      else if (step == "q") for (int i = 0; i < 2; ++i) // the second sighting shows it
        accessibility.application(kPid)->set("AXWindows", std::vector<AXElementRef>{questionWindow}), native.advance(0.8), main.runUntilIdle();
      else if (step == "turn") finishedTurn();
      else ADD_FAILURE() << "no step " << step;
    }
    // clang-format on
  }

  void ask(const std::string& tool, const std::string& input) {
    ApprovalRequest request = makeRequest(clock.now());
    request.toolName = tool;
    request.toolInputJSON = input;
    hooks.push_back(std::make_unique<TestClient>(bridgeSocketPath(bridge.path())));
    EXPECT_TRUE(hooks.back()->send(lineOf(request)));
    EXPECT_TRUE(until([&] {
      return std::ranges::count(model->state().interaction.requests(), request.id, &ApprovalRequest::id) > 0;
    }));
  }
  void finishedTurn() {
    preferences.setBool(PreferenceKeys::completionReminders, true);
    model->startCompletionReminders();
    main.advance(0.1);
    for (const char* event : {"UserPromptSubmit", "FinalStop"}) {
      const std::string hook = std::string(R"({"hook_event_name":")") + event +
                               R"(","session_id":"s-1","generation_id":"g","final_stop_reason":"completed"})";
      const std::string status = model->state().completionStatus;
      EXPECT_TRUE(TestClient(completionSocketPath(bridge.path()))
                      .send(CompletionEvent::decodeHook(hook, clock.now())->encode().value() + "\n"));
      EXPECT_TRUE(until([&] { return model->state().completionStatus != status; }));
    }
    main.advance(CompletionReminderState::presentationDelay + 0.2);
  }
  // The servers answer from their own threads: wait for them, bounded.
  template <typename Condition> bool until(Condition condition) {
    for (int i = 0; i < 5000 && (main.runUntilIdle(), !condition()); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return condition();
  }

  std::vector<std::unique_ptr<TestClient>> hooks;
  const FakeElementRef questionWindow = fakeElementsFor(scannedWindow({notch::testing::QuestionCard().group()}), kPid);
  std::shared_ptr<AppModel> model;
  std::unique_ptr<NotchView> view;
};

TEST(NotchViewTest, ShowsTheFirstContentThatApplies) {
  // clang-format off
  const std::pair<const char*, const char*> rows[] = {
      {"", "Vantrel Dozer"},
      {"ask close", "1 条待确认"},
      {"open", "idle | Vantrel Dozer | 刘海提醒 · 随时待命"},
      {"q", "question-reminder | WorkBuddy · 待回答 | 有问题等你回答 · 仅提醒"},
      {"q ask", "approval | 1 条待确认 | 有操作需要你确认"},
      {"turn", "completion-reminder | WorkBuddy · 本轮结束 | 本轮已结束 · 请核对结果"},
      {"turn q", "question-reminder | WorkBuddy · 待回答 | 有问题等你回答 · 仅提醒"},
      {"demo", "approval | 1 条待确认 | 交互演示 · 不执行命令"},
  };
  // clang-format on
  for (const auto& [script, expected] : rows) {
    Harness t;
    t.run(script);
    EXPECT_EQ(t.show(kShown), expected) << script;
  }
}

// Through the real buttons: the switcher steps cyclically; nothing decides before the guard has passed, and again
// after a receipt.
TEST(NotchViewTest, TheButtonsSwitchAndDecideOnlyOnceArmed) {
  const auto buttons = {"approval-position", "approval-deny", "approval-allow", "approval-return"};
  Harness t;
  t.run("ask ask ask");
  t.main.advance(0.44);
  EXPECT_EQ(t.show(buttons), "1 / 3 | (off)拒绝 | (off)允许本次 | (off)去 WorkBuddy 处理 ↗");
  t.main.advance(kArmed - 0.44);
  EXPECT_EQ(t.show(buttons), "1 / 3 | 拒绝 | 允许本次 | 去 WorkBuddy 处理 ↗");
  std::string seen;
  for (const char* button : {"approval-next", "approval-next", "approval-next", "approval-previous"}) {
    t.click(button);
    seen += t.show({"approval-position"}) + ", ";
  }
  EXPECT_EQ(seen, "2 / 3, 3 / 3, 1 / 3, 3 / 3, ");
  t.run("+A");
  t.click("approval-allow");
  EXPECT_EQ(t.show(kShown) + " | " + t.show({"receipt-title", "receipt-detail", "receipt-continue"}),
            "receipt | 2 条待确认 | 本次处理结果 | 已发送本次允许 | 仅作用于刚才的请求，不影响后续权限 | 继续查看 2 "
            "条待确认 →");
  t.click("receipt-continue");
  EXPECT_EQ(t.show(kShown) + " | " + t.show(buttons), "approval | 2 条待确认 | 有操作需要你确认 | 1 / 2 | (off)拒绝 | "
                                                      "(off)允许本次 | (off)去 WorkBuddy 处理 ↗");
  t.run("+A");
  EXPECT_EQ(t.show({"approval-allow"}), "允许本次");
}

// Hook and native cards, terminal commands and other tools, and the full-parameter view.
TEST(NotchViewTest, EachRequestCardSaysWhatItIsAndWhatItsButtonsDo) {
  const auto card = {"approval-title",   "approval-countdown-chip",    "approval-native-banner",
                     "approval-heading", "approval-additional-note",   "approval-primary-text",
                     "approval-divider", "approval-parameters-toggle", "approval-deny",
                     "approval-allow"};
  Harness t, w, n;
  t.run("asks");
  EXPECT_EQ(t.show(card),
            "执行终端命令 | approval-countdown-chip | 完整命令 | 含附加参数 | ls -la | approval-divider | "
            "查看完整参数 | (off)拒绝 | (off)允许本次");
  EXPECT_EQ(t.find("approval-primary-text")->height(), 54);
  t.click("approval-parameters-toggle");
  EXPECT_EQ(t.show(card), "执行终端命令 | approval-countdown-chip | 完整请求信息 | {\n  \"command\" : \"ls -la\",\n  "
                          "\"timeout\" : 5\n} | approval-divider | 返回命令视图 | (off)拒绝 | (off)允许本次");
  EXPECT_EQ(t.find("approval-primary-text")->height(), 176);
  w.run("askw +A");
  EXPECT_EQ(
      w.show(card),
      R"(写入文件 | approval-countdown-chip | 工具参数 | {"file_path":"/tmp/a","content":"x"} | 拒绝 | 允许本次)");
  n.run("native +A");
  EXPECT_EQ(n.show(card), "确认批量删除 | approval-native-banner | 完整命令 | rm -f ./temporary-frames/*.png | "
                          "approval-divider | 查看完整参数 | 取消删除 | 允许本次删除");
}

TEST(NotchViewTest, TheIdleCardSaysWhatIsMissing) {
  const auto card = {"idle-title", "idle-text", "idle-status", "idle-action"};
  Harness t;
  t.preferences.setBool(PreferenceKeys::questionReminders, false);
  t.run("open");
  EXPECT_EQ(t.show(card),
            "还差一步，接入 WorkBuddy | 安装审批 Hook 后重启 WorkBuddy，\n支持的工具请求就会出现在这里。 | "
            "接入 WorkBuddy");
  std::filesystem::create_directories(t.home.child(".workbuddy"));
  std::ofstream(t.home.child(".workbuddy/settings.json"))
      << R"({"hooks":{"PermissionRequest":[{"hooks":[{"type":"command","timeout":60,"command":)" +
             Json(HookCommand::approvalCommand(kExecutable, "workbuddy")).dump() + "}]}]}}";
  t.model->refreshConfiguredProfiles();
  EXPECT_EQ(t.show(card), "已就绪，等待新事件 | 收到支持的事件时提醒，平时保持安静。 | WorkBuddy · Hook 已安装 | "
                          "打开 WorkBuddy ↗");
  Harness broken(t.bridge.path()); // the socket is already served: the bridge cannot start and says so
  EXPECT_EQ(broken.show({"idle-title", "idle-text"}).rfind("桥接暂不可用 | 桥接未启动：", 0), 0u);
}

TEST(NotchViewTest, TheCountdownTicksOnlyWhileAHookRequestShows) {
  Harness t;
  t.run("ask");
  auto* ticker = t.find<QTimer>("approval-countdown-ticker");
  const auto chip = [&] {
    QMetaObject::invokeMethod(ticker, "timeout");
    const auto* label = t.find<QLabel>("approval-countdown");
    return label->text().toStdString() + " " +
           label->palette().color(QPalette::WindowText).name(QColor::HexArgb).toStdString();
  };
  t.clock.advance(50 - 10.5); // the deadline is 50 s after asking
  EXPECT_EQ(chip(), "11s #80ffffff");
  t.clock.advance(1.3);
  EXPECT_EQ(chip(), "10s #ffff9f0a");
  EXPECT_TRUE(ticker->isActive());
  t.model->collapse();
  EXPECT_FALSE(ticker->isActive());
}

// The shell around the same model: the panel laid out on a 400-point
// screen, the close animation ending before the badge replaces the card,
// Escape only while the panel has the keyboard, and no question on quitting
// a demonstration.
TEST(AppDelegateTest, LaysOutAnimatesClosedAndQuitsADemonstrationWithoutAsking) {
  struct OneScreen final : Screens {
    std::vector<ScreenInfo> screens() const override { return {{{0, 0, 400, 800}, 0, {}, {}}}; }
    Subscription observe(std::function<void()>) override { return {}; }
  } screens;
  Harness t;
  int asked = 0;
  AppDelegate delegate(t.model, {t.clock, t.preferences, screens, [&](std::size_t) { return ++asked, false; }});
  delegate.launch({"--demo"});
  QTest::qWait(400); // the opening animation
  const AppState& state = t.model->state();
  EXPECT_EQ(std::vector<double>({state.notchHeight, state.panelWidth, state.compactWidth}),
            std::vector<double>({8, 368, 236}));
  const QRect open = delegate.panel()->geometry();
  EXPECT_EQ(open.topLeft(), QPoint(16, 0));
  EXPECT_GT(open.height(), 200);

  t.model->collapse();
  QTest::qWait(60);
  EXPECT_TRUE(t.model->isExpanded()) << "the card must stay while the panel closes";
  EXPECT_LT(delegate.panel()->height(), open.height());
  QTest::qWait(400);
  EXPECT_FALSE(t.model->isExpanded());
  EXPECT_EQ(delegate.panel()->geometry(), QRect(16, 0, 368, 32));

  t.model->expand();
  QWidget elsewhere;
  elsewhere.show();
  QApplication::setActiveWindow(&elsewhere);
  QTest::keyClick(&elsewhere, Qt::Key_Escape);
  EXPECT_TRUE(state.interaction.expanded()) << "Escape in another window";
  QApplication::setActiveWindow(delegate.panel());
  QTest::keyClick(delegate.panel(), Qt::Key_Escape);
  EXPECT_FALSE(state.interaction.expanded());

  delegate.quit();
  EXPECT_EQ(asked, 0);
  EXPECT_TRUE(delegate.shouldTerminate());
  delegate.willTerminate();
}

} // namespace
} // namespace notch

// One application for the whole program, made before any test and gone after
// the last: widgets and pixmaps need it, and Qt must not outlive main().
int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
