#include "support/Json.h"

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

std::optional<std::string> scalarText(const Json& value) {
  try {
    return value.dump(-1, ' ', false, Json::error_handler_t::strict);
  } catch (const Json::exception&) {
    return std::nullopt; // a string that is not valid UTF-8
  }
}

class Writer {
public:
  explicit Writer(bool pretty) : pretty_(pretty) {}

  bool write(const Json& value, std::size_t depth) {
    if (value.is_object()) {
      return writeContainer(value, depth, '{', '}');
    }
    if (value.is_array()) {
      return writeContainer(value, depth, '[', ']');
    }
    auto text = scalarText(value);
    if (!text) {
      return false;
    }
    out_ += *text;
    return true;
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
    auto text = scalarText(Json(key));
    if (!text) {
      return false;
    }
    out_ += *text;
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

std::optional<std::string> writeJson(const Json& value, bool pretty) {
  Writer writer(pretty);
  if (!writer.write(value, 0)) {
    return std::nullopt;
  }
  return writer.take();
}

} // namespace

std::optional<Json> parseJson(std::string_view text, std::size_t maxDepth) {
  if (!nestingWithin(text, maxDepth)) {
    return std::nullopt;
  }
  Json value = Json::parse(text.begin(), text.end(), nullptr, /*allow_exceptions=*/false,
                           /*ignore_comments=*/false);
  if (value.is_discarded()) {
    return std::nullopt;
  }
  return value;
}

std::optional<std::string> writeCompactJson(const Json& value) { return writeJson(value, false); }

std::optional<std::string> writePrettyJson(const Json& value) { return writeJson(value, true); }

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
