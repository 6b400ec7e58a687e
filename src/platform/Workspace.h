#pragma once

// The running applications as the native monitor needs to see them: every
// running instance with a given identifier (the bundle identifier on macOS,
// the announced application id on Linux), each with its pid and whether it
// is active (in front), hidden or terminated. Implementations answer from
// any thread: the native monitor asks on its own queue.

#include <cstdint>
#include <string_view>
#include <vector>

namespace notch {

struct RunningApplication {
  std::int32_t pid = 0;
  bool active = false;
  bool hidden = false;
  bool terminated = false;

  friend bool operator==(const RunningApplication&, const RunningApplication&) = default;
};

class Workspace {
public:
  virtual ~Workspace() = default;
  virtual std::vector<RunningApplication> runningApplications(std::string_view identifier) const = 0;
};

} // namespace notch
