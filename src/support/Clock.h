#pragma once

// Time as the project passes it around.
//
// Wall-clock instants (protocol fields such as expiry times) are seconds since
// 2001-01-01 00:00:00 UTC as a double; short budgets and observation stamps are
// seconds of monotonic uptime. Value types take `now` from their caller;
// services read time through `Clock` so that tests can drive it.

namespace notch {

// Seconds between the Unix epoch and 2001-01-01 00:00:00 UTC.
inline constexpr double kUnixToReferenceDateOffset = 978'307'200.0;

// Wall clock in seconds since 2001-01-01 00:00:00 UTC.
double wallClockNow();

// Monotonic seconds since an arbitrary fixed point; never jumps.
double uptimeNow();

// The clock a service reads. Implementations are safe to call from any thread.
class Clock {
public:
  virtual ~Clock() = default;
  virtual double now() const = 0;    // wall clock, see wallClockNow()
  virtual double uptime() const = 0; // monotonic, see uptimeNow()
};

class SystemClock final : public Clock {
public:
  double now() const override { return wallClockNow(); }
  double uptime() const override { return uptimeNow(); }
};

} // namespace notch
