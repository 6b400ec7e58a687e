#pragma once

// The last look at a WorkBuddy button right before the monitor presses it:
// the live element must still be an enabled, visible button whose texts (if
// it has any) read exactly as the label the user chose, free of hidden
// characters, and which offers "AXPress". Reads the element through the
// accessibility backend; called on the native monitor's queue.

#include <string_view>

#include "platform/Accessibility.h"

namespace notch::NativeButtonCheck {

bool isPressable(const Accessibility& accessibility, const AXElementRef& button, std::string_view expectedLabel);

} // namespace notch::NativeButtonCheck
