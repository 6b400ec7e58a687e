#pragma once

#include <atomic>

#include "support/Clock.h"

namespace notch {

// A clock moved by hand (the tests' virtual time, and the built-in UI
// checks'); safe to read from any thread.
class ManualClock final : public Clock {
public:
  explicit ManualClock(double now = 800'000'000.0, double uptime = 1'000.0) : now_(now), uptime_(uptime) {}

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

} // namespace notch
