#pragma once

// One look at WorkBuddy, returned as a value: which instances run, and for
// the only one in the background a read of its windows within the scan
// budget, both classifiers, the deletion card that the notch could offer
// and the question observation, with the status line that describes it all.
// The scanner reads and decides; offering, retiring and pressing are the
// monitor's.
//
// Used on the native monitor's queue.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/bridge/ApprovalRequest.h"
#include "core/native/AXRead.h"
#include "core/native/NativeApprovalClassifier.h"
#include "core/native/NativeQuestionTracker.h"
#include "core/native/WorkBuddyInstances.h"
#include "core/notch/QuestionReminderState.h"
#include "platform/Accessibility.h"
#include "support/Clock.h"

namespace notch {

// A recognised deletion card with its live elements, as the notch would be
// offered it.
struct NativeCandidate {
  ApprovalRequest request;
  std::string fingerprint;
  std::int32_t pid = 0;
  AXElementRef window;
  AXElementRef container;
  AXElementRef allow;
  AXElementRef deny;
  std::vector<AXElementRef> contextElements;
  NativeApprovalLayout layout = NativeApprovalLayout::grouped;
  NativeApprovalContext context;
};

// Whether `fresh` shows exactly the card `offered` was: same fingerprint,
// process, elements, layout and context.
bool isSameCard(const Accessibility& accessibility, const NativeCandidate& offered, const NativeCandidate& fresh);

struct NativeScan {
  std::optional<NativeCandidate> candidate;
  QuestionReminderState::Observation question = QuestionReminderState::Unavailable{};
  double startedAt = 0;      // uptime
  bool complete = true;      // nothing the approval side needed was missed
  bool recognizable = false; // a labelled approval button was seen
  bool isForeground = false;
  std::string status;
};

class NativeScanner {
public:
  NativeScanner(const Accessibility& accessibility, const WorkBuddyInstances& instances, const Clock& clock,
                AXReadLimits limits)
      : accessibility_(accessibility), instances_(instances), clock_(clock), limits_(limits) {}

  // With `questions`, the question card is looked for and observed through
  // it; with approvals disabled, only the question side is judged.
  NativeScan scan(bool approvalsEnabled, NativeQuestionTracker* questions) const;

private:
  void readWindows(NativeScan& scan, std::int32_t pid, bool approvalsEnabled, NativeQuestionTracker* questions) const;
  std::optional<NativeCandidate> candidateFor(NativeScan& scan, const AXRead& reader, const NativeApprovalMatch& match,
                                              std::int32_t pid) const;
  const std::string& unmatchedStatus(bool recognizable) const;

  const Accessibility& accessibility_;
  const WorkBuddyInstances& instances_;
  const Clock& clock_;
  const AXReadLimits limits_;
};

} // namespace notch
