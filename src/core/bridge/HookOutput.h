#pragma once

// What the hook command prints to WorkBuddy for an allowed or denied request.

#include <optional>
#include <string>
#include <string_view>

#include "core/bridge/Decision.h"

namespace notch {

// The one-line hook output JSON plus one line feed for allow or deny, with
// "hookEventName" set to `eventName`; nullopt for passthrough (nothing at
// all is printed then) and when `eventName` is not valid UTF-8.
std::optional<std::string> hookOutputLine(std::string_view eventName, Decision decision);

} // namespace notch
