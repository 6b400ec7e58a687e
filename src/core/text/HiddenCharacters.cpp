#include "core/text/HiddenCharacters.h"

#include "support/Unicode.h"

namespace notch {

bool hasHiddenCharacters(std::string_view text, const HiddenCharacterRule& rule) {
  if (!isValidUtf8(text)) {
    return true;
  }
  std::size_t offset = 0;
  while (const auto codePoint = nextCodePoint(text, offset)) {
    const bool hides = isControl(*codePoint) || isFormat(*codePoint) ||
                       (rule.separatorsHide && isLineOrParagraphSeparator(*codePoint));
    if (hides && rule.allowed.find(*codePoint) == std::u32string_view::npos) {
      return true;
    }
  }
  return false;
}

} // namespace notch
