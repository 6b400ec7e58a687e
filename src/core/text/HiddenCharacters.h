#pragma once

// Which characters of a text read from another application can hide or
// reorder what the user sees. Control and format characters always can;
// line and paragraph separators can where a text is judged line by line.
// Each reader of outside text names its rule set here, so the differences
// between them stay visible in one place.

#include <string_view>

namespace notch {

struct HiddenCharacterRule {
  // Control or format characters that are shown as what they are.
  std::u32string_view allowed;
  // Whether U+2028 and U+2029 count as hidden.
  bool separatorsHide = false;
};

namespace HiddenCharacterRules {

// The deletion card's texts: tabs and line breaks belong to commands.
inline constexpr HiddenCharacterRule approvalCard{U"\t\n\r", false};
// A question card's multi-line texts (title, option row), judged by lines.
inline constexpr HiddenCharacterRule questionLines{U"\n\r", true};
// A question card's single-line texts (option labels).
inline constexpr HiddenCharacterRule questionLine{U"", true};
// Labels kept for the notch: a single line.
inline constexpr HiddenCharacterRule singleLineLabel{U"", false};
// Labels kept for the notch over several lines, with the zero-width
// (non-)joiners that emoji and some scripts need.
inline constexpr HiddenCharacterRule multiLineLabel{U"\t\n\r\u200C\u200D", false};

} // namespace HiddenCharacterRules

// True when `text` holds a character that `rule` counts as hidden, or is not
// valid UTF-8 at all.
bool hasHiddenCharacters(std::string_view text, const HiddenCharacterRule& rule);

} // namespace notch
