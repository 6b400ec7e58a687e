#include "support/Unicode.h"

#include <algorithm>

#include "support/Regex.h"

namespace notch {
namespace {

// Whether `codePoint` matches a pattern that consumes exactly one character.
bool matchesOneCharacterClass(const Regex& pattern, char32_t codePoint) {
  const std::string encoded = encodeUtf8(codePoint);
  return !encoded.empty() && pattern.search(encoded);
}

// Scripts that hold neither control, format nor separator characters, so
// that the common text of a scan is judged without a pattern match.
bool isPlainLetterOrSymbol(char32_t codePoint) {
  return (codePoint >= 0x20 && codePoint < 0x7F) || (codePoint >= 0x3040 && codePoint <= 0x30FF) || // kana
         (codePoint >= 0x4E00 && codePoint <= 0x9FFF) ||                                            // CJK ideographs
         (codePoint >= 0xAC00 && codePoint <= 0xD7A3) ||                                            // Hangul
         (codePoint >= 0xFF01 && codePoint <= 0xFF5E);                                              // full-width forms
}

} // namespace

std::size_t utf8SequenceLength(unsigned char lead) {
  if (lead < 0x80) {
    return 1;
  }
  if (lead >= 0xC2 && lead <= 0xDF) {
    return 2;
  }
  if (lead >= 0xE0 && lead <= 0xEF) {
    return 3;
  }
  if (lead >= 0xF0 && lead <= 0xF4) {
    return 4;
  }
  return 0;
}

std::optional<char32_t> nextCodePoint(std::string_view text, std::size_t& offset) {
  if (offset >= text.size()) {
    return std::nullopt;
  }
  const auto lead = static_cast<unsigned char>(text[offset]);
  const std::size_t length = utf8SequenceLength(lead);
  if (length == 0 || offset + length > text.size()) {
    return std::nullopt;
  }
  if (length == 1) {
    ++offset;
    return lead;
  }
  char32_t value = lead & (0x7F >> length);
  for (std::size_t i = 1; i < length; ++i) {
    const auto byte = static_cast<unsigned char>(text[offset + i]);
    if ((byte & 0xC0) != 0x80) {
      return std::nullopt;
    }
    value = (value << 6) | (byte & 0x3F);
  }
  static constexpr char32_t kSmallestOfLength[] = {0, 0, 0x80, 0x800, 0x10000};
  if (value < kSmallestOfLength[length] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
    return std::nullopt; // overlong form, out of range or surrogate
  }
  offset += length;
  return value;
}

bool isValidUtf8(std::string_view text) {
  std::size_t offset = 0;
  while (offset < text.size()) {
    // Plain ASCII dominates the text we check; skip it without decoding.
    if (static_cast<unsigned char>(text[offset]) < 0x80) {
      ++offset;
    } else if (!nextCodePoint(text, offset)) {
      return false;
    }
  }
  return true;
}

std::string encodeUtf8(char32_t codePoint) {
  std::string out;
  if (codePoint < 0x80) {
    out += static_cast<char>(codePoint);
  } else if (codePoint < 0x800) {
    out += static_cast<char>(0xC0 | (codePoint >> 6));
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  } else if (codePoint >= 0xD800 && codePoint <= 0xDFFF) {
    return out;
  } else if (codePoint < 0x10000) {
    out += static_cast<char>(0xE0 | (codePoint >> 12));
    out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  } else if (codePoint <= 0x10FFFF) {
    out += static_cast<char>(0xF0 | (codePoint >> 18));
    out += static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  }
  return out;
}

bool isWhitespaceOrNewline(char32_t codePoint) {
  if (codePoint < 0x80) {
    return codePoint == ' ' || (codePoint >= 0x09 && codePoint <= 0x0D); // the common case, without PCRE2
  }
  if (isPlainLetterOrSymbol(codePoint)) {
    return false;
  }
  static const Regex pattern(R"(^[\p{Z}\x{9}-\x{D}\x{85}]$)");
  return matchesOneCharacterClass(pattern, codePoint);
}

std::string_view trimWhitespaceAndNewlines(std::string_view text) {
  // One pass over the code points: keep from the first that is not white
  // space to the end of the last that is not.
  std::size_t keptStart = std::string_view::npos;
  std::size_t keptEnd = 0;
  std::size_t offset = 0;
  while (offset < text.size()) {
    const std::size_t at = offset;
    const auto codePoint = nextCodePoint(text, offset);
    if (!codePoint) {
      return text; // not valid UTF-8: nothing can be trimmed safely
    }
    if (!isWhitespaceOrNewline(*codePoint)) {
      keptStart = std::min(keptStart, at);
      keptEnd = offset;
    }
  }
  return keptStart == std::string_view::npos ? text.substr(0, 0) : text.substr(keptStart, keptEnd - keptStart);
}

std::vector<std::string_view> splitAtWhitespace(std::string_view text) {
  std::vector<std::string_view> words;
  std::size_t wordStart = std::string_view::npos;
  std::size_t offset = 0;
  while (offset < text.size()) {
    const std::size_t at = offset;
    const auto codePoint = nextCodePoint(text, offset);
    if (!codePoint) {
      offset = at + 1;
    }
    if (codePoint && isWhitespaceOrNewline(*codePoint)) {
      if (wordStart != std::string_view::npos) {
        words.push_back(text.substr(wordStart, at - wordStart));
        wordStart = std::string_view::npos;
      }
    } else if (wordStart == std::string_view::npos) {
      wordStart = at;
    }
  }
  if (wordStart != std::string_view::npos) {
    words.push_back(text.substr(wordStart));
  }
  return words;
}

bool isControl(char32_t codePoint) {
  if (isPlainLetterOrSymbol(codePoint)) {
    return false;
  }
  static const Regex pattern(R"(^\p{Cc}$)");
  return matchesOneCharacterClass(pattern, codePoint);
}

bool isFormat(char32_t codePoint) {
  if (codePoint < 0x80 || isPlainLetterOrSymbol(codePoint)) {
    return false;
  }
  static const Regex pattern(R"(^\p{Cf}$)");
  return matchesOneCharacterClass(pattern, codePoint);
}

bool isLineOrParagraphSeparator(char32_t codePoint) {
  if (codePoint < 0x80 || isPlainLetterOrSymbol(codePoint)) {
    return false;
  }
  static const Regex pattern(R"(^[\p{Zl}\p{Zp}]$)");
  return matchesOneCharacterClass(pattern, codePoint);
}

} // namespace notch
