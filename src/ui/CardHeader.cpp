#include "ui/CardHeader.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "app/AppModel.h"
#include "ui/NotchIconButton.h"
#include "ui/NotchIcons.h"
#include "ui/NotchStyle.h"

namespace notch {
namespace {

constexpr int avatarSize = 24;

QString subtitle(const AppModel& model) {
  const AppState& state = model.state();
  if (state.isDemo) {
    return "交互演示 · 不执行命令";
  }
  if (state.interaction.feedback()) {
    return "本次处理结果";
  }
  if (!state.interaction.requests().empty()) {
    return "有操作需要你确认";
  }
  if (model.questionShown()) {
    return "有问题等你回答 · 仅提醒";
  }
  if (model.completionVisible()) {
    return "本轮已结束 · 请核对结果";
  }
  return "刘海提醒 · 随时待命";
}

void setTextIfChanged(QLabel* label, const QString& text) {
  if (label->text() != text) {
    label->setText(text);
  }
}

} // namespace

QString notchTitle(const AppModel& model) {
  if (const auto waiting = model.state().interaction.requests().size()) {
    return QString::number(waiting) + " 条待确认";
  }
  if (model.questionShown()) {
    return "WorkBuddy · 待回答";
  }
  if (model.completionVisible()) {
    return "WorkBuddy · 本轮结束";
  }
  return "Vantrel Dozer";
}

CardHeader::CardHeader(AppModel& model, QWidget* parent)
    : QWidget(parent), model_(model), avatar_(new QLabel(this)),
      fallbackAvatar_(new NotchIcon("checkmark.shield.fill", avatarSize, NotchStyle::mint(), this)),
      title_(NotchStyle::label(this, 14, QFont::DemiBold, 1.0, "header-title")),
      subtitle_(NotchStyle::label(this, 11, QFont::Normal, 0.5, "header-subtitle")),
      settings_(new NotchIconButton("slider.horizontal.3", this)), endDemo_(new NotchIconButton("xmark", this)),
      collapse_(new NotchIconButton("chevron.up", this)) {
  const QPixmap brand = brandAvatarPixmap(avatarSize, devicePixelRatioF());
  avatar_->setFixedSize(avatarSize, avatarSize);
  avatar_->setPixmap(brand);
  avatar_->setVisible(!brand.isNull());
  fallbackAvatar_->setVisible(brand.isNull());

  settings_->setObjectName("header-settings");
  settings_->setHelp("接入与交互设置", "接入与交互设置");
  endDemo_->setObjectName("header-end-demo");
  endDemo_->setHelp("结束演示", "结束演示");
  collapse_->setObjectName("header-collapse");

  auto* texts = new QVBoxLayout;
  texts->setContentsMargins(0, 0, 0, 0);
  texts->setSpacing(1);
  texts->addWidget(title_);
  texts->addWidget(subtitle_);
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(6);
  row->addWidget(avatar_, 0, Qt::AlignVCenter);
  row->addWidget(fallbackAvatar_, 0, Qt::AlignVCenter);
  row->addSpacing(4);
  row->addLayout(texts, 1);
  row->addWidget(settings_, 0, Qt::AlignVCenter);
  row->addWidget(endDemo_, 0, Qt::AlignVCenter);
  row->addWidget(collapse_, 0, Qt::AlignVCenter);

  connect(settings_, &QAbstractButton::clicked, this, [this] {
    if (model_.showSettings) {
      model_.showSettings();
    }
  });
  connect(endDemo_, &QAbstractButton::clicked, this, [this] { model_.returnDemo(); });
  connect(collapse_, &QAbstractButton::clicked, this, [this] { model_.collapse(); });
}

void CardHeader::refresh() {
  const bool question = model_.questionShown();
  setTextIfChanged(title_, notchTitle(model_));
  setTextIfChanged(subtitle_, subtitle(model_));
  fallbackAvatar_->setName(question ? "questionmark.bubble.fill" : "checkmark.shield.fill");
  settings_->setVisible(!model_.state().isDemo);
  endDemo_->setVisible(model_.state().isDemo);
  collapse_->setHelp(question ? "暂时收起（Esc），不回答或跳过问题" : "暂时收起（Esc），不改变审批决定",
                     question ? "暂时收起，不回答或跳过问题" : "暂时收起，不改变审批决定");
}

} // namespace notch
