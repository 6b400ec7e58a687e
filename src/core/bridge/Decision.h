#pragma once

// The user's answer to an approval request. The raw value is the wire word.
// `passthrough` hands the request back to WorkBuddy's own approval flow and
// is never turned into an allow.

#include <optional>
#include <string_view>

namespace notch {

enum class Decision { allow, deny, passthrough };

std::string_view rawValue(Decision decision);

// Case-sensitive: only "allow", "deny" and "passthrough" decode.
std::optional<Decision> decisionFromRawValue(std::string_view text);

} // namespace notch
