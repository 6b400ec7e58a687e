#pragma once

// One start or end of a WorkBuddy agent turn, as the turn-end hook reports
// it to the app. Decoded strictly from WorkBuddy's hook JSON: every doubt
// (sub-agent turns, unsafe or over-long tokens, unknown events, oversized
// input) gives no event at all, never a partial one. A plain value.

#include <optional>
#include <string>
#include <string_view>

namespace notch {

struct CompletionEvent {
  enum class Kind { started, ended };
  enum class Reason { completed, interrupted, cancelled, failed, unknown };

  static constexpr std::size_t maximumInputBytes = 65'536;
  static constexpr std::size_t maximumTokenBytes = 256;

  std::string id{};                        // fresh UUID per decoded invocation
  std::string sessionID{};                 // always a safe token
  std::optional<std::string> generationID; // a safe token when present
  std::optional<std::string> agentID;      // a safe token when present
  Kind kind = Kind::started;
  std::optional<Reason> reason; // absent for `started`
  double observedAt = 0;        // wall clock, seconds since 2001-01-01 UTC

  friend bool operator==(const CompletionEvent&, const CompletionEvent&) = default;

  // The event for WorkBuddy's "UserPromptSubmit" or "FinalStop" hook input,
  // or nullopt.
  static std::optional<CompletionEvent> decodeHook(std::string_view data, double now);

  // 1 to 256 bytes, each an ASCII letter or digit or one of "-.:_".
  static bool safeToken(std::string_view text);

  bool isValid() const;

  // The wire object between the hook client and the app; optional members
  // are left out when absent.
  std::optional<std::string> encode() const;
  static std::optional<CompletionEvent> decode(std::string_view text);
};

std::string_view rawValue(CompletionEvent::Kind kind);
std::string_view rawValue(CompletionEvent::Reason reason);

} // namespace notch
