#include "core/notch/QuestionReminderState.h"

#include <algorithm>

#include "support/Unicode.h"

namespace notch {
namespace {

bool isValid(const QuestionReminder& reminder) {
  return !trimWhitespaceAndNewlines(reminder.flowID).empty() && !trimWhitespaceAndNewlines(reminder.title).empty() &&
         reminder.pid >= 1 && reminder.currentPage >= 1 && reminder.totalPages >= reminder.currentPage;
}

} // namespace

void QuestionReminderState::observe(const Observation& observation) {
  if (const auto* waiting = std::get_if<Waiting>(&observation)) {
    if (isValid(waiting->reminder)) {
      observeWaiting(waiting->reminder);
    } else {
      observeUnavailable();
    }
  } else if (std::holds_alternative<Absent>(observation)) {
    observeAbsent();
  } else {
    observeUnavailable();
  }
}

void QuestionReminderState::observeAbsent() {
  visibleReminder_.reset();
  previousWaiting_.reset();
  waitingCount_ = 0;
  if (++absenceCount_ >= 2) {
    *this = QuestionReminderState(); // the flow is over
  }
}

void QuestionReminderState::observeUnavailable() {
  visibleReminder_.reset();
  previousWaiting_.reset();
  waitingCount_ = 0;
  absenceCount_ = 0;
}

void QuestionReminderState::observeWaiting(const QuestionReminder& reminder) {
  const Identity identity{reminder.flowID, reminder.pid};
  if (identity_ != identity) {
    visibleReminder_.reset();
    previousWaiting_.reset();
    hasBeenPresented_ = false;
    handoffStatus_ = HandoffStatus::idle;
    waitingCount_ = 0;
    identity_ = identity;
    token_ = PresentationToken{Uuid::random()};
  }
  absenceCount_ = 0;
  waitingCount_ = previousWaiting_ == reminder ? std::min(waitingCount_ + 1, 2) : 1;
  previousWaiting_ = reminder;
  if (waitingCount_ == 2 && handoffStatus_ != HandoffStatus::activated) {
    visibleReminder_ = reminder;
  } else {
    visibleReminder_.reset();
  }
}

std::optional<QuestionReminderState::PresentationToken> QuestionReminderState::claimAutoExpansion(bool canPresent) {
  if (!canPresent || !visibleReminder_ || hasBeenPresented_ || !token_) {
    return std::nullopt;
  }
  hasBeenPresented_ = true;
  return token_;
}

void QuestionReminderState::collapse() {
  if (visibleReminder_) {
    hasBeenPresented_ = true;
  }
}

std::optional<QuestionReminderState::Handoff> QuestionReminderState::beginHandoff(const PresentationToken& token,
                                                                                  bool canPresent) {
  if (!canPresent || token_ != token || !visibleReminder_ || handoffStatus_ != HandoffStatus::idle) {
    return std::nullopt;
  }
  hasBeenPresented_ = true;
  handoffStatus_ = HandoffStatus::inFlight;
  return Handoff{token, *visibleReminder_};
}

bool QuestionReminderState::completeHandoff(const PresentationToken& token, bool activated) {
  if (token_ != token || handoffStatus_ != HandoffStatus::inFlight) {
    return false;
  }
  if (activated) {
    handoffStatus_ = HandoffStatus::activated;
    visibleReminder_.reset();
  } else {
    handoffStatus_ = HandoffStatus::activationFailed;
  }
  return true;
}

} // namespace notch
