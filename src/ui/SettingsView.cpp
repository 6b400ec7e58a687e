#include "ui/SettingsView.h"

#include <QComboBox>
#include <QLabel>
#include <QVBoxLayout>

#include "app/AppModel.h"
#include "app/PreferenceKeys.h"
#include "core/config/HookInstaller.h"
#include "core/text/PublicText.h"
#include "platform/FileManager.h"
#include "platform/LoginItems.h"
#include "platform/Preferences.h"
#include "support/TaskQueue.h"
#include "ui/NotchActionButton.h"
#include "ui/NotchIcons.h"
#include "ui/NotchStyle.h"
#include "ui/SettingsWidgets.h"

namespace notch {
namespace {

using State = SettingsHookConfiguration::State;

struct StatusLook {
  const char* label;
  const char* icon;
  QColor colour;
};

StatusLook lookOf(State state) {
  switch (state) {
  case State::checking:
    return {"正在检查配置", "ellipsis.circle", SettingsColours::secondary()};
  case State::installed:
    return {"本应用 Hook：配置已安装", "checkmark.circle.fill", SettingsColours::green()};
  case State::missing:
    return {"本应用 Hook：未安装", "circle.dashed", SettingsColours::secondary()};
  case State::reconnect:
    return {"本应用 Hook：路径需重连", "exclamationmark.triangle.fill", NotchStyle::orange()};
  case State::review:
    return {"本应用 Hook：配置需检查", "exclamationmark.triangle.fill", NotchStyle::orange()};
  case State::invalid:
    break;
  }
  return {"配置错误 / 无法读取", "exclamationmark.triangle.fill", SettingsColours::red()};
}

void setText(QLabel* label, const std::string& text) {
  const QString value = QString::fromStdString(text);
  if (label->text() != value) {
    label->setText(value);
  }
}

void setButtonText(QAbstractButton* button, const QString& text) {
  if (button->text() != text) {
    button->setText(text);
    button->setAccessibleName(text);
    button->updateGeometry();
    button->update();
  }
}

std::string failureText(const std::exception& failure) { return PublicText::administrative(failure.what()); }

} // namespace

SettingsView::SettingsView(AppModel& model, SettingsEnvironment environment, QWidget* parent)
    : QWidget(parent), model_(model), environment_(std::move(environment)) {
  setObjectName("settings-view");
  setAutoFillBackground(true);
  QPalette palette = this->palette();
  palette.setColor(QPalette::Window, SettingsColours::window());
  setPalette(palette);

  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(20, 20, 20, 20);
  column->setSpacing(14);
  buildHeader(column);
  buildInteraction(column);
  buildNative(column);
  buildCompletion(column);
  buildApproval(column);
  buildResult(column);
  buildQuit(column);
  column->addStretch(1);

  modelChanges_ = model_.subscribe([this] { render(); });
  preferenceChanges_ = environment_.preferences.observe([this](const std::string&) { preferenceChanged(); });
  preferenceChanged();
  render();
}

SettingsView::~SettingsView() = default;

std::string SettingsView::settingsPath(TargetApplicationProfile profile) const {
  return settingsURL(profile, environment_.homeDirectory);
}

void SettingsView::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  loginSwitch_->setChecked(environment_.loginItems.isEnabled());
  refreshApprovalStatus();
}

// ---- Switches ----------------------------------------------------------------

bool SettingsView::writePreference(const char* key, bool value) {
  Preferences& preferences = environment_.preferences;
  const bool changed = preferences.boolValue(key) != value;
  preferences.setBool(key, value);
  if (!changed) {
    return false;
  }
  // The model reads these when it acts, but what already runs must follow at once.
  const std::string name = key;
  if (name == PreferenceKeys::nativeApprovals || name == PreferenceKeys::questionReminders) {
    model_.refreshNativeMonitoring();
  } else if (name == PreferenceKeys::completionReminders) {
    model_.startCompletionReminders(); // with the switch off this stops them and says so
  }
  return true;
}

// Another writer (the model's accessibility request, a start-up flag) changed a preference.
void SettingsView::preferenceChanged() {
  for (const Toggle& toggle : toggles_) {
    toggle.control->setChecked(environment_.preferences.boolValue(toggle.key));
  }
}

void SettingsView::setLoginItem(bool enabled) {
  loginItemProblem_ = environment_.loginItems.setEnabled(enabled);
  loginSwitch_->setChecked(environment_.loginItems.isEnabled());
  render();
}

// ---- The approval hook -------------------------------------------------------

void SettingsView::refreshApprovalStatus() {
  configuration_ = HookInstaller(environment_.fileSystem)
                       .inspectApprovalHooks(profile_, settingsPath(profile_), environment_.executablePath);
  render();
}

void SettingsView::selectProfile(TargetApplicationProfile profile) {
  profile_ = profile;
  const int index = profile == TargetApplicationProfile::workbuddy ? 0 : 1;
  if (picker_->currentIndex() != index) {
    picker_->setCurrentIndex(index); // comes back here through the picker's signal
    return;
  }
  refreshApprovalStatus();
}

bool SettingsView::confirm(const Confirmation& confirmation) {
  return environment_.confirmations.confirm ? environment_.confirmations.confirm(confirmation)
                                            : confirmInAlert(confirmation, window());
}

void SettingsView::installApprovalHook() {
  if (!environment_.executablePath) {
    return;
  }
  const std::string executable = *environment_.executablePath;
  const std::string name(displayName(profile_));
  const std::string settings = settingsPath(profile_);
  const HookInstaller installer(environment_.fileSystem);
  refreshApprovalStatus();
  if (!configuration_.interceptBash) {
    operationFailed_ = true;
    backupPath_.reset();
    result_ = "配置无法读取。已刷新状态，请检查后重试。";
    render();
    return;
  }
  try {
    const std::string preview = installer.preview(settings, executable, rawValue(profile_), false);
    if (!confirm({"安装 / 更新 " + name + " 接入？",
                  "仅真实审批，不拦正常命令：只保留 PermissionRequest，移除本应用旧版逐命令拦截。不会自动允许。"
                  "原生安全弹窗未必发送此事件；安装后请重新启动 WorkBuddy。",
                  "备份并安装", "取消", preview})) {
      return;
    }
    backupPath_ = installer.install(settings, executable, rawValue(profile_), false);
    operationFailed_ = false;
    result_ = "配置已安装到 " + name + "。请重启 WorkBuddy；尚不代表已收到 Hook。";
    refreshApprovalStatus();
    model_.refreshConfiguredProfiles();
  } catch (const std::exception& failure) {
    operationFailed_ = true;
    backupPath_.reset();
    result_ = "安装失败：" + failureText(failure);
    refreshApprovalStatus();
  }
}

void SettingsView::removeApprovalHook() {
  const std::string name(displayName(profile_));
  if (!confirm({"移除 " + name + " 的刘海审批 Hook？",
                "只移除本应用的 Hook；其他设置保留。完成后请重新启动 WorkBuddy。", "移除", "取消", std::nullopt})) {
    return;
  }
  try {
    backupPath_ = HookInstaller(environment_.fileSystem).uninstall(settingsPath(profile_));
    operationFailed_ = false;
    result_ = "本应用接入已移除。请重新启动 WorkBuddy。";
    refreshApprovalStatus();
    model_.refreshConfiguredProfiles();
  } catch (const std::exception& failure) {
    operationFailed_ = true;
    backupPath_.reset(); // a backup beside a failure would belong to an earlier operation
    result_ = "移除失败：" + failureText(failure);
    refreshApprovalStatus();
  }
}

// ---- The turn-end hooks ------------------------------------------------------

void SettingsView::runCompletionOperation(bool install) {
  if (busy_) {
    return;
  }
  const bool confirmed =
      install
          ? confirm({"接入 WorkBuddy 本轮结束提醒？",
                     "只添加 UserPromptSubmit / FinalStop 通知 Hook，保留已有审批与其他配置。先创建私有备份；"
                     "替换本应用旧探针。接入后开启提醒，需等新的一轮开始。",
                     "接入并开启", "取消", std::nullopt})
          : confirm({"移除本轮结束提醒接入？",
                     "只移除本应用的结束通知和临时探针，不移除审批 Hook，也不影响 WorkBuddy 的任务。会先创建私有备份。",
                     "移除", "取消", std::nullopt});
  if (!confirmed) {
    return;
  }
  busy_ = true;
  result_.reset();
  backupPath_.reset();
  render();
  // The turn-end hooks always live in the standard edition's file.
  environment_.workQueue.post([install, alive = std::weak_ptr(alive_), this, &main = environment_.mainQueue,
                               &fileSystem = environment_.fileSystem,
                               settings = settingsPath(TargetApplicationProfile::workbuddy),
                               executable = environment_.executablePath.value_or("")] {
    CompletionOutcome outcome;
    try {
      const HookInstaller installer(fileSystem);
      outcome.backup =
          install ? installer.installCompletion(settings, executable, false) : installer.uninstallCompletion(settings);
    } catch (const std::exception& failure) {
      outcome.error = failureText(failure);
    }
    main.post([install, alive, this, outcome] {
      if (!alive.expired()) {
        finishCompletionOperation(install, outcome);
      }
    });
  });
}

void SettingsView::finishCompletionOperation(bool install, const CompletionOutcome& outcome) {
  busy_ = false;
  if (!outcome.backup) {
    operationFailed_ = true;
    result_ = "结束提醒配置未更改：" + outcome.error;
    render();
    return;
  }
  if (writePreference(PreferenceKeys::completionReminders, install)) {
    model_.refreshCompletionHookInstalled();
  } else {
    model_.startCompletionReminders();
  }
  backupPath_ = outcome.backup;
  operationFailed_ = false;
  result_ = install ? "已接入并开启结束提醒。请等待接入后新一轮的开始与结束；当前已完成任务不补弹。"
                    : "已移除结束提醒接入，审批接入保持不变。";
  render();
}

void SettingsView::revealBackup() {
  if (backupPath_) {
    environment_.fileManager.revealFile(*backupPath_);
  }
}

// ---- Showing the state -------------------------------------------------------

void SettingsView::render() {
  const AppState& state = model_.state();
  setText(accessStatus_,
          state.nativeAccessGranted ? "辅助功能权限已授权" : "尚未授权辅助功能：原生审批与提问提醒不会生效");
  NotchStyle::setTextColor(accessStatus_, state.nativeAccessGranted ? SettingsColours::green() : NotchStyle::orange());
  setText(completionStatus_, state.completionHookInstalled ? "独立通知 Hook 已安装" : "尚未安装到当前应用位置");
  NotchStyle::setTextColor(completionStatus_,
                           state.completionHookInstalled ? SettingsColours::green() : SettingsColours::secondary());
  setButtonText(completionInstall_, state.completionHookInstalled ? "更新结束提醒接入…" : "安装结束提醒接入…");
  completionInstall_->setEnabled(!busy_);
  completionRemove_->setEnabled(!busy_);

  setText(configFile_, "配置文件：" + std::string(displayName(profile_)) + " · settings.json");
  const StatusLook look = lookOf(configuration_.state);
  statusIcon_->setName(look.icon);
  statusIcon_->setColor(look.colour);
  setText(statusLabel_, look.label);
  NotchStyle::setTextColor(statusLabel_, look.colour);
  setText(statusDetail_, configuration_.detail);
  interceptNote_->setVisible(configuration_.interceptBash == std::optional<bool>(true));
  setButtonText(install_, configuration_.state == State::missing ? "安装接入…" : "更新接入…");
  install_->setEnabled(configuration_.interceptBash.has_value() && environment_.executablePath.has_value());

  resultRow_->setVisible(result_.has_value());
  if (result_) {
    const QColor colour = operationFailed_ ? SettingsColours::red() : SettingsColours::green();
    resultIcon_->setName(operationFailed_ ? "exclamationmark.circle.fill" : "checkmark.circle.fill");
    resultIcon_->setColor(colour);
    setText(resultText_, *result_);
  }
  revealBackup_->setVisible(result_.has_value() && backupPath_.has_value());

  loginNote_->setVisible(loginItemProblem_.has_value());
  setText(loginNote_, loginItemProblem_.value_or(""));
}

} // namespace notch
