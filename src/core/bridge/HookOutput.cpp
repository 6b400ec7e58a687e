#include "core/bridge/HookOutput.h"

#include "support/Json.h"

namespace notch {

std::optional<std::string> hookOutputLine(std::string_view eventName, Decision decision) {
  if (decision == Decision::passthrough) {
    return std::nullopt;
  }
  const bool allow = decision == Decision::allow;
  const Json output = {
      {"decision", allow ? "approve" : "block"},
      {"hookSpecificOutput",
       {
           {"hookEventName", eventName},
           {"permissionDecision", allow ? "allow" : "deny"},
           {"decision", {{"behavior", allow ? "allow" : "deny"}}},
       }},
  };
  auto line = writeCompactJson(output);
  if (line) {
    line->push_back('\n');
  }
  return line;
}

} // namespace notch
