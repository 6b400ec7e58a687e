#pragma once

// Recognises WorkBuddy's question card exactly or not at all: the question,
// a page indicator between "上一题" and "下一题", a "全部跳过" button and
// numbered option rows, with text, order, enabled states and geometry all
// fitting. The notch only reminds the user of the question and hands them
// back to WorkBuddy; nothing here answers anything.
//
// Pure functions over NativeApprovalNode values.

#include <optional>
#include <string>
#include <vector>

#include "core/native/NativeApprovalNode.h"

namespace notch {

struct NativeQuestionMatch {
  std::string windowID;
  std::string containerID;
  std::string anchorID; // the "全部跳过" button
  std::vector<std::string> contextNodeIDs;
  std::string title;
  int currentPage = 0;
  int totalPages = 0;

  friend bool operator==(const NativeQuestionMatch&, const NativeQuestionMatch&) = default;
};

namespace NativeQuestionClassifier {

std::optional<NativeQuestionMatch> uniqueMatch(const std::vector<NativeApprovalNode>& roots);

// Whether any button's text is exactly one of the navigation labels; a scan
// with such a button but no match is unavailable rather than absent.
bool hasRecognizableQuestion(const std::vector<NativeApprovalNode>& roots);

} // namespace NativeQuestionClassifier

namespace QuestionObservationFreshness {

// Whether a waiting observation captured at `capturedAt` may still be acted
// on at `now` (uptime seconds): no older than 1.5 s, not from before the
// last change of WorkBuddy's state, and only while the subscription is
// current, the feature enabled and WorkBuddy in the background.
bool acceptsWaiting(double capturedAt, double now, double environmentChangedAt, bool subscriptionCurrent, bool enabled,
                    bool background);

} // namespace QuestionObservationFreshness
} // namespace notch
