#include "core/native/NativeQuestionTracker.h"

#include "core/native/NativeQuestionClassifier.h"
#include "support/Uuid.h"

namespace notch {

QuestionReminderState::Observation
NativeQuestionTracker::observe(const AXRead& reader, const std::vector<NativeApprovalNode>& roots, std::int32_t pid) {
  using Unavailable = QuestionReminderState::Unavailable;
  const NativeScanCoverage coverage = reader.coverage();
  if (!reader.complete() || !reader.questionTreeComplete() || !coverage.questionPositiveComplete()) {
    return Unavailable{};
  }
  const auto match = NativeQuestionClassifier::uniqueMatch(roots);
  if (!match) {
    if (coverage.questionAbsenceComplete() && !NativeQuestionClassifier::hasRecognizableQuestion(roots)) {
      return QuestionReminderState::Absent{};
    }
    return Unavailable{};
  }
  const AXElementRef* window = reader.element(match->windowID);
  const AXElementRef* container = reader.element(match->containerID);
  const AXElementRef* anchor = reader.element(match->anchorID);
  if (window == nullptr || container == nullptr || anchor == nullptr) {
    return Unavailable{};
  }
  const bool sameBinding = binding_ && binding_->pid == pid && accessibility_.sameElement(binding_->window, *window) &&
                           accessibility_.sameElement(binding_->container, *container) &&
                           accessibility_.sameElement(binding_->anchor, *anchor);
  if (!sameBinding) {
    binding_ = Binding{pid, *window, *container, *anchor, Uuid::random().string()};
  }
  const auto flowID = flow_.identify(binding_->token, pid, match->title, match->currentPage, match->totalPages);
  if (!flowID) {
    return Unavailable{};
  }
  return QuestionReminderState::Waiting{
      QuestionReminder{*flowID, pid, match->title, match->currentPage, match->totalPages}};
}

void NativeQuestionTracker::reset() {
  flow_.reset();
  binding_.reset();
}

} // namespace notch
