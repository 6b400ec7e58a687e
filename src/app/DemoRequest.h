#pragma once

// The built-in demonstration requests the status menu and the settings
// window show: a harmless shell command, or a native deletion card. Deciding
// one sends nothing anywhere.

#include "core/bridge/ApprovalRequest.h"

namespace notch {

inline constexpr double kDemoLifetime = 3600; // seconds

ApprovalRequest demoRequest(bool native, double now);

} // namespace notch
