#include "core/notch/CleanText.h"

#include "support/Unicode.h"

namespace notch {
namespace {

bool isAllowedHiddenCharacter(char32_t codePoint) {
  return codePoint == U'\t' || codePoint == U'\n' || codePoint == U'\r' || codePoint == U'\u200C' ||
         codePoint == U'\u200D';
}

} // namespace

bool isCleanText(std::string_view text, std::size_t byteLimit, bool allowLineBreaksAndJoiners) {
  if (text.size() > byteLimit || !isValidUtf8(text) || trimWhitespaceAndNewlines(text).empty()) {
    return false;
  }
  std::size_t offset = 0;
  while (const auto codePoint = nextCodePoint(text, offset)) {
    if ((isControl(*codePoint) || isFormat(*codePoint)) &&
        !(allowLineBreaksAndJoiners && isAllowedHiddenCharacter(*codePoint))) {
      return false;
    }
  }
  return true;
}

} // namespace notch
