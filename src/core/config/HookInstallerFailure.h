#pragma once

// The error of every configuration operation: one Chinese message, shown to
// the user as it stands.

#include <stdexcept>
#include <string>

namespace notch {

class HookInstallerFailure : public std::runtime_error {
public:
  explicit HookInstallerFailure(const std::string& message) : std::runtime_error(message) {}
  std::string message() const { return what(); }
};

} // namespace notch
