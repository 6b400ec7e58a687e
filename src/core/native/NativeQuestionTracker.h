#pragma once

// Turns the question card a scan recognised into an observation for the
// question reminder: the card's live elements (window, group, anchor) bind
// it, and the question flow keeps one identifier while WorkBuddy pages
// through the same card. Absences and unavailable scans end or keep the flow
// as QuestionFlowIdentity rules.
//
// Owned by the native monitor and used on its queue.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/native/AXRead.h"
#include "core/native/NativeApprovalNode.h"
#include "core/notch/QuestionFlowIdentity.h"
#include "core/notch/QuestionReminderState.h"
#include "platform/Accessibility.h"

namespace notch {

class NativeQuestionTracker {
public:
  explicit NativeQuestionTracker(const Accessibility& accessibility) : accessibility_(accessibility) {}

  // The observation of one complete-enough scan of process `pid`.
  QuestionReminderState::Observation observe(const AXRead& reader, const std::vector<NativeApprovalNode>& roots,
                                             std::int32_t pid);

  void observeAbsence() { flow_.observeAbsence(); }
  void observeUnavailable() { flow_.observeUnavailable(); }
  void reset();

private:
  struct Binding {
    std::int32_t pid = 0;
    AXElementRef window;
    AXElementRef container;
    AXElementRef anchor;
    std::string token;
  };

  const Accessibility& accessibility_;
  QuestionFlowIdentity flow_;
  std::optional<Binding> binding_;
};

} // namespace notch
