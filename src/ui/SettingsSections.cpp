// The settings window's seven parts, built once; SettingsView::render
// fills in what changes.

#include <QComboBox>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>

#include "app/AppModel.h"
#include "app/PreferenceKeys.h"
#include "platform/LoginItems.h"
#include "ui/NotchActionButton.h"
#include "ui/NotchIcons.h"
#include "ui/NotchPlainButton.h"
#include "ui/NotchStyle.h"
#include "ui/SettingsView.h"
#include "ui/SettingsWidgets.h"

namespace notch {
namespace {

QLabel* note(const QString& text, QWidget* parent) {
  return settingsLabel(text, 11, QFont::Normal, SettingsColours::secondary(), parent);
}

NotchActionButton* button(const QString& text, const char* name, QWidget* parent, bool primary = false) {
  auto* result = new NotchActionButton(text, {}, primary, true, parent);
  result->setObjectName(name);
  return result;
}

// A symbol beside a wrapping text, the symbol on the text's first line.
QHBoxLayout* symbolRow(NotchIcon* icon, QWidget* text) {
  auto* row = new QHBoxLayout;
  row->setSpacing(8);
  row->addWidget(icon, 0, Qt::AlignTop);
  row->addWidget(text, 1);
  return row;
}

} // namespace

QHBoxLayout* SettingsView::buttonRow(std::initializer_list<QWidget*> buttons) {
  auto* row = new QHBoxLayout;
  row->setSpacing(8);
  for (QWidget* each : buttons) {
    row->addWidget(each);
  }
  row->addStretch(1);
  return row;
}

void SettingsView::addToggle(QVBoxLayout* layout, const char* key, const QString& title,
                             const QStringList& explanations) {
  auto* control = new SettingsSwitch(title, this);
  control->setObjectName(key != nullptr ? QString("settings-switch-") + key : QString("settings-login"));
  auto* texts = new QVBoxLayout;
  texts->setSpacing(4);
  texts->addWidget(settingsLabel(title, 13, QFont::Normal, NotchStyle::white(0.92), this));
  for (const QString& explanation : explanations) {
    texts->addWidget(note(explanation, this));
  }
  auto* row = new QHBoxLayout;
  row->setSpacing(16);
  row->addLayout(texts, 1);
  row->addWidget(control, 0, Qt::AlignTop);
  layout->addLayout(row);
  if (key != nullptr) {
    toggles_.push_back({key, control});
    connect(control, &QAbstractButton::clicked, this, [this, key](bool on) { writePreference(key, on); });
  } else {
    loginSwitch_ = control;
    connect(control, &QAbstractButton::clicked, this, [this](bool on) { setLoginItem(on); });
  }
}

void SettingsView::buildHeader(QVBoxLayout* column) {
  auto* texts = new QVBoxLayout;
  texts->setSpacing(4);
  texts->addWidget(settingsLabel("把审批带到刘海", 20, QFont::DemiBold, NotchStyle::white(1.0), this));
  texts->addWidget(
      settingsLabel("本地处理 · 手动确认 · 不自动允许", 12, QFont::Normal, SettingsColours::secondary(), this));
  auto* demo = new NotchActionButton("演示刘海", "hand.tap", false, true, this);
  demo->setObjectName("settings-demo");
  connect(demo, &QAbstractButton::clicked, this, [this] { model_.showDemo(false); });
  auto* header = new QHBoxLayout;
  header->setContentsMargins(4, 0, 0, 4);
  header->addLayout(texts, 1);
  header->addWidget(demo, 0, Qt::AlignVCenter);
  column->addLayout(header);
}

void SettingsView::buildInteraction(QVBoxLayout* column) {
  auto* section = new SettingsSection("slider.horizontal.3", "交互", this);
  addToggle(section->body(), PreferenceKeys::hoverToExpand, "悬停展开刘海", {});
  addToggle(section->body(), PreferenceKeys::autoCollapse, "鼠标离开后自动收起", {});
  section->body()->addWidget(note("仅影响刘海展示，不会更改 WorkBuddy 配置或自动处理审批。", this));
  addToggle(section->body(), nullptr, "登录时启动", {});
  loginNote_ = settingsLabel({}, 11, QFont::Normal, NotchStyle::orange(), this);
  loginNote_->setObjectName("settings-login-note");
  section->body()->addWidget(loginNote_);
  column->addWidget(section);
}

void SettingsView::buildNative(QVBoxLayout* column) {
  auto* section = new SettingsSection("exclamationmark.shield", "原生审批与提问提醒", this);
  QVBoxLayout* body = section->body();
  addToggle(
      body, PreferenceKeys::nativeApprovals, "在刘海显示真实的批量删除确认卡",
      {"仅当后台 WorkBuddy 的原始确认卡确实存在时才显示；不拦正常命令。你在刘海明确点击后，才通过辅助功能 AXPress "
       "按下原卡对应的“允许本次删除”或“取消删除”，绝不自动允许。",
       "仅覆盖批量删除安全卡（bulk-delete-threshold）。无法完整读取命令、存在歧义、请求已变化，或窗口最小化 / "
       "会话未加载时，不代点，请回 WorkBuddy 确认。其他原生安全确认暂不覆盖。"});
  addToggle(
      body, PreferenceKeys::questionReminders, "后台等待回答时，在刘海提醒",
      {"只显示已确认的题目与页码，点“去回答”仅切回 WorkBuddy。不会代选、填写、翻页、跳过或提交；同一提问收起后不反复"
       "弹出。当前支持已验证的编号选项卡形状，其他表单可能无法识别。"});
  body->addWidget(note(
      "这是原生界面代理，不走 Hook，也不需要开启 PreToolUse。下方 Hook 接入独立工作，且不需要辅助功能权限。", this));
  accessStatus_ = settingsLabel({}, 12, QFont::Medium, SettingsColours::secondary(), this);
  accessStatus_->setObjectName("settings-access-status");
  body->addWidget(accessStatus_);
  auto* grant = button("授权辅助功能…", "settings-grant-access", this);
  grant->setToolTip("请求系统辅助功能权限，并打开对应系统设置；授权不等于允许任何删除");
  auto* recheck = button("刷新检测", "settings-recheck-access", this);
  connect(grant, &QAbstractButton::clicked, this, [this] { model_.openAccessibilitySettings(false); });
  connect(recheck, &QAbstractButton::clicked, this, [this] { model_.refreshNativeMonitoring(); });
  body->addLayout(buttonRow({grant, recheck}));
  column->addWidget(section);
}

void SettingsView::buildCompletion(QVBoxLayout* column) {
  auto* section = new SettingsSection("bell.badge", "本轮结束提醒（独立 Hook）", this);
  QVBoxLayout* body = section->body();
  addToggle(body, PreferenceKeys::completionReminders, "后台本轮结束时，在刘海提醒", {});
  completionStatus_ = settingsLabel({}, 12, QFont::Medium, SettingsColours::secondary(), this);
  completionStatus_->setObjectName("settings-completion-status");
  body->addWidget(completionStatus_);
  body->addWidget(
      note("仅 WorkBuddy。配对接入后的新一轮开始与正常结束；失败、取消、不明状态和前台结束不弹成功提示。不补报旧任"
           "务，不代表全部后台任务或产物已成功完成。",
           this));
  body->addWidget(
      note("这项检测不需要辅助功能权限；不记录聊天正文、不等待你点击、不改变审批或要求模型继续。开关只控制监听，移除"
           "配置请用独立按钮。检测不到新事件时，保存工作后自行重开 WorkBuddy。",
           this));
  completionInstall_ = button("安装结束提醒接入…", "settings-completion-install", this);
  completionRemove_ = button("移除结束提醒接入…", "settings-completion-remove", this);
  auto* refresh = button("刷新", "settings-completion-refresh", this);
  connect(completionInstall_, &QAbstractButton::clicked, this, [this] { runCompletionOperation(true); });
  connect(completionRemove_, &QAbstractButton::clicked, this, [this] { runCompletionOperation(false); });
  connect(refresh, &QAbstractButton::clicked, this, [this] { model_.refreshCompletionHookInstalled(); });
  body->addLayout(buttonRow({completionInstall_, completionRemove_, refresh}));
  column->addWidget(section);
}

void SettingsView::buildApproval(QVBoxLayout* column) {
  auto* section = new SettingsSection("checkmark.shield", "接入（PermissionRequest Hook）", this);
  QVBoxLayout* body = section->body();

  picker_ = new QComboBox(this);
  picker_->setObjectName("settings-profile");
  picker_->setFont(NotchStyle::font(12));
  picker_->setMinimumWidth(170);
  // Dark like the window, whichever desktop theme draws it; the arrow follows the text colour.
  QPalette palette = picker_->palette();
  palette.setColor(QPalette::Button, QColor(58, 58, 62));
  palette.setColor(QPalette::Base, QColor(44, 44, 47));
  palette.setColor(QPalette::Window, QColor(44, 44, 47));
  for (const auto role : {QPalette::ButtonText, QPalette::Text, QPalette::WindowText, QPalette::HighlightedText}) {
    palette.setColor(role, NotchStyle::white(0.92));
  }
  palette.setColor(QPalette::Highlight, QColor(52, 110, 78));
  picker_->setPalette(palette);
  for (const TargetApplicationProfile each : allTargetApplicationProfiles) {
    picker_->addItem(QString::fromUtf8(displayName(each).data(), static_cast<int>(displayName(each).size())));
  }
  connect(picker_, &QComboBox::currentIndexChanged, this,
          [this](int index) { selectProfile(allTargetApplicationProfiles.at(index == 1 ? 1 : 0)); });
  auto* pickerRow = new QHBoxLayout;
  pickerRow->setSpacing(10);
  pickerRow->addWidget(settingsLabel("接入版本", 13, QFont::Normal, NotchStyle::white(0.92), this), 0);
  pickerRow->addWidget(picker_, 0);
  pickerRow->addStretch(1);
  body->addLayout(pickerRow);
  body->addWidget(note("仅读取所选版本的 settings.json；不会写入配置", this));

  configFile_ = settingsLabel({}, 12, QFont::Medium, NotchStyle::white(0.85), this);
  configFile_->setObjectName("settings-config-file");
  body->addWidget(configFile_);
  body->addWidget(note("使用WorkBuddy的真实配置位置；内部兼容路径不在界面显示", this));

  statusIcon_ = new NotchIcon({}, 16, SettingsColours::secondary(), this);
  statusLabel_ = settingsLabel({}, 12, QFont::DemiBold, SettingsColours::secondary(), this);
  statusLabel_->setObjectName("settings-status");
  statusDetail_ = note({}, this);
  statusDetail_->setObjectName("settings-status-detail");
  auto* statusTexts = new QWidget(this);
  auto* statusColumn = new QVBoxLayout(statusTexts);
  statusColumn->setContentsMargins(0, 0, 0, 0);
  statusColumn->setSpacing(3);
  statusColumn->addWidget(statusLabel_);
  statusColumn->addWidget(statusDetail_);
  body->addLayout(symbolRow(statusIcon_, statusTexts));

  interceptNote_ = settingsLabel("发现旧版逐命令拦截，更新接入将移除它，仅保留真实权限请求。", 11, QFont::Normal,
                                 NotchStyle::orange(), this);
  interceptNote_->setObjectName("settings-intercept-bash");
  body->addWidget(interceptNote_);

  body->addSpacing(4);
  body->addWidget(settingsLabel("仅真实审批，不拦正常命令", 13, QFont::DemiBold, NotchStyle::white(0.92), this));
  body->addWidget(
      note("仅处理 WorkBuddy 发出的 PermissionRequest，在引擎真正请求权限时等待你手动允许或拒绝。不逐条拦截 "
           "Bash，不自动允许，也不改变全局权限模式。",
           this));
  body->addLayout(
      symbolRow(new NotchIcon("exclamationmark.triangle.fill", 14, NotchStyle::orange(), this),
                settingsLabel("仅在你确认安装或移除后写入：先备份，保留其他设置。请固定本应用位置；移动后需更新"
                              "接入。操作后请保存工作并退出、重开 WorkBuddy。两款版本需分别安装。",
                              11, QFont::Normal, NotchStyle::white(0.75), this)));
  body->addWidget(
      note("这里只检查配置是否安装，不代表 WorkBuddy 已连接。是否收到 Hook，请查看主面板的实际事件状态。", this));

  install_ = button("安装接入…", "settings-install", this, true);
  auto* remove = button("移除接入…", "settings-remove", this);
  auto* open = button("打开 WorkBuddy", "settings-open-workbuddy", this);
  auto* refresh = button("刷新状态", "settings-refresh-status", this);
  connect(install_, &QAbstractButton::clicked, this, [this] { installApprovalHook(); });
  connect(remove, &QAbstractButton::clicked, this, [this] { removeApprovalHook(); });
  connect(open, &QAbstractButton::clicked, this, [this] { model_.openWorkBuddy(std::string(rawValue(profile_))); });
  connect(refresh, &QAbstractButton::clicked, this, [this] { refreshApprovalStatus(); });
  body->addLayout(buttonRow({install_, remove, open, refresh}));
  body->addWidget(
      note("原生安全、沙箱或 MCP App 弹窗未必触发 PermissionRequest，仍可能需要回到 WorkBuddy 确认。", this));
  column->addWidget(section);
}

void SettingsView::buildResult(QVBoxLayout* column) {
  resultRow_ = new SettingsSection({}, {}, this);
  resultRow_->setObjectName("settings-result-row");
  resultIcon_ = new NotchIcon({}, 16, SettingsColours::green(), resultRow_);
  resultText_ = settingsLabel({}, 12, QFont::Medium, NotchStyle::white(0.92), resultRow_);
  resultText_->setObjectName("settings-result");
  auto* reveal = new NotchPlainButton("在 Finder 显示备份", "folder", 12, resultRow_);
  reveal->setObjectName("settings-reveal-backup");
  revealBackup_ = reveal;
  connect(reveal, &QAbstractButton::clicked, this, [this] { revealBackup(); });
  auto* row = symbolRow(resultIcon_, resultText_);
  row->addWidget(reveal, 0, Qt::AlignTop);
  static_cast<SettingsSection*>(resultRow_)->body()->addLayout(row);
  column->addWidget(resultRow_);
}

void SettingsView::buildQuit(QVBoxLayout* column) {
  auto* quit = new QPushButton("退出 Vantrel Dozer", this);
  quit->setObjectName("settings-quit");
  auto* style = new SettingsQuitStyle;
  style->setParent(quit);
  quit->setStyle(style);
  quit->setFont(NotchStyle::font(12, QFont::DemiBold));
  quit->setAttribute(Qt::WA_Hover);
  quit->setCursor(Qt::PointingHandCursor);
  const auto requestQuit = [this] {
    if (model_.onQuitRequested) {
      model_.onQuitRequested();
    }
  };
  connect(quit, &QAbstractButton::clicked, this, requestQuit);
  // A shortcut of its own rather than the button's: the button's would
  // first show itself pressed for a moment. Qt::CTRL is Command on macOS.
  auto* quitKey = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q), this);
  connect(quitKey, &QShortcut::activated, this, requestQuit);
  quit->setToolTip(quitKey->key().toString(QKeySequence::NativeText));
  auto* texts = new QVBoxLayout;
  texts->setSpacing(3);
  texts->addWidget(note("仅退出刘海助手，不移除 Hook，也不自动处理任何审批；有待审请求时会先确认", this));
  texts->addWidget(note("退出不会关闭 WorkBuddy", this));
  auto* footer = new QHBoxLayout;
  footer->setContentsMargins(4, 4, 4, 0);
  footer->setSpacing(14);
  footer->addWidget(quit, 0, Qt::AlignVCenter);
  footer->addLayout(texts, 1);
  column->addLayout(footer);
}

} // namespace notch
