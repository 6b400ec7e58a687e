#include "core/notch/QuestionFlowIdentity.h"

#include "core/text/CleanText.h"
#include "support/Uuid.h"

namespace notch {
namespace {

constexpr int kMostPages = 100;
constexpr std::size_t kBindingByteLimit = 1'024;
constexpr std::size_t kTitleByteLimit = 8'192;

} // namespace

std::optional<std::string> QuestionFlowIdentity::identify(const std::string& binding, std::int32_t pid,
                                                          const std::string& title, int currentPage, int totalPages) {
  absenceCount_ = 0;
  if (pid < 1 || totalPages < 1 || totalPages > kMostPages || currentPage < 1 || currentPage > totalPages ||
      !isCleanText(binding, kBindingByteLimit, false) || !isCleanText(title, kTitleByteLimit, true)) {
    return std::nullopt;
  }
  if (epoch_ && epoch_->binding == binding && epoch_->pid == pid && epoch_->totalPages == totalPages) {
    const auto seen = epoch_->titles.find(currentPage);
    if (seen == epoch_->titles.end() || seen->second == title) {
      epoch_->titles[currentPage] = title;
      return epoch_->flowID; // paging back and forth keeps the flow
    }
  }
  epoch_ = Epoch{Uuid::random().string(), binding, pid, totalPages, {{currentPage, title}}};
  return epoch_->flowID;
}

void QuestionFlowIdentity::observeAbsence() {
  if (++absenceCount_ >= 2) {
    reset();
  }
}

void QuestionFlowIdentity::reset() {
  epoch_.reset();
  absenceCount_ = 0;
}

} // namespace notch
