#include <gtest/gtest.h>

#include <array>

#include "core/text/HiddenCharacters.h"

namespace notch {
namespace {

// One row per character class; one column per rule set, in the order
// approvalCard, questionLines, questionLine, singleLineLabel, multiLineLabel.
TEST(HiddenCharactersTest, EachRuleSetHidesExactlyItsCharacters) {
  constexpr std::array<HiddenCharacterRule, 5> kRules = {
      HiddenCharacterRules::approvalCard, HiddenCharacterRules::questionLines, HiddenCharacterRules::questionLine,
      HiddenCharacterRules::singleLineLabel, HiddenCharacterRules::multiLineLabel};
  const std::vector<std::pair<std::string, std::array<bool, 5>>> rows = {
      {"中文 text", {false, false, false, false, false}},
      {"a\tb", {false, true, true, true, false}},
      {"a\nb\r", {false, false, true, true, false}},
      {"a\u2028b", {false, true, true, false, false}},
      {"a\u2029b", {false, true, true, false, false}},
      {"a\u200Db", {true, true, true, true, false}},
      {"a\u200Cb", {true, true, true, true, false}},
      {"a\u200Bb", {true, true, true, true, true}},
      {"a\u202Eb", {true, true, true, true, true}},
      {"a\x01", {true, true, true, true, true}},
      {"a\u0085", {true, true, true, true, true}},
      {"a\xC3", {true, true, true, true, true}},
  };
  for (const auto& [text, hidden] : rows) {
    for (std::size_t rule = 0; rule < kRules.size(); ++rule) {
      EXPECT_EQ(hasHiddenCharacters(text, kRules[rule]), hidden[rule]) << "rule " << rule << ": " << text;
    }
  }
}

} // namespace
} // namespace notch
