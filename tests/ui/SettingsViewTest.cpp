// The settings window bound to an app model with fakes, against real files
// in a temporary home: what it shows for each state of the selected
// edition's settings.json, what each confirmation leaves alone when it is
// cancelled, what the operations report, the login item's entry, and
// installing while the command line configures the same file.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QTest>

#include <deque>
#include <filesystem>
#include <fstream>
#include <set>
#include <thread>

#include "app/AppModel.h"
#include "app/PreferenceKeys.h"
#include "core/bridge/TestBridge.h"
#include "platform/FakeAccessibility.h"
#include "platform/FakeAppPlatform.h"
#include "platform/FakeAppWorld.h"
#include "platform/FakeFileManager.h"
#include "platform/FakeWorkspace.h"
#include "platform/linux/DesktopFileManager.h"
#include "platform/linux/XdgLoginItems.h"
#include "support/ChildProcess.h"
#include "support/FakeClock.h"
#include "ui/SettingsPage.h"

namespace notch {
namespace {

using namespace testing;

const std::string kExecutable = "/opt/vantrel/VantrelNotch";
const std::string kForeign = R"({"hooks":{"PermissionRequest":[{"hooks":[{"command":"other-tool","type":"command"}]}],)"
                             R"("Stop":[{"hooks":[{"type":"http","url":"http://localhost/x"}]}]},"theme":"dark"})";

std::string read(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return file ? std::string(std::istreambuf_iterator<char>(file), {}) : "(none)";
}

struct Harness : FakeAppWorld {
  Harness() {
    model = AppModel::create(environment(kExecutable), AppModelDependencies::system(workspace, preferences));
    page = std::make_unique<SettingsPage>(
        *model,
        SettingsEnvironment{
            preferences, main, work, fileSystem, files, login, home.path(), kExecutable, {[this](const auto& c) {
              asked.push_back(c.message);
              EXPECT_FALSE(answers.empty()) << c.message;
              const bool yes = !answers.empty() && answers.front();
              if (!answers.empty())
                answers.pop_front();
              return yes;
            }}});
    page->resize(600, 680);
    page->show();
  }

  // The visible named widgets' texts ("(off)" before a disabled one), joined by " | ".
  std::string show(std::initializer_list<const char*> names) const {
    QStringList shown;
    for (const char* name : names) {
      QWidget* w = page->findChild<QWidget*>(name);
      EXPECT_TRUE(w) << name;
      const auto* label = qobject_cast<QLabel*>(w);
      const QString text = label ? label->text() : qobject_cast<QAbstractButton*>(w)->text();
      if (w->isVisible()) {
        shown << (w->isEnabled() ? "" : "(off)") + text;
      }
    }
    return shown.join(" | ").toStdString();
  }
  // Presses `name`, answering its confirmation with `answer`, and lets queued work finish.
  void press(const char* name, std::optional<bool> answer = {}) {
    if (answer) {
      answers.push_back(*answer);
    }
    QTest::mouseClick(page->findChild<QWidget*>(name), Qt::LeftButton);
    work.runUntilIdle();
    main.runUntilIdle();
  }
  void write(const std::string& text) {
    std::filesystem::create_directories(home.child(".workbuddy"));
    std::ofstream(settings()) << text;
    page->view()->refreshApprovalStatus();
  }
  std::string settings() const { return home.child(".workbuddy/settings.json"); }

  ManualTaskQueue& work = native; // the settings window's background queue
  FakeFileManager files;
  XdgLoginItems login{home.child("config/autostart"), kExecutable};
  std::deque<bool> answers;
  std::vector<std::string> asked;
  std::shared_ptr<AppModel> model;
  std::unique_ptr<SettingsPage> page;
};

TEST(SettingsViewTest, ShowsTheSelectedEditionsConfiguration) {
  Harness t;
  const auto status = {"settings-config-file", "settings-status", "settings-status-detail", "settings-install"};
  EXPECT_EQ(t.show(status),
            "配置文件：WorkBuddy · settings.json | 本应用 Hook：未安装 | 尚无 settings.json；确认安装后才会创建。"
            " | 安装接入…");
  t.page->findChild<QComboBox*>("settings-profile")->setCurrentIndex(1);
  EXPECT_EQ(t.show({"settings-config-file"}), "配置文件：WorkBuddy（AI 版） · settings.json");
  t.page->findChild<QComboBox*>("settings-profile")->setCurrentIndex(0);
  t.write("{\"hooks\": [");
  const auto* label = t.page->findChild<QLabel*>("settings-status");
  EXPECT_EQ(label->text().toStdString() + " " + label->palette().color(QPalette::WindowText).name().toStdString(),
            "配置错误 / 无法读取 #ff6961");
  EXPECT_TRUE(t.show({"settings-status-detail"}).ends_with(" 仅读取，未修改配置。"));
  EXPECT_EQ(t.show({"settings-install", "settings-intercept-bash"}), "(off)更新接入…");
}

// A legacy per-command interception is pointed out; a file that broke after the last look is read again before any
// question and refused.
TEST(SettingsViewTest, InstallingReadsTheFileAgainFirst) {
  Harness t;
  const std::string own = R"({"hooks":[{"type":"command","timeout":60,"command":"'/opt/vantrel/VantrelNotch' '--hook' )"
                          R"('--source' 'workbuddy' '--owner-marker' 'vantrel-notch-v1'"}]})";
  t.write(R"({"hooks":{"PermissionRequest":[)" + own + R"(],"PreToolUse":[{"matcher":"Bash",)" + own.substr(1) + "]}}");
  EXPECT_EQ(t.show({"settings-status", "settings-intercept-bash", "settings-install"}),
            "本应用 Hook：配置已安装 | 发现旧版逐命令拦截，更新接入将移除它，仅保留真实权限请求。 | 更新接入…");
  std::ofstream(t.settings()) << "{}}";
  t.press("settings-install");
  EXPECT_EQ(t.show({"settings-status", "settings-install", "settings-result", "settings-reveal-backup"}),
            "配置错误 / 无法读取 | (off)更新接入… | 配置无法读取。已刷新状态，请检查后重试。");
  EXPECT_TRUE(t.asked.empty());
}

// Cancelling leaves the file's bytes, the result line and the backups as they were.
TEST(SettingsViewTest, CancellingAnyConfirmationChangesNothing) {
  Harness t;
  t.write(kForeign);
  t.press("settings-install", true);
  const std::string before = read(t.settings()) + t.show({"settings-result", "settings-reveal-backup"});
  const auto backups =
      std::distance(std::filesystem::directory_iterator(t.home.child(".workbuddy/.vantrel-notch-backups")), {});
  t.asked.clear();
  for (const char* name :
       {"settings-install", "settings-remove", "settings-completion-install", "settings-completion-remove"}) {
    t.press(name, false);
    EXPECT_EQ(read(t.settings()) + t.show({"settings-result", "settings-reveal-backup"}), before) << name;
  }
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(t.home.child(".workbuddy/.vantrel-notch-backups")), {}),
            backups);
  EXPECT_EQ(t.asked, std::vector<std::string>({"安装 / 更新 WorkBuddy 接入？", "移除 WorkBuddy 的刘海审批 Hook？",
                                               "接入 WorkBuddy 本轮结束提醒？", "移除本轮结束提醒接入？"}));
}

TEST(SettingsViewTest, OnlyASuccessfulOperationOffersItsBackup) {
  Harness t;
  t.write(kForeign);
  t.press("settings-install", true);
  EXPECT_EQ(
      t.show({"settings-status", "settings-result", "settings-reveal-backup"}),
      "本应用 Hook：配置已安装 | 配置已安装到 WorkBuddy。请重启 WorkBuddy；尚不代表已收到 Hook。 | 在 Finder 显示备份");
  t.press("settings-reveal-backup");
  ASSERT_EQ(t.files.revealed.size(), 1u);
  EXPECT_EQ(read(t.files.revealed[0]), kForeign);
  t.write(R"({"hooks":{"PermissionRequest":[{"hooks":[{"type":"command","timeout":30,"command":)"
          R"("'/opt/vantrel/VantrelNotch' '--hook' '--source' 'workbuddy' '--owner-marker' 'vantrel-notch-v1'"}]}]}})");
  t.press("settings-install", true);
  EXPECT_EQ(t.show({"settings-status", "settings-result", "settings-reveal-backup"}),
            "本应用 Hook：配置需检查 | 安装失败：本应用的 hook 已被手动修改；为避免覆盖更改，操作已停止。");
  t.press("settings-remove", true);
  EXPECT_EQ(t.show({"settings-result", "settings-reveal-backup"}),
            "移除失败：本应用的 hook 已被手动修改；为避免覆盖更改，操作已停止。");
}

TEST(SettingsViewTest, TurnEndHooksInstallAndRemoveInTheBackground) {
  Harness t;
  const auto shown = {"settings-completion-status", "settings-completion-install", "settings-result",
                      "settings-reveal-backup"};
  t.answers.push_back(true);
  QTest::mouseClick(t.page->findChild<QWidget*>("settings-completion-install"), Qt::LeftButton);
  EXPECT_EQ(t.show(shown), "尚未安装到当前应用位置 | (off)安装结束提醒接入…");
  t.work.runUntilIdle();
  t.main.runUntilIdle();
  EXPECT_EQ(t.show(shown),
            "独立通知 Hook 已安装 | 更新结束提醒接入… | 已接入并开启结束提醒。请等待接入后新一轮的开始与结束；"
            "当前已完成任务不补弹。 | 在 Finder 显示备份");
  EXPECT_TRUE(t.preferences.boolValue(PreferenceKeys::completionReminders));
  t.press("settings-completion-remove", true);
  EXPECT_EQ(t.show(shown),
            "尚未安装到当前应用位置 | 安装结束提醒接入… | 已移除结束提醒接入，审批接入保持不变。 | 在 Finder 显示备份");
  EXPECT_FALSE(t.preferences.boolValue(PreferenceKeys::completionReminders));
  t.write("[]");
  t.press("settings-completion-install", true);
  EXPECT_EQ(t.show({"settings-result", "settings-reveal-backup"}),
            "结束提醒配置未更改：配置必须是合法 JSON 对象；未修改文件。");
  EXPECT_FALSE(t.preferences.boolValue(PreferenceKeys::completionReminders));
}

TEST(SettingsViewTest, StartAtLoginWritesItsOwnEntryOnly) {
  Harness t;
  const std::string entry = t.home.child("config/autostart/vantrel-dozer.desktop");
  t.press("settings-login");
  EXPECT_EQ(read(entry), "[Desktop Entry]\nType=Application\nName=Vantrel Dozer\nComment=把审批带到刘海\n"
                         "Exec=\"/opt/vantrel/VantrelNotch\"\nTerminal=false\nX-GNOME-Autostart-enabled=true\n");
  t.press("settings-login");
  EXPECT_EQ(read(entry), "(none)");
  const std::string edited = *XdgLoginItems::entryText(kExecutable) + "Hidden=true\n";
  std::ofstream(entry) << edited;
  t.page->hide();
  t.page->show();
  EXPECT_FALSE(t.page->findChild<QAbstractButton*>("settings-login")->isChecked());
  t.press("settings-login");
  EXPECT_EQ(read(entry) + t.show({"settings-login-note"}),
            edited + "已有同名自启动项（vantrel-dozer.desktop）不是本应用写入的；为保留手动修改，未做更改。");
}

// The switches write their preference at once and the running model follows; so do the quit key and the demo.
TEST(SettingsViewTest, SwitchesTellTheRunningModel) {
  Harness t;
  const auto status = [&] { return t.model->state().nativeStatus + " | " + t.model->state().completionStatus; };
  t.press("settings-switch-questionRemindersEnabled");
  t.press("settings-switch-completionRemindersEnabled");
  EXPECT_EQ(status(), "原生审批和提问提醒均已关闭 | 通知通道就绪；请单独安装结束提醒 Hook");
  t.press("settings-switch-completionRemindersEnabled");
  EXPECT_EQ(status(), "原生审批和提问提醒均已关闭 | 本轮结束提醒已关闭");
  EXPECT_FALSE(t.preferences.boolValue(PreferenceKeys::questionReminders));
  t.preferences.setBool(PreferenceKeys::autoCollapse, false); // another writer
  EXPECT_FALSE(t.page->findChild<QAbstractButton*>("settings-switch-autoCollapse")->isChecked());

  int quits = 0;
  t.model->onQuitRequested = [&] { ++quits; };
  t.page->activateWindow();
  EXPECT_TRUE(QTest::qWaitForWindowActive(t.page.get()));
  QTest::keyClick(t.page->windowHandle(), Qt::Key_Q, Qt::ControlModifier);
  t.press("settings-demo");
  EXPECT_EQ(std::pair(quits, t.model->state().isDemo), std::pair(1, true));
}

// Exec lines are quoted so that the desktop's reader gets the path back; what cannot be written so is refused.
TEST(XdgLoginItems, OwnsOnlyEntriesItCanReadBack) {
  TemporaryDirectory directory;
  const std::string odd = R"(/opt/My "Apps"/$HOME\bin/VantrelNotch)";
  XdgLoginItems items(directory.path(), odd), moved(directory.path(), "/opt/new/VantrelNotch");
  EXPECT_EQ(items.setEnabled(true), std::nullopt);
  EXPECT_TRUE(read(directory.child("vantrel-dozer.desktop"))
                  .find(R"(Exec="/opt/My \\"Apps\\"/\\$HOME\\\\bin/VantrelNotch")"
                        "\n") != std::string::npos);
  EXPECT_EQ(std::pair(items.isEnabled(), moved.isEnabled()), std::pair(true, false));
  EXPECT_EQ(moved.setEnabled(true), std::nullopt); // the app's own entry for its old place is replaced
  EXPECT_EQ(std::pair(items.isEnabled(), moved.isEnabled()), std::pair(false, true));
  for (const char* refused : {"/opt/100%/VantrelNotch", "/opt/a\nb", "VantrelNotch", ""}) {
    EXPECT_EQ(XdgLoginItems::entryText(refused), std::nullopt) << refused;
  }
  EXPECT_EQ(DesktopFileManager::fileURI("/tmp/a b/备份.bak"), "file:///tmp/a%20b/%E5%A4%87%E4%BB%BD.bak");
}

// The install lock keeps the window and `VantrelNotch --configure` apart: each either completes or reports the
// lock, and nobody else's hooks get lost.
TEST(SettingsViewTest, InstallsWhileTheCommandLineConfiguresTheSameFile) {
  Harness t;
  t.write(kForeign);
  std::vector<std::string> outcomes, commandLineOutcomes;
  std::thread commandLine([&] {
    for (int i = 0; i < 12; ++i) {
      const ChildResult run = runChild(NOTCH_EXECUTABLE_PATH, {"--configure", "target", "--apply"},
                                       {.environment = {"HOME=" + t.home.path()}});
      commandLineOutcomes.push_back(run.exitStatus == 0 ? "ok" : run.standardError);
    }
  });
  for (int i = 0; i < 12; ++i) {
    t.press("settings-install", true);
    outcomes.push_back(t.page->view()->result().value_or("") ==
                               "配置已安装到 WorkBuddy。请重启 WorkBuddy；尚不代表已收到 Hook。"
                           ? "ok"
                           : t.page->view()->result().value_or(""));
  }
  commandLine.join();
  outcomes.insert(outcomes.end(), commandLineOutcomes.begin(), commandLineOutcomes.end());
  // Besides the lock, a read that saw the other writer's replacement refuses too; every refusal writes nothing.
  const std::set<std::string> allowed = {"ok", "Configuration failed: 另一次 hook 配置操作正在进行，请稍后重试。\n",
                                         "安装失败：另一次 hook 配置操作正在进行，请稍后重试。",
                                         "配置无法读取。已刷新状态，请检查后重试。",
                                         "安装失败：读取时配置发生变化，请重试。"};
  for (const std::string& outcome : outcomes) {
    EXPECT_TRUE(allowed.contains(outcome)) << outcome;
  }
  const Json after = Json::parse(read(t.settings()));
  EXPECT_EQ(after["hooks"]["PermissionRequest"][0]["hooks"][0]["command"], "other-tool");
  EXPECT_EQ(after["hooks"]["PermissionRequest"].size(), 2u);
  EXPECT_EQ(after["hooks"]["Stop"][0]["hooks"][0]["url"], "http://localhost/x");
  EXPECT_EQ(after["theme"], "dark");
}

} // namespace
} // namespace notch
