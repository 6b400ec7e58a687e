#include <gtest/gtest.h>

#include <set>

#include "support/Uuid.h"

namespace notch {
namespace {

TEST(UuidTest, RandomUuidsAreCanonicalVersionFourAndDistinct) {
  std::set<std::string> seen;
  for (int i = 0; i < 1000; ++i) {
    const std::string text = Uuid::random().string();
    ASSERT_EQ(text.size(), 36u);
    EXPECT_EQ(text[14], '4');
    EXPECT_NE(std::string("89AB").find(text[19]), std::string::npos) << text;
    EXPECT_EQ(text.find_first_not_of("0123456789ABCDEF-"), std::string::npos) << text;
    seen.insert(text);
  }
  EXPECT_EQ(seen.size(), 1000u);
}

TEST(UuidTest, ParsesEitherCaseAndRoundTrips) {
  const auto lower = Uuid::parse("e621e1f8-c36c-495a-93fc-0c247a3e6e5f");
  const auto upper = Uuid::parse("E621E1F8-C36C-495A-93FC-0C247A3E6E5F");
  ASSERT_TRUE(lower && upper);
  EXPECT_EQ(*lower, *upper);
  EXPECT_EQ(lower->string(), "E621E1F8-C36C-495A-93FC-0C247A3E6E5F");
  const Uuid random = Uuid::random();
  EXPECT_EQ(Uuid::parse(random.string()), random);
}

TEST(UuidTest, RefusesEverythingElse) {
  for (const char* bad : {"", "E621E1F8C36C495A93FC0C247A3E6E5F", "E621E1F8-C36C-495A-93FC-0C247A3E6E5",
                          "E621E1F8-C36C-495A-93FC-0C247A3E6E5FF", "G621E1F8-C36C-495A-93FC-0C247A3E6E5F",
                          "E621E1F8-C36C-495A-93FC+0C247A3E6E5F", "{E621E1F8-C36C-495A-93FC-0C247A3E6E5}",
                          " E621E1F8-C36C-495A-93FC-0C247A3E6E5"}) {
    EXPECT_FALSE(Uuid::parse(bad).has_value()) << bad;
  }
}

} // namespace
} // namespace notch
