#include "support/Json.h"

#include <cstdint>

#include "support/Unicode.h"

namespace notch {
namespace {

// Counts container nesting without building anything, so that hostile input
// is refused before nlohmann-json allocates for it. Brackets inside strings
// do not count; escapes are skipped. Malformed input may be misjudged here,
// but the real parse refuses it anyway.
bool nestingWithin(std::string_view text, std::size_t maxDepth) {
  std::size_t depth = 0;
  bool inString = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (inString) {
      if (c == '\\') {
        ++i;
      } else if (c == '"') {
        inString = false;
      }
    } else if (c == '"') {
      inString = true;
    } else if (c == '[' || c == '{') {
      if (++depth > maxDepth) {
        return false;
      }
    } else if ((c == ']' || c == '}') && depth > 0) {
      --depth;
    }
  }
  return true;
}

// Appends `text` as a JSON string: '"' and '\\' escaped, control
// characters as short escapes or \u00XX, everything else (slashes and
// non-ASCII text included) as is. False for text that is not valid UTF-8.
bool appendQuoted(std::string& out, const std::string& text) {
  if (!isValidUtf8(text)) {
    return false;
  }
  static constexpr char kHex[] = "0123456789abcdef";
  out += '"';
  std::size_t plainFrom = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c >= 0x20 && c != '"' && c != '\\') {
      continue; // copied later with its whole run
    }
    out.append(text, plainFrom, i - plainFrom);
    plainFrom = i + 1;
    switch (c) {
    case '"':
      out += "\\\"";
      break;
    case '\\':
      out += "\\\\";
      break;
    case '\b':
      out += "\\b";
      break;
    case '\f':
      out += "\\f";
      break;
    case '\n':
      out += "\\n";
      break;
    case '\r':
      out += "\\r";
      break;
    case '\t':
      out += "\\t";
      break;
    default:
      out += "\\u00";
      out += kHex[c >> 4];
      out += kHex[c & 0x0F];
    }
  }
  out.append(text, plainFrom, std::string::npos);
  out += '"';
  return true;
}

bool appendScalar(std::string& out, const Json& value) {
  switch (value.type()) {
  case Json::value_t::string:
    return appendQuoted(out, value.get_ref<const std::string&>());
  case Json::value_t::number_integer:
    out += std::to_string(value.get<std::int64_t>());
    return true;
  case Json::value_t::number_unsigned:
    out += std::to_string(value.get<std::uint64_t>());
    return true;
  default:
    // Floats (shortest round-trip form), booleans and null.
    out += value.dump();
    return true;
  }
}

class Writer {
public:
  Writer(bool pretty, std::size_t sizeHint) : pretty_(pretty) { out_.reserve(sizeHint); }

  bool write(const Json& value, std::size_t depth) {
    if (value.is_object()) {
      return writeContainer(value, depth, '{', '}');
    }
    if (value.is_array()) {
      return writeContainer(value, depth, '[', ']');
    }
    return appendScalar(out_, value);
  }

  std::string take() { return std::move(out_); }

private:
  bool writeContainer(const Json& value, std::size_t depth, char open, char close) {
    if (depth >= kMaxJsonDepth) {
      return false;
    }
    out_ += open;
    if (value.empty()) {
      out_ += close;
      return true;
    }
    bool first = true;
    // nlohmann::json keeps object members in a std::map, so iteration is
    // already in sorted (bytewise UTF-8, i.e. code point) key order.
    for (auto it = value.begin(); it != value.end(); ++it) {
      if (!first) {
        out_ += ',';
      }
      first = false;
      newline(depth + 1);
      if (value.is_object() && !writeKey(it.key())) {
        return false;
      }
      if (!write(it.value(), depth + 1)) {
        return false;
      }
    }
    newline(depth);
    out_ += close;
    return true;
  }

  bool writeKey(const std::string& key) {
    if (!appendQuoted(out_, key)) {
      return false;
    }
    out_ += pretty_ ? " : " : ":";
    return true;
  }

  void newline(std::size_t depth) {
    if (pretty_) {
      out_ += '\n';
      out_.append(depth * 2, ' ');
    }
  }

  bool pretty_;
  std::string out_;
};

std::optional<std::string> writeJson(const Json& value, bool pretty, std::size_t sizeHint) {
  Writer writer(pretty, sizeHint);
  if (!writer.write(value, 0)) {
    return std::nullopt;
  }
  return writer.take();
}

} // namespace

std::optional<Json> parseJson(std::string_view text, std::size_t maxDepth) {
  // nlohmann-json's lexer takes a NUL byte for the end of input and would
  // accept a valid prefix, silently dropping everything after it. A raw NUL
  // is never part of a JSON text, so the whole input is refused instead.
  if (text.find('\0') != std::string_view::npos || !nestingWithin(text, maxDepth)) {
    return std::nullopt;
  }
  Json value = Json::parse(text.begin(), text.end(), nullptr, /*allow_exceptions=*/false,
                           /*ignore_comments=*/false);
  if (value.is_discarded()) {
    return std::nullopt;
  }
  return value;
}

std::optional<std::string> writeCompactJson(const Json& value) { return writeJson(value, false, 0); }

std::optional<std::string> writePrettyJson(const Json& value, std::size_t sizeHint) {
  return writeJson(value, true, sizeHint);
}

const std::string* stringMember(const Json& object, std::string_view key) {
  if (!object.is_object()) {
    return nullptr;
  }
  const auto member = object.find(key);
  if (member == object.end() || !member->is_string()) {
    return nullptr;
  }
  return member->get_ptr<const std::string*>();
}

} // namespace notch
