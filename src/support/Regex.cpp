#include "support/Regex.h"

#include <stdexcept>

#include <pcre2.h>

namespace notch {
namespace {

struct MatchDataDeleter {
  void operator()(pcre2_match_data* data) const { pcre2_match_data_free(data); }
};
using MatchData = std::unique_ptr<pcre2_match_data, MatchDataDeleter>;

// PCRE2 10.42 refuses a null pointer even with length zero, which an empty
// string_view may carry.
PCRE2_SPTR pcreText(std::string_view text) {
  return reinterpret_cast<PCRE2_SPTR>(text.data() != nullptr ? text.data() : "");
}

} // namespace

struct Regex::Impl {
  pcre2_code* code = nullptr;

  ~Impl() { pcre2_code_free(code); }

  // Runs one match from the start of `subject`; returns the match data on a
  // match, nullptr on no match or on an invalid subject.
  MatchData match(std::string_view subject) const {
    MatchData data(pcre2_match_data_create_from_pattern(code, nullptr));
    if (!data) {
      throw std::bad_alloc();
    }
    const int rc = pcre2_match(code, pcreText(subject), subject.size(), 0, 0, data.get(), nullptr);
    if (rc < 0) {
      return nullptr;
    }
    return data;
  }
};

Regex::Regex(std::string_view pattern, RegexOptions options) : impl_(std::make_unique<Impl>()) {
  uint32_t flags = PCRE2_UTF | PCRE2_UCP;
  if (options.caseless) {
    flags |= PCRE2_CASELESS;
  }
  if (options.multiline) {
    flags |= PCRE2_MULTILINE;
  }
  if (options.dotAll) {
    flags |= PCRE2_DOTALL;
  }
  int error = 0;
  PCRE2_SIZE errorOffset = 0;
  impl_->code = pcre2_compile(pcreText(pattern), pattern.size(), flags, &error, &errorOffset, nullptr);
  if (impl_->code == nullptr) {
    PCRE2_UCHAR message[256];
    pcre2_get_error_message(error, message, sizeof message);
    throw std::invalid_argument("regular expression does not compile at offset " + std::to_string(errorOffset) + ": " +
                                reinterpret_cast<const char*>(message));
  }
  // Without JIT support PCRE2 interprets the pattern; results are the same.
  pcre2_jit_compile(impl_->code, PCRE2_JIT_COMPLETE);
}

Regex::~Regex() = default;
Regex::Regex(Regex&&) noexcept = default;
Regex& Regex::operator=(Regex&&) noexcept = default;

bool Regex::search(std::string_view subject) const { return impl_->match(subject) != nullptr; }

std::optional<RegexMatch> Regex::firstMatch(std::string_view subject) const {
  MatchData data = impl_->match(subject);
  if (!data) {
    return std::nullopt;
  }
  const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(data.get());
  uint32_t groupCount = 0;
  pcre2_pattern_info(impl_->code, PCRE2_INFO_CAPTURECOUNT, &groupCount);

  RegexMatch result;
  result.groups.reserve(groupCount + 1);
  result.groupOffsets.reserve(groupCount + 1);
  for (uint32_t i = 0; i <= groupCount; ++i) {
    const PCRE2_SIZE start = ovector[2 * i];
    const PCRE2_SIZE end = ovector[2 * i + 1];
    if (start == PCRE2_UNSET) {
      result.groups.emplace_back(std::nullopt);
      result.groupOffsets.push_back(std::string_view::npos);
    } else {
      result.groups.emplace_back(std::string(subject.substr(start, end - start)));
      result.groupOffsets.push_back(start);
    }
  }
  return result;
}

std::string Regex::replaceAll(std::string_view subject, std::string_view replacement) const {
  std::string output(subject.size() + subject.size() / 2 + 64, '\0');
  for (int attempt = 0; attempt < 2; ++attempt) {
    PCRE2_SIZE length = output.size();
    const int rc = pcre2_substitute(impl_->code, pcreText(subject), subject.size(), 0,
                                    PCRE2_SUBSTITUTE_GLOBAL | PCRE2_SUBSTITUTE_OVERFLOW_LENGTH, nullptr, nullptr,
                                    pcreText(replacement), replacement.size(),
                                    reinterpret_cast<PCRE2_UCHAR*>(output.data()), &length);
    if (rc >= 0) {
      output.resize(length);
      return output;
    }
    if (rc != PCRE2_ERROR_NOMEMORY) {
      break;
    }
    // `length` now holds the size the result needs, terminating NUL included.
    output.assign(length, '\0');
  }
  return std::string(subject);
}

} // namespace notch
