#include <gtest/gtest.h>

#include <ctime>

#include "support/Clock.h"

namespace notch {
namespace {

TEST(ClockTest, WallClockCountsFromTheReferenceDate) {
  const double expected = static_cast<double>(std::time(nullptr)) - 978'307'200.0;
  EXPECT_NEAR(wallClockNow(), expected, 2.0);
  EXPECT_NEAR(systemClock().now(), expected, 2.0);
}

TEST(ClockTest, UptimeNeverGoesBack) {
  double previous = uptimeNow();
  for (int i = 0; i < 1000; ++i) {
    const double current = systemClock().uptime();
    ASSERT_GE(current, previous);
    previous = current;
  }
}

} // namespace
} // namespace notch
