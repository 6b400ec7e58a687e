#pragma once

// Unicode helpers for UTF-8 text. General-category tests use PCRE2's Unicode
// tables, so they agree with the regular expressions of the project.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace notch {

// True for well-formed UTF-8: shortest forms only, no surrogates, nothing
// above U+10FFFF.
bool isValidUtf8(std::string_view text);

// Bytes of the UTF-8 sequence that `lead` begins, or 0 if `lead` cannot begin
// one (a continuation byte or an invalid lead byte).
std::size_t utf8SequenceLength(unsigned char lead);

// Decodes the code point at `offset` of valid UTF-8 text and advances
// `offset` past it. Returns nullopt at the end or on a malformed sequence
// (offset is then unchanged).
std::optional<char32_t> nextCodePoint(std::string_view text, std::size_t& offset);

// The UTF-8 encoding of one code point (empty for surrogates and values above
// U+10FFFF).
std::string encodeUtf8(char32_t codePoint);

// Unicode white space and line breaks: general category Z*, U+0009...U+000D
// and U+0085.
bool isWhitespaceOrNewline(char32_t codePoint);

// Drops white space and line breaks at both ends of valid UTF-8 text.
std::string_view trimWhitespaceAndNewlines(std::string_view text);

// The words of `text`: the non-empty runs between white space and line
// breaks (a no-break or an ideographic space separates words too). Bytes
// that are not valid UTF-8 belong to the word they stand in.
std::vector<std::string_view> splitAtWhitespace(std::string_view text);

// General category Cc (control characters).
bool isControl(char32_t codePoint);
// General category Cf (format characters, e.g. U+200B, U+202E, U+FEFF).
bool isFormat(char32_t codePoint);
// General category Zl (U+2028) or Zp (U+2029).
bool isLineOrParagraphSeparator(char32_t codePoint);

} // namespace notch
