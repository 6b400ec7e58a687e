#include "ui/QuestionCard.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "app/AppModel.h"
#include "ui/NotchActionButton.h"
#include "ui/NotchStyle.h"

namespace notch {

QuestionCard::QuestionCard(AppModel& model, QWidget* parent)
    : QWidget(parent), model_(model), page_(NotchStyle::label(this, 11, QFont::Medium, 0.5, "question-page")),
      title_(NotchStyle::label(this, 15, QFont::DemiBold, 1.0, "question-title", true)),
      failed_(NotchStyle::label(this, 12, QFont::Medium, 1.0, "question-activation-failed", true)),
      answer_(new NotchActionButton("去回答", "arrow.up.forward", true, false, this)) {
  setObjectName("question-reminder");
  auto* heading = NotchStyle::label(this, 11, QFont::DemiBold, 0.55, nullptr);
  heading->setText("WorkBuddy 等你回答");
  page_->setFont(NotchStyle::codeFont(11));
  auto* note = NotchStyle::label(this, 12, QFont::Normal, 0.6, "question-note", true);
  note->setText("仅提醒，请回 WorkBuddy 选择或填写。\n这里不会代选、填写、跳过或提交。");
  NotchStyle::setTextColor(failed_, NotchStyle::orange());
  failed_->setText("无法切换，请手动返回 WorkBuddy");
  answer_->setObjectName("question-go-answer");
  answer_->setToolTip("仅切回 WorkBuddy，不回答、翻页或提交");
  connect(answer_, &QAbstractButton::clicked, this, [this] {
    if (const auto& token = model_.state().questionState.token()) {
      model_.activateQuestion(*token);
    }
  });

  auto* headingRow = new QHBoxLayout;
  headingRow->addWidget(heading);
  headingRow->addStretch(1);
  headingRow->addWidget(page_);
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(10);
  column->addLayout(headingRow);
  column->addWidget(title_);
  column->addWidget(note);
  column->addWidget(failed_);
  column->addSpacing(2);
  column->addWidget(answer_);
}

void QuestionCard::refresh() {
  const AppState& state = model_.state();
  if (const auto& reminder = state.questionState.visibleReminder()) {
    page_->setText(QString::number(reminder->currentPage) + "/" + QString::number(reminder->totalPages));
    title_->setText(QString::fromStdString(reminder->title));
  }
  failed_->setVisible(state.questionState.handoffStatus() == QuestionReminderState::HandoffStatus::activationFailed);
  answer_->setEnabled(state.questionActionReady);
}

} // namespace notch
