#include <gtest/gtest.h>

#include "core/text/HiddenCharacters.h"

namespace notch {
namespace {

TEST(HiddenCharactersTest, EachRuleSetHidesExactlyItsCharacters) {
  constexpr HiddenCharacterRule kRules[] = {HiddenCharacterRules::approvalCard, HiddenCharacterRules::questionLines,
                                            HiddenCharacterRules::questionLine, HiddenCharacterRules::singleLineLabel,
                                            HiddenCharacterRules::multiLineLabel};
  // Per text, whether each rule set above hides it ('1') or not ('0').
  // clang-format off
  const std::pair<std::string, std::string> rows[] = {{"中文 text", "00000"}, {"a\tb", "01110"}, {"a\nb\r", "00110"},
      {"a\u2028b", "01100"}, {"a\u2029b", "01100"}, {"a\u200Db", "11110"}, {"a\u200Cb", "11110"}, {"a\u200Bb", "11111"},
      {"a\u202Eb", "11111"}, {"a\x01", "11111"}, {"a\u0085", "11111"}, {"a\xC3", "11111"}};
  // clang-format on
  for (const auto& [text, hidden] : rows) {
    for (std::size_t rule = 0; rule < 5; ++rule) {
      EXPECT_EQ(hasHiddenCharacters(text, kRules[rule]), hidden[rule] == '1') << "rule " << rule << ": " << text;
    }
  }
}

} // namespace
} // namespace notch
