#include "ui/IdleCard.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QStringList>
#include <QVBoxLayout>

#include "app/AppModel.h"
#include "app/PreferenceKeys.h"
#include "platform/Preferences.h"
#include "ui/NotchActionButton.h"
#include "ui/NotchPlainButton.h"
#include "ui/NotchStyle.h"

namespace notch {

IdleCard::IdleCard(AppModel& model, Preferences& preferences, QWidget* parent)
    : QWidget(parent), model_(model), preferences_(preferences),
      title_(NotchStyle::label(this, 15, QFont::DemiBold, 1.0, "idle-title")),
      text_(NotchStyle::label(this, 12, QFont::Normal, 0.6, "idle-text", true)),
      status_(NotchStyle::label(this, 11, QFont::Normal, 0.45, "idle-status", true)),
      actionButton_(new NotchActionButton({}, {}, true, true, this)) {
  setObjectName("idle");
  actionButton_->setObjectName("idle-action");
  auto* demo = new NotchPlainButton("体验一下 →", {}, 0, this);
  demo->setObjectName("idle-demo");
  connect(actionButton_, &QAbstractButton::clicked, this, &IdleCard::act);
  connect(demo, &QAbstractButton::clicked, this, [this] { model_.showDemo(false); });

  auto* buttons = new QHBoxLayout;
  buttons->setSpacing(14);
  buttons->addWidget(actionButton_);
  buttons->addWidget(demo);
  buttons->addStretch(1);
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(8);
  column->addWidget(title_);
  column->addWidget(text_);
  column->addWidget(status_);
  column->addSpacing(4);
  column->addLayout(buttons);
}

void IdleCard::refresh() {
  const AppState& state = model_.state();
  const bool hooked = !state.configuredProfiles.empty() || state.completionHookInstalled;
  title_->setText(!state.serviceReady ? "桥接暂不可用" : hooked ? "已就绪，等待新事件" : "还差一步，接入 WorkBuddy");
  text_->setText(!state.serviceReady ? QString::fromStdString(state.message)
                 : hooked            ? "收到支持的事件时提醒，平时保持安静。"
                          : "安装审批 Hook 后重启 WorkBuddy，\n支持的工具请求就会出现在这里。");

  const bool native = preferences_.boolValue(PreferenceKeys::nativeApprovals);
  const bool questions = preferences_.boolValue(PreferenceKeys::questionReminders);
  QStringList lines;
  if (!state.configuredProfiles.empty()) {
    QStringList names;
    for (const std::string& name : state.configuredProfiles) {
      names << QString::fromStdString(name);
    }
    lines << names.join("、") + " · Hook 已安装" + (state.lastHookAt ? "，本次运行已收到请求" : "");
  }
  if (preferences_.boolValue(PreferenceKeys::completionReminders)) {
    lines << "结束提醒 · " + QString::fromStdString(state.completionStatus);
  }
  if (native || questions) {
    lines << "原生检测（删除/提问）· " + QString::fromStdString(state.nativeStatus);
  }
  status_->setText(lines.join('\n'));
  status_->setVisible(!lines.isEmpty());

  action_ = (native || questions) && !state.nativeAccessGranted ? Action::grantAccess
            : hooked                                            ? Action::openWorkBuddy
                                                                : Action::connect;
  const QString label = action_ == Action::grantAccess     ? "开启辅助功能"
                        : action_ == Action::openWorkBuddy ? "打开 WorkBuddy ↗"
                                                           : "接入 WorkBuddy";
  if (actionButton_->text() != label) {
    actionButton_->setText(label);
    actionButton_->setAccessibleName(label);
    actionButton_->updateGeometry();
  }
}

void IdleCard::act() {
  switch (action_) {
  case Action::grantAccess:
    model_.openAccessibilitySettings(preferences_.boolValue(PreferenceKeys::nativeApprovals));
    break;
  case Action::openWorkBuddy:
    model_.openWorkBuddy();
    break;
  case Action::connect:
    if (model_.showSettings) {
      model_.showSettings();
    }
    break;
  }
}

} // namespace notch
