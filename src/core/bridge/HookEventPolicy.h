#pragma once

// Which WorkBuddy hook events are approvals the notch may answer. Applied by
// the hook client before it connects, by the approval server after decoding
// and by the interaction state on arrival.

#include <string_view>

namespace notch::HookEventPolicy {

// True only for the event "PermissionRequest" (exact case) and a tool other
// than WorkBuddy's question and plan-exit tools (compared lower-cased): their
// "permission" prompt is really a question and stays in WorkBuddy.
bool acceptsApproval(std::string_view eventName, std::string_view toolName);

} // namespace notch::HookEventPolicy
