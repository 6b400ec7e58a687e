#pragma once

// When a scan may be trusted: for offering a native approval, for a
// positive question finding, and for concluding that no question is shown.
// A fallback scan (one window taken from the main and focused window
// because the window list was empty) may support a positive question
// finding, but never an approval and never an absence.

#include <cstdint>

namespace notch {

struct NativeScanCoverage {
  int primaryWindowCount = -1;
  int scannedRootCount = 0;
  bool treeComplete = false;
  bool questionTreeComplete = false;
  bool agreedQuestionFallback = false;

  bool approvalComplete() const;
  bool questionPositiveComplete() const;
  bool questionAbsenceComplete() const;

  static bool acceptsQuestionFallback(int primaryWindowCount, std::int32_t targetPID, std::int32_t mainPID,
                                      std::int32_t focusedPID, bool mainIsWindow, bool focusedIsWindow,
                                      bool sameIdentity, bool withinBudget);
};

} // namespace notch
