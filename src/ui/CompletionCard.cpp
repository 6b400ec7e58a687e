#include "ui/CompletionCard.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "app/AppModel.h"
#include "ui/NotchActionButton.h"
#include "ui/NotchStyle.h"

namespace notch {

CompletionCard::CompletionCard(AppModel& model, QWidget* parent)
    : QWidget(parent), model_(model),
      failed_(NotchStyle::label(this, 12, QFont::Medium, 1.0, "completion-activation-failed", true)),
      open_(new NotchActionButton("打开 WorkBuddy", "arrow.up.forward", true, false, this)) {
  setObjectName("completion-reminder");
  auto* title = NotchStyle::label(this, 15, QFont::DemiBold, 1.0, "completion-title");
  title->setText("WorkBuddy 本轮已结束");
  auto* note = NotchStyle::label(this, 12, QFont::Normal, 0.6, "completion-note", true);
  note->setText("请返回原应用查看结果。\n生成、上传等后台任务的状态，以原应用为准。");
  NotchStyle::setTextColor(failed_, NotchStyle::orange());
  failed_->setText("无法切换，请手动打开 WorkBuddy");
  auto* dismiss = new NotchActionButton("知道了", {}, false, false, this);
  dismiss->setObjectName("completion-dismiss");
  open_->setObjectName("completion-open");
  open_->setToolTip("仅切回原应用，不选择会话，不操作任务或审批");

  const auto token = [this] {
    const auto& current = model_.state().completionState.current();
    return current ? std::optional(current->token) : std::nullopt;
  };
  connect(dismiss, &QAbstractButton::clicked, this, [this, token] {
    if (const auto shown = token()) {
      model_.dismissCompletion(*shown);
    }
  });
  connect(open_, &QAbstractButton::clicked, this, [this, token] {
    if (const auto shown = token()) {
      model_.activateCompletion(*shown);
    }
  });

  auto* buttons = new QHBoxLayout;
  buttons->setSpacing(10);
  buttons->addWidget(dismiss, 1);
  buttons->addWidget(open_, 1);
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(10);
  column->addWidget(title);
  column->addWidget(note);
  column->addWidget(failed_);
  column->addSpacing(2);
  column->addLayout(buttons);
}

void CompletionCard::refresh() {
  const AppState& state = model_.state();
  failed_->setVisible(state.completionActivationFailed);
  open_->setEnabled(state.completionActionReady && !state.completionActivationFailed);
}

} // namespace notch
