#pragma once

// The made-up states the preview images show: a request, the idle card, a
// native deletion card, the full-parameter view, a receipt, the compact
// badge, a question reminder and a turn-end reminder. Synthetic through and
// through: no request, card, task or application behind any of them.

#include <cstdint>

#include "app/AppState.h"

namespace notch {

enum class PreviewScene { request, idle, native, details, receipt, compact, question, completion };

struct QuestionPreviewOptions {
  bool longText = false; // a long question title
  bool failure = false;  // the hand-off to WorkBuddy failed
};

inline constexpr std::int32_t kPreviewPid = 4242; // the made-up WorkBuddy's

// `now` is the wall clock; the notch is laid out 480 points wide.
AppState previewState(PreviewScene scene, double now, QuestionPreviewOptions question = {});

// A turn of the made-up WorkBuddy that ended a few seconds before `now`,
// in the background or in front.
CompletionReminderState finishedTurn(double now, bool background);

} // namespace notch
