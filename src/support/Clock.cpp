#include "support/Clock.h"

#include <time.h>

namespace notch {
namespace {

double secondsOf(clockid_t clock) {
  timespec value{};
  clock_gettime(clock, &value);
  return static_cast<double>(value.tv_sec) + static_cast<double>(value.tv_nsec) / 1e9;
}

} // namespace

double wallClockNow() { return secondsOf(CLOCK_REALTIME) - kUnixToReferenceDateOffset; }

double uptimeNow() { return secondsOf(CLOCK_MONOTONIC); }

} // namespace notch
