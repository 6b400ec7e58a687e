#pragma once

// The absolute path of the running executable, or nullopt when the system
// cannot tell.

#include <optional>
#include <string>

namespace notch {

std::optional<std::string> executablePath();

// The executable `name` in the running executable's directory: the two
// images find each other this way (VantrelNotch its app image, and the app
// image the public VantrelNotch that hook commands name).
inline std::optional<std::string> siblingExecutable(const std::string& name) {
  const auto self = executablePath();
  return self ? std::optional(self->substr(0, self->rfind('/') + 1) + name) : std::nullopt;
}

} // namespace notch
