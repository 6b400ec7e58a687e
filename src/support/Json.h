#pragma once

// JSON on nlohmann-json, with the guarantees the project needs for input
// that comes from outside.
//
// nlohmann-json parses any nesting depth, but copying or writing a value
// recurses once per level and overflows the stack near 90,000 levels on the
// main thread (far sooner on worker threads). Everything that reads outside
// input therefore goes through parseJson, which refuses deeper documents, and
// everything that writes goes through the writers below, which refuse them too.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace notch {

using Json = nlohmann::json;

// Deepest nesting of arrays and objects that parseJson accepts.
inline constexpr std::size_t kMaxJsonDepth = 512;

// Strict RFC 8259 parse: no comments, no trailing commas, strings of valid
// UTF-8 without lone surrogates, numbers within double range, at most
// `maxDepth` nested containers, no NUL byte anywhere. A duplicate key keeps its last value, as a
// JavaScript reader sees it. Returns nullopt for anything else.
std::optional<Json> parseJson(std::string_view text, std::size_t maxDepth = kMaxJsonDepth);

// One line, no whitespace between tokens, '/' not escaped, UTF-8 written as
// is. Fails (nullopt) on strings that are not valid UTF-8 and on values nested
// deeper than kMaxJsonDepth.
std::optional<std::string> writeCompactJson(const Json& value);

// The form WorkBuddy's tool input is shown in: keys sorted, two-space
// indentation, one member or element per line, `"key" : value`, '/' not
// escaped, no final line feed. Empty containers are written as {} and [].
// Fails like writeCompactJson. `sizeHint`, when known, reserves the output
// up front so a large document is not copied while it grows.
std::optional<std::string> writePrettyJson(const Json& value, std::size_t sizeHint = 0);

// The member `key` of an object when it is a string; nullptr when `object` is
// not an object, the member is missing or it holds another type.
const std::string* stringMember(const Json& object, std::string_view key);

} // namespace notch
