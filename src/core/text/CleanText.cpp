#include "core/text/CleanText.h"

#include "core/text/HiddenCharacters.h"
#include "support/Unicode.h"

namespace notch {
bool isCleanText(std::string_view text, std::size_t byteLimit, bool allowLineBreaksAndJoiners) {
  return text.size() <= byteLimit && !trimWhitespaceAndNewlines(text).empty() &&
         !hasHiddenCharacters(text, allowLineBreaksAndJoiners ? HiddenCharacterRules::multiLineLabel
                                                              : HiddenCharacterRules::singleLineLabel);
}

} // namespace notch
