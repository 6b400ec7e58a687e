#include "ui/layout/Countdown.h"

#include <algorithm>
#include <cmath>

namespace notch {

Countdown countdown(double expiresAt, double now) {
  const double left = expiresAt - now;
  // A request's expiry is at most minutes away; the cap only keeps a
  // corrupt value from overflowing the conversion.
  const double seconds = std::isfinite(left) ? std::clamp(std::ceil(left), 0.0, 1e9) : 0.0;
  const auto whole = static_cast<long long>(seconds);
  return {std::to_string(whole) + "s", whole <= static_cast<long long>(countdownUrgentSeconds)};
}

} // namespace notch
