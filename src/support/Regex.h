#pragma once

// A compiled PCRE2 pattern in UTF + UCP mode (\w, \d, \s, \b and POSIX
// classes follow Unicode properties). Compile each pattern once, typically as
// a function-local static, and share it: matching is thread-safe because every
// call uses its own match data. JIT-compiled where the platform allows.
//
// Subjects must be valid UTF-8; an invalid subject never matches and is
// returned unchanged by replaceAll.

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace notch {

struct RegexOptions {
  bool caseless = false;
  bool multiline = false; // ^ and $ match at line breaks
  bool dotAll = false;    // . matches line breaks too
};

struct RegexMatch {
  // groups[0] is the whole match; unset optional groups are nullopt.
  std::vector<std::optional<std::string>> groups;
  // Byte offset of each group in the subject; npos for unset groups.
  std::vector<std::size_t> groupOffsets;
};

class Regex {
public:
  // Throws std::invalid_argument when the pattern does not compile; patterns
  // are part of the program, so that is a programming error.
  explicit Regex(std::string_view pattern, RegexOptions options = {});
  ~Regex();
  Regex(Regex&&) noexcept;
  Regex& operator=(Regex&&) noexcept;
  Regex(const Regex&) = delete;
  Regex& operator=(const Regex&) = delete;

  bool search(std::string_view subject) const;
  std::optional<RegexMatch> firstMatch(std::string_view subject) const;

  // Replaces every match. `replacement` uses PCRE2's syntax: $1 or ${1} for a
  // group, $$ for a literal dollar sign.
  std::string replaceAll(std::string_view subject, std::string_view replacement) const;

private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

} // namespace notch
