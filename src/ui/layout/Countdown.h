#pragma once

// The countdown chip of a hook request: whole seconds left, rounded up, as
// "12s"; urgent (drawn orange) from 10 seconds left on; "0s" once the
// deadline has passed.

#include <string>

namespace notch {

struct Countdown {
  std::string text;
  bool urgent = false;

  friend bool operator==(const Countdown&, const Countdown&) = default;
};

inline constexpr double countdownUrgentSeconds = 10;

Countdown countdown(double expiresAt, double now);

} // namespace notch
