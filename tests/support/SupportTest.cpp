#include <gtest/gtest.h>

#include <ctime>
#include <set>
#include <string>

#include "support/Clock.h"
#include "support/Json.h"
#include "support/Regex.h"
#include "support/Unicode.h"
#include "support/Uuid.h"

namespace notch {
namespace {

using namespace std::string_literals;

std::string nested(std::size_t depth) { return std::string(depth, '[') + std::string(depth, ']'); }

TEST(JsonTest, ParsingIsStrictAndNestingIsCappedBeforeAnythingIsBuilt) {
  EXPECT_TRUE(parseJson(nested(kMaxJsonDepth)));
  EXPECT_TRUE(parseJson("[\"\\\"" + std::string(1000, '[') + "\"]")); // brackets in a string, after an escaped quote
  EXPECT_TRUE(parseJson(" {\"k\": [true, null, -1.5e3, \"\\u00e9\"]}\n"));
  EXPECT_EQ(parseJson(R"({"a":1,"a":2})"), (Json{{"a", 2}})); // the last one wins, as in JavaScript
  // Far beyond what a recursive copy survives; and a NUL, which ends the lexer's input early.
  // clang-format off
  for (const std::string& bad : {nested(kMaxJsonDepth + 1), nested(200'000), std::string(200'000, '{'), ""s, "{"s,
       "[1,]"s, "{\"a\":1,}"s, "// c\n{}"s, "{\"a\":1} x"s, "'a'"s, "NaN"s, "[1e400]"s, "\"\\ud800\""s, "\"\xff\""s,
       "\"a\x01\""s, "{\"a\" 1}"s, "{\"model\":\"m\"}\0{}"s, "{}\0"s, "[1,\0 2]"s, "\"a\0b\""s}) {
    // clang-format on
    EXPECT_FALSE(parseJson(bad)) << bad.substr(0, 20);
  }
  EXPECT_FALSE(parseJson(nested(3), 2));
}

TEST(JsonTest, WritersUseTheirLiteralFormsAndRefuseWhatCannotBeWrittenSafely) {
  const Json value = {{"path", "/tmp/a b/c"}, {"text", "中文\n\"q\"\x01"}, {"n", 1.5}, {"l", Json::array({1, false})}};
  EXPECT_EQ(writeCompactJson(value), R"({"l":[1,false],"n":1.5,"path":"/tmp/a b/c","text":"中文\n\"q\"\u0001"})");
  const Json pretty = {
      {"z", "/usr/bin"}, {"a", {{"b", Json::array({1, "x"})}, {"a", Json::object()}}}, {"e", Json::array()}};
  EXPECT_EQ(writePrettyJson(pretty),
            "{\n  \"a\" : {\n    \"a\" : {},\n    \"b\" : [\n      1,\n      \"x\"\n    ]\n  },\n"
            "  \"e\" : [],\n  \"z\" : \"/usr/bin\"\n}");
  EXPECT_FALSE(writeCompactJson(Json("bad \xC3")) || writePrettyJson(Json{{"k\xFF", 1}}));
  Json deep = Json::array();
  for (std::size_t i = 0; i < kMaxJsonDepth; ++i) {
    deep = Json::array({std::move(deep)});
  }
  EXPECT_FALSE(writeCompactJson(deep));
  EXPECT_TRUE(writeCompactJson(deep[0]));
}

TEST(UnicodeTest, Utf8AndWhiteSpaceFollowTheStandard) {
  EXPECT_EQ(trimWhitespaceAndNewlines(" \t\n\v\f\u3000删除\u00A0文件\u2028\r\n\u0085"), "删除\u00A0文件");
  for (const std::string good : {"", "plain", "中文", "é", "\xF0\x9F\x98\x80", "\xEF\xBF\xBF", "\xF4\x8F\xBF\xBF"}) {
    EXPECT_TRUE(isValidUtf8(good)) << good;
  }
  // Continuation alone, overlong (two and three bytes), truncated, surrogate, beyond U+10FFFF, five bytes.
  for (const std::string bad : {"\x80", "\xC0\xAF", "\xC1\xBF", "\xE0\x80\xAF", "\xC3", "a\xC3(", "\xED\xA0\x80",
                                "\xF4\x90\x80\x80", "\xF5\x80\x80\x80", "\xF8\x88\x80\x80\x80", "\xFF"}) {
    EXPECT_FALSE(isValidUtf8(bad)) << ::testing::PrintToString(bad);
  }
  const std::string text = "a中\xF0\x9F\x98\x80";
  std::size_t offset = 0;
  for (char32_t expected : {U'a', U'中', U'\U0001F600'}) {
    EXPECT_EQ(nextCodePoint(text, offset), expected);
  }
  EXPECT_FALSE(nextCodePoint(text, offset));
  for (char32_t c : {U'\0', U'\x7F', U'\x80', U'\u07FF', U'\u0800', U'\uFFFF', U'\U00010000', U'\U0010FFFF'}) {
    const std::string encoded = encodeUtf8(c);
    std::size_t at = 0;
    EXPECT_EQ(nextCodePoint(encoded, at), c);
    EXPECT_EQ(utf8SequenceLength(static_cast<unsigned char>(encoded[0])), encoded.size());
  }
  EXPECT_EQ(encodeUtf8(0xD800) + encodeUtf8(0x110000), "");
  EXPECT_EQ(utf8SequenceLength(0x80) + utf8SequenceLength(0xC1) + utf8SequenceLength(0xF5) + utf8SequenceLength(0xFF),
            0u);
}

TEST(RegexTest, MatchesUnicodeAwareAndCaselessAndReplacesPastTheFirstBuffer) {
  EXPECT_TRUE(Regex(R"(^\w+$)").search("删除文件Ünï"));
  EXPECT_TRUE(Regex("workbuddy", RegexOptions{.caseless = true}).search("Open WORKBUDDY now"));
  EXPECT_EQ(Regex("x").replaceAll("xxxx", std::string(100, 'y')), std::string(400, 'y')); // needs a second pass
}

TEST(UuidTest, RandomUuidsAreCanonicalVersionFourAndParsingIsExact) {
  std::set<std::string> seen;
  for (int i = 0; i < 1000; ++i) {
    const Uuid random = Uuid::random();
    const std::string text = random.string();
    ASSERT_EQ(text.size(), 36u);
    EXPECT_TRUE(text[14] == '4' && std::string("89AB").find(text[19]) != std::string::npos) << text;
    EXPECT_EQ(text.find_first_not_of("0123456789ABCDEF-"), std::string::npos) << text;
    EXPECT_EQ(Uuid::parse(text), random);
    seen.insert(text);
  }
  EXPECT_EQ(seen.size(), 1000u);
  EXPECT_EQ(Uuid::parse("e621e1f8-c36c-495a-93fc-0c247a3e6e5f")->string(), "E621E1F8-C36C-495A-93FC-0C247A3E6E5F");
  // clang-format off
  for (const char* bad : {"", "E621E1F8C36C495A93FC0C247A3E6E5F", "E621E1F8-C36C-495A-93FC-0C247A3E6E5",
       "E621E1F8-C36C-495A-93FC-0C247A3E6E5FF", "G621E1F8-C36C-495A-93FC-0C247A3E6E5F",
       "E621E1F8-C36C-495A-93FC+0C247A3E6E5F", "{E621E1F8-C36C-495A-93FC-0C247A3E6E5}", " E621E1F8-C36C-495A-93FC-0C247A3E6E5"}) {
    // clang-format on
    EXPECT_FALSE(Uuid::parse(bad)) << bad;
  }
}

TEST(ClockTest, TheWallClockCountsFromTheReferenceDate) {
  const double expected = static_cast<double>(std::time(nullptr)) - 978'307'200.0;
  EXPECT_NEAR(wallClockNow(), expected, 2.0);
  EXPECT_NEAR(SystemClock().now(), expected, 2.0);
}

} // namespace
} // namespace notch
