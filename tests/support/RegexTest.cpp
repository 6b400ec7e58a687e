#include <gtest/gtest.h>

#include <stdexcept>

#include "support/Regex.h"

namespace notch {
namespace {

TEST(RegexTest, MatchesUnicodeAwareAndCaseless) {
  const Regex word(R"(^\w+$)");
  EXPECT_TRUE(word.search("删除文件"));
  EXPECT_TRUE(word.search("Ünïcödé"));
  EXPECT_FALSE(word.search("a b"));

  const Regex caseless("workbuddy", RegexOptions{.caseless = true});
  EXPECT_TRUE(caseless.search("Open WORKBUDDY now"));
  EXPECT_FALSE(Regex("workbuddy").search("WORKBUDDY"));
}

TEST(RegexTest, FirstMatchReportsGroupsAndOffsets) {
  const Regex pattern(R"((\d+)-(x)?(\p{Han}+))");
  const auto match = pattern.firstMatch("id 42-删除 and 7-x改");
  ASSERT_TRUE(match);
  ASSERT_EQ(match->groups.size(), 4u);
  EXPECT_EQ(match->groups[0], "42-删除");
  EXPECT_EQ(match->groups[1], "42");
  EXPECT_FALSE(match->groups[2].has_value());
  EXPECT_EQ(match->groups[3], "删除");
  EXPECT_EQ(match->groupOffsets[0], 3u);
  EXPECT_EQ(match->groupOffsets[2], std::string::npos);
  EXPECT_FALSE(pattern.firstMatch("nothing").has_value());
}

TEST(RegexTest, ReplaceAllHandlesGroupsGrowthAndEmptyInput) {
  const Regex pattern(R"((a+))");
  EXPECT_EQ(pattern.replaceAll("xaay a", "[$1$$]"), "x[aa$]y [a$]");
  // A result much longer than the subject needs the second pass.
  EXPECT_EQ(Regex("x").replaceAll("xxxx", std::string(100, 'y')), std::string(400, 'y'));
  EXPECT_EQ(pattern.replaceAll("", "b"), "");
  EXPECT_EQ(pattern.replaceAll("nothing", "b"), "nothing");
}

TEST(RegexTest, InvalidSubjectsNeverMatch) {
  const Regex any(".*");
  const std::string invalid = "a\xC3(";
  EXPECT_FALSE(any.search(invalid));
  EXPECT_FALSE(any.firstMatch(invalid).has_value());
  EXPECT_EQ(Regex("a").replaceAll(invalid, "b"), invalid);
}

TEST(RegexTest, BadPatternsThrow) { EXPECT_THROW(Regex("(unclosed"), std::invalid_argument); }

} // namespace
} // namespace notch
