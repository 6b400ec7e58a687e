#pragma once

#include "support/ManualTaskQueue.h"
#include "support/ManualClock.h"

namespace notch::testing {

// The tests' virtual time is the product's own manual clock and queue.
using FakeClock = ManualClock;
using notch::ManualTaskQueue;

} // namespace notch::testing
