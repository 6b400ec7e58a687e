#pragma once

// One permission request as it crosses the approval socket: made by the hook
// client for every hook invocation, validated by the approval server, shown
// by the notch. Native cards and demonstration requests are built in the app
// with the same type and never cross the socket. A plain value.

#include <optional>
#include <string>
#include <string_view>

namespace notch {

struct ApprovalRequest {
  std::string id{};            // fresh UUID, canonical upper-case text
  std::string sessionID{};     // WorkBuddy's session_id, "" when absent
  std::string toolName{};      // WorkBuddy's tool_name as received
  std::string toolInputJSON{}; // tool_input in the project's pretty JSON form
  std::string cwd{};           // WorkBuddy's cwd, "" when absent
  std::string eventName{};     // hook_event_name, "PermissionRequest" on the socket
  double expiresAt = 0;        // wall clock, seconds since 2001-01-01 UTC
  std::string source{};        // profile the hook command was started with

  friend bool operator==(const ApprovalRequest&, const ApprovalRequest&) = default;

  // The compact wire object with exactly the eight keys. Fails only when a
  // field holds text that is not valid UTF-8.
  std::optional<std::string> encode() const;

  // Every key is required and must have its type ("expiresAt" a number, the
  // rest strings); anything else is nullopt, never a partial request.
  static std::optional<ApprovalRequest> decode(std::string_view text);
};

} // namespace notch
