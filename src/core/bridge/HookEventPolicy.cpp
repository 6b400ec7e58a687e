#include "core/bridge/HookEventPolicy.h"

#include <string>

namespace notch::HookEventPolicy {
namespace {

// Lower-cases the way a full Unicode lower-casing would for every result
// that can equal an ASCII tool name: ASCII letters, and the Kelvin sign
// U+212A, whose lower-case form is the ASCII "k". Other non-ASCII text never
// lower-cases to pure ASCII, so it is kept as is and cannot match.
std::string lowerCasedForComparison(std::string_view text) {
  static constexpr std::string_view kKelvinSign = "\xE2\x84\xAA";
  std::string lowered;
  lowered.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text.substr(i, kKelvinSign.size()) == kKelvinSign) {
      lowered += 'k';
      i += kKelvinSign.size() - 1;
      continue;
    }
    const char c = text[i];
    lowered += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  }
  return lowered;
}

} // namespace

bool acceptsApproval(std::string_view eventName, std::string_view toolName) {
  if (eventName != "PermissionRequest") {
    return false;
  }
  static constexpr std::string_view kQuestionAndPlanExitTools[] = {
      "askuserquestion", "ask_user_question", "askuserforstructuredinput", "ask_user_for_structured_input",
      "exitplanmode",    "exit_plan_mode",
  };
  const std::string lowered = lowerCasedForComparison(toolName);
  for (std::string_view excluded : kQuestionAndPlanExitTools) {
    if (lowered == excluded) {
      return false;
    }
  }
  return true;
}

} // namespace notch::HookEventPolicy
