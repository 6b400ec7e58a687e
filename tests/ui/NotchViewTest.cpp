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
#include "platform/FakeWorkspace.h"
#include "support/ManualTaskQueue.h"
#include "ui/NotchIcons.h"
#include "ui/NotchView.h"

namespace notch {
namespace {

using namespace testing;

constexpr double kArmed = 0.4601; // the hand-off delay, the arming margin and a hair of rounding
constexpr std::int32_t kPid = 4242;
const std::string kExecutable = "/opt/vantrel/VantrelNotch";

QApplication& application() {
  static int argc = 1;
  static char name[] = "notch_ui_tests";
  static char* argv[] = {name, nullptr};
  static QApplication app(argc, argv);
  return app;
}

struct Harness {
  explicit Harness(std::optional<std::string> directory = {}) : bridgeDirectory(directory.value_or(bridge.path())) {
    application();
    workspace.set(std::string(NativeApprovalMonitor::bundleIdentifier), {{.pid = kPid}}); // in the background
    model = AppModel::create(AppEnvironment{clock, main, native, preferences, clipboard, workspace, systemSettings,
                                            accessibility, fileSystem, bridgeDirectory, home.path(), kExecutable},
                             AppModelDependencies::system(workspace, preferences));
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
  std::string text(const char* name) const {
    QWidget* widget = find(name);
    if (auto* label = qobject_cast<QLabel*>(widget)) {
      return label->text().toStdString();
    }
    if (auto* box = qobject_cast<QPlainTextEdit*>(widget)) {
      return box->toPlainText().toStdString();
    }
    return qobject_cast<QAbstractButton*>(widget)->text().toStdString();
  }
  bool shown(const char* name) const { return find(name)->isVisible(); }
  bool enabled(const char* name) const { return find(name)->isEnabled(); }
  void click(const char* name) { QTest::mouseClick(find(name), Qt::LeftButton); }

  // Which card shows, with the header's title and subtitle; the badge's title and accessibility label when closed.
  std::string card() const {
    if (shown("compact-badge")) {
      const auto* badge = find<QAbstractButton>("compact-badge");
      return "badge " + badge->text().toStdString() + " | " + badge->accessibleName().toStdString();
    }
    std::string s;
    for (const char* name : {"approval", "receipt", "question-reminder", "completion-reminder", "idle"}) {
      s += shown(name) ? name : "";
    }
    return s + " | " + text("header-title") + " | " + text("header-subtitle");
  }

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
      else if (step == "q") poll(), poll(); // the second sighting shows it
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
  void poll() {
    accessibility.application(kPid)->set("AXWindows", std::vector<AXElementRef>{questionWindow});
    native.advance(0.8);
    main.runUntilIdle();
  }
  void finishedTurn() {
    preferences.setBool(PreferenceKeys::completionReminders, true);
    model->startCompletionReminders();
    main.advance(0.1);
    for (const char* event : {"UserPromptSubmit", "FinalStop"}) {
      const std::string hook = std::string(R"({"hook_event_name":")") + event +
                               R"(","session_id":"s-1","generation_id":"g","final_stop_reason":"completed"})";
      EXPECT_TRUE(TestClient(completionSocketPath(bridge.path()))
                      .send(CompletionEvent::decodeHook(hook, clock.now())->encode().value() + "\n"));
      EXPECT_TRUE(until([&] { return main.readyCount() > 0; }, false));
      main.runUntilIdle();
    }
    main.advance(CompletionReminderState::presentationDelay + 0.2);
  }
  // The servers answer from their own threads: wait for them, bounded.
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
  std::string bridgeDirectory;
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
  const FakeElementRef questionWindow = fakeElementsFor(scannedWindow({notch::testing::QuestionCard().group()}), kPid);
  std::shared_ptr<AppModel> model;
  std::unique_ptr<NotchView> view;
};

TEST(NotchViewTest, ShowsTheFirstContentThatApplies) {
  // clang-format off
  const std::pair<const char*, const char*> rows[] = {
      {"", "badge Vantrel Dozer | 展开 Vantrel Dozer 刘海"},
      {"ask close", "badge 1 条待确认 | 展开 1 条待确认请求"},
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
    EXPECT_EQ(t.card(), expected) << script;
  }
}

TEST(NotchViewTest, HookAndNativeCardsSayWhatTheirButtonsDo) {
  Harness t;
  const auto describe = [&] {
    return t.text("approval-title") + " " + t.text("approval-deny") + " " + t.text("approval-allow") +
           (t.shown("approval-countdown-chip") ? " chip" : "") + (t.shown("approval-native-banner") ? " banner" : "");
  };
  t.run("ask");
  EXPECT_EQ(describe(), "执行终端命令 拒绝 允许本次 chip");
  Harness n;
  n.run("native");
  EXPECT_EQ(n.text("approval-title") + " " + n.text("approval-deny") + " " + n.text("approval-allow"),
            "确认批量删除 取消删除 允许本次删除");
  EXPECT_TRUE(n.shown("approval-native-banner") && !n.shown("approval-countdown-chip"));
}

TEST(NotchViewTest, DecisionButtonsWorkOnlyOnceArmed) {
  Harness t;
  t.run("ask ask");
  t.main.advance(0.44);
  EXPECT_FALSE(t.enabled("approval-allow") || t.enabled("approval-deny") || t.enabled("approval-return"));
  t.main.advance(kArmed - 0.44);
  EXPECT_TRUE(t.enabled("approval-allow") && t.enabled("approval-deny") && t.enabled("approval-return"));
  t.click("approval-allow");
  EXPECT_EQ(t.card(), "receipt | 1 条待确认 | 本次处理结果");
  EXPECT_EQ(t.text("receipt-title") + " " + t.text("receipt-detail"),
            "已发送本次允许 仅作用于刚才的请求，不影响后续权限");
  EXPECT_EQ(t.text("receipt-continue"), "继续查看 1 条待确认 →");
  t.click("receipt-continue");
  EXPECT_EQ(t.card(), "approval | 1 条待确认 | 有操作需要你确认");
  EXPECT_FALSE(t.enabled("approval-allow"));
  t.run("+A");
  EXPECT_TRUE(t.enabled("approval-allow"));
}

TEST(NotchViewTest, TheSwitcherStepsThroughTheRequestsCyclically) {
  Harness t;
  t.run("ask ask ask +A");
  std::string seen = t.text("approval-position");
  for (const char* button : {"approval-next", "approval-next", "approval-next", "approval-previous"}) {
    t.click(button);
    seen += " | " + t.text("approval-position");
  }
  EXPECT_EQ(seen, "1 / 3 | 2 / 3 | 3 / 3 | 1 / 3 | 3 / 3");
  EXPECT_TRUE(t.shown("approval-switcher"));
}

TEST(NotchViewTest, TheFullParameterViewShowsTheRawInput) {
  Harness t;
  t.run("asks");
  const auto describe = [&] {
    return t.text("approval-heading") + (t.shown("approval-additional-note") ? " 含附加参数" : "") + " [" +
           t.text("approval-primary-text") + "] " + t.text("approval-parameters-toggle") + " " +
           std::to_string(t.find("approval-primary-text")->height());
  };
  EXPECT_EQ(describe(), "完整命令 含附加参数 [ls -la] 查看完整参数 54");
  t.click("approval-parameters-toggle");
  EXPECT_EQ(describe(), "完整请求信息 [{\n  \"command\" : \"ls -la\",\n  \"timeout\" : 5\n}] 返回命令视图 176");
  Harness w;
  w.run("askw");
  EXPECT_EQ(w.text("approval-title") + " " + w.text("approval-heading"), "写入文件 工具参数");
  EXPECT_FALSE(w.shown("approval-divider") || w.shown("approval-parameters-toggle"));
}

TEST(NotchViewTest, TheIdleCardSaysWhatIsMissing) {
  Harness t;
  t.preferences.setBool(PreferenceKeys::questionReminders, false);
  t.run("open");
  const auto describe = [&] {
    return t.text("idle-title") + " | " + t.text("idle-text") + " | " + t.text("idle-action") + " | " +
           (t.shown("idle-status") ? t.text("idle-status") : "");
  };
  EXPECT_EQ(describe(), "还差一步，接入 WorkBuddy | 安装审批 Hook 后重启 WorkBuddy，\n支持的工具请求就会出现在这里。 | "
                        "接入 WorkBuddy | ");
  std::filesystem::create_directories(t.home.child(".workbuddy"));
  std::ofstream(t.home.child(".workbuddy/settings.json"))
      << R"({"hooks":{"PermissionRequest":[{"hooks":[{"type":"command","timeout":60,"command":)" +
             Json(HookCommand::approvalCommand(kExecutable, "workbuddy")).dump() + "}]}]}}";
  t.model->refreshConfiguredProfiles();
  EXPECT_EQ(describe(), "已就绪，等待新事件 | 收到支持的事件时提醒，平时保持安静。 | 打开 WorkBuddy ↗ | "
                        "WorkBuddy · Hook 已安装");

  Harness broken(t.bridge.path()); // the socket is already served: the bridge cannot start and says so
  EXPECT_EQ(broken.text("idle-title"), "桥接暂不可用");
  EXPECT_EQ(broken.text("idle-text").rfind("桥接未启动：", 0), 0u) << broken.text("idle-text");
}

TEST(NotchViewTest, TheCountdownTicksOnlyWhileAHookRequestShows) {
  Harness t;
  t.run("ask");
  auto* ticker = t.find<QTimer>("approval-countdown-ticker");
  auto* chip = t.find<QLabel>("approval-countdown");
  EXPECT_TRUE(ticker->isActive());
  t.clock.advance(50 - 10.5); // the deadline is 50 s after asking
  QMetaObject::invokeMethod(ticker, "timeout");
  EXPECT_EQ(chip->text().toStdString() + " " +
                chip->palette().color(QPalette::WindowText).name(QColor::HexArgb).toStdString(),
            "11s #80ffffff");
  t.clock.advance(1.3);
  QMetaObject::invokeMethod(ticker, "timeout");
  EXPECT_EQ(chip->text().toStdString() + " " + chip->palette().color(QPalette::WindowText).name().toStdString(),
            "10s #ff9f0a");
  t.model->collapse();
  EXPECT_FALSE(ticker->isActive());
}

// Every symbol the cards and the tray ask for is shipped and loads; a hole in a filled symbol stays clear.
TEST(NotchViewTest, EverySymbolTheCardsNameIsShipped) {
  application();
  for (const char* name : {"slider.horizontal.3",
                           "xmark",
                           "checkmark",
                           "clock",
                           "exclamationmark.shield",
                           "doc.on.doc",
                           "chevron.up",
                           "chevron.down",
                           "chevron.left",
                           "chevron.right",
                           "lock",
                           "square.stack",
                           "macwindow",
                           "folder",
                           "checkmark.circle.fill",
                           "xmark.circle.fill",
                           "arrow.up.forward.circle.fill",
                           "clock.arrow.circlepath",
                           "minus.circle.fill",
                           "arrow.up.forward",
                           "questionmark.bubble",
                           "questionmark.bubble.fill",
                           "checkmark.shield",
                           "checkmark.shield.fill",
                           "hand.tap",
                           "bell.badge"}) {
    EXPECT_FALSE(notchIconPixmap(name, 12, Qt::white).isNull()) << name;
  }
  EXPECT_TRUE(notchIconPixmap("chevron.sideways", 12, Qt::white).isNull());
  EXPECT_FALSE(brandAvatarPixmap(24).isNull() || menuBarTemplatePixmap(22).isNull());
  const QImage check = notchIconPixmap("checkmark.circle.fill", 24, Qt::white).toImage();
  EXPECT_EQ(std::pair(qAlpha(check.pixel(12, 4)) > 200, qAlpha(check.pixel(10, 15)) < 40), std::pair(true, true));
}

} // namespace
} // namespace notch
