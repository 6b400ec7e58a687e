#pragma once

// The absolute path of the running executable, or nullopt when the system
// cannot tell.

#include <optional>
#include <string>

namespace notch {

std::optional<std::string> executablePath();

} // namespace notch
