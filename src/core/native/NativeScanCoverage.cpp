#include "core/native/NativeScanCoverage.h"

namespace notch {
namespace {

constexpr int kMostWindows = 12;

bool inRange(int windows) { return windows >= 1 && windows <= kMostWindows; }

} // namespace

bool NativeScanCoverage::approvalComplete() const {
  return scannedRootCount == primaryWindowCount && inRange(primaryWindowCount) && treeComplete &&
         !agreedQuestionFallback;
}

bool NativeScanCoverage::questionPositiveComplete() const {
  const bool everyWindow =
      !agreedQuestionFallback && inRange(primaryWindowCount) && scannedRootCount == primaryWindowCount;
  const bool agreedFallback = primaryWindowCount == 0 && scannedRootCount == 1 && agreedQuestionFallback;
  return treeComplete && questionTreeComplete && (everyWindow || agreedFallback);
}

bool NativeScanCoverage::questionAbsenceComplete() const {
  return !agreedQuestionFallback && treeComplete && inRange(primaryWindowCount) &&
         scannedRootCount == primaryWindowCount && questionTreeComplete;
}

bool NativeScanCoverage::acceptsQuestionFallback(int primaryWindowCount, std::int32_t targetPID, std::int32_t mainPID,
                                                 std::int32_t focusedPID, bool mainIsWindow, bool focusedIsWindow,
                                                 bool sameIdentity, bool withinBudget) {
  return primaryWindowCount == 0 && targetPID >= 1 && mainPID == targetPID && focusedPID == targetPID && mainIsWindow &&
         focusedIsWindow && sameIdentity && withinBudget;
}

} // namespace notch
