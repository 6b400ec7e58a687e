#include <gtest/gtest.h>

#include <string>

#include "support/Unicode.h"

namespace notch {
namespace {

TEST(UnicodeTest, Utf8ValidityFollowsTheStandard) {
  for (const std::string good : {"", "plain", "中文", "é", "\xF0\x9F\x98\x80", "\xEF\xBF\xBF", "\xF4\x8F\xBF\xBF"}) {
    EXPECT_TRUE(isValidUtf8(good)) << good;
  }
  for (const std::string bad : {"\x80", "\xC0\xAF", "\xC3", "\xE0\x80\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80",
                                "\xF8\x88\x80\x80\x80", "a\xC3(", "\xFF"}) {
    EXPECT_FALSE(isValidUtf8(bad)) << testing::PrintToString(bad);
  }
}

TEST(UnicodeTest, DecodesAndEncodesCodePoints) {
  const std::string text = "a中\xF0\x9F\x98\x80";
  std::size_t offset = 0;
  EXPECT_EQ(nextCodePoint(text, offset), U'a');
  EXPECT_EQ(nextCodePoint(text, offset), U'中');
  EXPECT_EQ(nextCodePoint(text, offset), U'\U0001F600');
  EXPECT_EQ(offset, text.size());
  EXPECT_FALSE(nextCodePoint(text, offset).has_value());
  for (char32_t c : {U'\0', U'\x7F', U'\x80', U'\u07FF', U'\u0800', U'\uFFFF', U'\U00010000', U'\U0010FFFF'}) {
    const std::string encoded = encodeUtf8(c);
    std::size_t at = 0;
    EXPECT_EQ(nextCodePoint(encoded, at), c);
    EXPECT_EQ(utf8SequenceLength(static_cast<unsigned char>(encoded[0])), encoded.size());
  }
  EXPECT_EQ(encodeUtf8(0xD800), "");
  EXPECT_EQ(encodeUtf8(0x110000), "");
  EXPECT_EQ(utf8SequenceLength(0x80), 0u);
}

TEST(UnicodeTest, TrimsUnicodeWhitespaceAndLineBreaksOnly) {
  EXPECT_EQ(trimWhitespaceAndNewlines(" \t\n\u3000删除\u00A0文件\u2028\r\n\u0085"), "删除\u00A0文件");
  EXPECT_EQ(trimWhitespaceAndNewlines("  \n "), "");
  EXPECT_EQ(trimWhitespaceAndNewlines(""), "");
  EXPECT_EQ(trimWhitespaceAndNewlines("x"), "x");
  // Zero-width space is a format character, not white space.
  EXPECT_EQ(trimWhitespaceAndNewlines("\u200Bx\u200B"), "\u200Bx\u200B");
  EXPECT_EQ(splitAtWhitespace(" 1\u00A0选项\u3000\n\u0085" "b\u200Bc \xFF"),
            (std::vector<std::string_view>{"1", "选项", "b\u200Bc", "\xFF"}));
  EXPECT_EQ(splitAtWhitespace(" \t"), std::vector<std::string_view>{});
}

TEST(UnicodeTest, ClassifiesHiddenCharacters) {
  EXPECT_TRUE(isControl(U'\0'));
  EXPECT_TRUE(isControl(U'\t'));
  EXPECT_TRUE(isControl(U'\x9F'));
  EXPECT_FALSE(isControl(U'a'));
  for (char32_t c : {U'\u200B', U'\u200C', U'\u200D', U'\u202E', U'\u2066', U'\uFEFF', U'\u00AD'}) {
    EXPECT_TRUE(isFormat(c)) << static_cast<unsigned>(c);
  }
  EXPECT_FALSE(isFormat(U'中'));
  EXPECT_TRUE(isLineOrParagraphSeparator(U'\u2028'));
  EXPECT_TRUE(isLineOrParagraphSeparator(U'\u2029'));
  EXPECT_FALSE(isLineOrParagraphSeparator(U'\n'));
  EXPECT_TRUE(isWhitespaceOrNewline(U'\u3000'));
  EXPECT_TRUE(isWhitespaceOrNewline(U'\x85'));
  EXPECT_FALSE(isWhitespaceOrNewline(U'\u200B'));
  EXPECT_FALSE(isControl(0xD800)); // not a scalar value at all
}

} // namespace
} // namespace notch
