#pragma once

// Starts a program detached from the caller, as a desktop launcher does:
// a grandchild in a session of its own (double fork and setsid), standard
// input and output on /dev/null, so that it neither dies with the caller nor
// stays its child. Any thread.

#include <optional>
#include <string>
#include <vector>

namespace notch {

// `arguments[0]` is the program, looked up in PATH when it has no slash.
// Waits at most `timeout` seconds for the program to be executed; nullopt
// when it was (or is still being) started, else the error text.
std::optional<std::string> launchDetached(const std::vector<std::string>& arguments, double timeout);

} // namespace notch
