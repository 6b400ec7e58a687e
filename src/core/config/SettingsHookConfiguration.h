#pragma once

// What the read-only inspection of a profile's settings file found, as the
// settings window shows it.

#include <optional>
#include <stdexcept>
#include <string>

namespace notch {

struct SettingsHookConfiguration {
  enum class State { checking, installed, missing, reconnect, review, invalid };

  // A failure of the read-only settings read; one Chinese message.
  class InspectionError : public std::runtime_error {
  public:
    explicit InspectionError(const std::string& message) : std::runtime_error(message) {}
    std::string message() const { return what(); }
  };

  State state = State::checking;
  std::string detail;
  // A legacy per-command interception of this app was found; nullopt when
  // the file could not be read or parsed.
  std::optional<bool> interceptBash;

  friend bool operator==(const SettingsHookConfiguration&, const SettingsHookConfiguration&) = default;
};

} // namespace notch
