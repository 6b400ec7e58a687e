#pragma once

// Reading a hook's standard input. WorkBuddy writes the hook JSON and closes
// its end, but a host that leaves it open, or hands over a non-blocking
// descriptor, must neither stall the hook nor make it give up too early: the
// input is read to its end within a fixed budget, waiting for data in short
// polls.

#include <cstddef>
#include <optional>
#include <string>

#include "support/Clock.h"

namespace notch {

struct HookInputLimits {
  double budget = 5.0;   // seconds of uptime for all of it, end of input included
  double pollStep = 0.1; // longest single wait for data
  std::size_t chunkBytes = 16'384;
  std::size_t limitBytes = 1'048'576;
};

// All of `fd` up to its end, or nullopt when the end does not come within
// the budget, the input is larger than the limit, or a read fails.
std::optional<std::string> readHookInput(int fd, const Clock& clock, const HookInputLimits& limits);

} // namespace notch
