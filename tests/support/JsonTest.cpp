#include <gtest/gtest.h>

#include <string>

#include "support/Json.h"

namespace notch {
namespace {

std::string nested(std::size_t depth) { return std::string(depth, '[') + std::string(depth, ']'); }

TEST(JsonTest, NestingIsCappedBeforeAnythingIsBuilt) {
  EXPECT_TRUE(parseJson(nested(kMaxJsonDepth)).has_value());
  EXPECT_FALSE(parseJson(nested(kMaxJsonDepth + 1)).has_value());
  // Far beyond what nlohmann-json's recursive copy and writer survive.
  EXPECT_FALSE(parseJson(nested(200'000)).has_value());
  EXPECT_FALSE(parseJson(std::string(200'000, '{')).has_value());
  // Brackets inside strings, escaped quotes included, are not nesting.
  const std::string inString = "[\"\\\"" + std::string(1000, '[') + "\"]";
  EXPECT_TRUE(parseJson(inString).has_value());
  EXPECT_FALSE(parseJson(nested(3), 2).has_value());
}

TEST(JsonTest, ParsingIsStrict) {
  for (const std::string bad : {"", "{", "[1,]", "{\"a\":1,}", "// c\n{}", "{\"a\":1} x", "'a'", "NaN", "[1e400]",
                                "\"\\ud800\"", "\"\xff\"", "\"a\x01\"", "{\"a\" 1}"}) {
    EXPECT_FALSE(parseJson(bad).has_value()) << bad;
  }
  // A NUL ends the lexer's input: the valid prefix must not be taken for the whole.
  using namespace std::string_literals;
  for (const std::string& withNul : {"{\"model\":\"m\"}\0{\"env\":{}}"s, "{}\0"s, "[1,\0 2]"s, "\"a\0b\""s}) {
    EXPECT_FALSE(parseJson(withNul).has_value()) << withNul.size();
  }
  const auto duplicate = parseJson(R"({"a":1,"a":2})");
  ASSERT_TRUE(duplicate);
  EXPECT_EQ((*duplicate)["a"], 2); // the last one wins, as in JavaScript
  EXPECT_TRUE(parseJson(" {\"k\": [true, null, -1.5e3, \"\\u00e9\"]}\n").has_value());
}

TEST(JsonTest, CompactWriterKeepsSlashesAndText) {
  const Json value = {{"path", "/tmp/a b/c"}, {"text", "中文\n\"q\""}, {"n", 1.5}, {"list", Json::array({1, false})}};
  EXPECT_EQ(writeCompactJson(value), R"({"list":[1,false],"n":1.5,"path":"/tmp/a b/c","text":"中文\n\"q\""})");
}

TEST(JsonTest, PrettyWriterUsesTheToolInputForm) {
  const Json value = {
      {"zeta", "/usr/bin"}, {"alpha", {{"b", Json::array({1, "x"})}, {"a", Json::object()}}}, {"empty", Json::array()}};
  EXPECT_EQ(writePrettyJson(value), "{\n"
                                    "  \"alpha\" : {\n"
                                    "    \"a\" : {},\n"
                                    "    \"b\" : [\n"
                                    "      1,\n"
                                    "      \"x\"\n"
                                    "    ]\n"
                                    "  },\n"
                                    "  \"empty\" : [],\n"
                                    "  \"zeta\" : \"/usr/bin\"\n"
                                    "}");
  EXPECT_EQ(writePrettyJson(Json("scalar")), "\"scalar\"");
}

TEST(JsonTest, WritersRefuseWhatCannotBeWrittenSafely) {
  EXPECT_FALSE(writeCompactJson(Json("bad \xC3")).has_value());
  EXPECT_FALSE(writePrettyJson(Json{{"k\xFF", 1}}).has_value());
  Json deep = Json::array();
  for (std::size_t i = 0; i < kMaxJsonDepth; ++i) {
    deep = Json::array({std::move(deep)});
  }
  EXPECT_FALSE(writeCompactJson(deep).has_value());
  EXPECT_TRUE(writeCompactJson(deep[0]).has_value());
}

TEST(JsonTest, StringMemberChecksTypeAndPresence) {
  const Json object = {{"s", "text"}, {"n", 3}};
  ASSERT_NE(stringMember(object, "s"), nullptr);
  EXPECT_EQ(*stringMember(object, "s"), "text");
  EXPECT_EQ(stringMember(object, "n"), nullptr);
  EXPECT_EQ(stringMember(object, "missing"), nullptr);
  EXPECT_EQ(stringMember(Json::array({"s"}), "s"), nullptr);
}

} // namespace
} // namespace notch
