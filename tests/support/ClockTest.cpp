#include <gtest/gtest.h>

#include <ctime>

#include "support/Clock.h"

namespace notch {
namespace {

TEST(ClockTest, WallClockCountsFromTheReferenceDate) {
  const double expected = static_cast<double>(std::time(nullptr)) - 978'307'200.0;
  EXPECT_NEAR(wallClockNow(), expected, 2.0);
  EXPECT_NEAR(SystemClock().now(), expected, 2.0);
}

} // namespace
} // namespace notch
