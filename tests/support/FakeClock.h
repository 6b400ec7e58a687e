#pragma once

#include <atomic>

#include "support/Clock.h"

namespace notch::testing {

// A clock the test moves by hand; safe to read from any thread.
class FakeClock final : public Clock {
public:
  explicit FakeClock(double now = 800'000'000.0, double uptime = 1'000.0) : now_(now), uptime_(uptime) {}

  double now() const override { return now_.load(); }
  double uptime() const override { return uptime_.load(); }

  // Moves the wall clock alone, as a clock adjustment would.
  void advanceWallClock(double seconds) { now_.store(now_.load() + seconds); }

  void advance(double seconds) {
    now_.store(now_.load() + seconds);
    uptime_.store(uptime_.load() + seconds);
  }

private:
  std::atomic<double> now_;
  std::atomic<double> uptime_;
};

} // namespace notch::testing
