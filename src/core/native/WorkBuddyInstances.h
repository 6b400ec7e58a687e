#pragma once

// WorkBuddy's running instances as the workspace reports them, terminated
// ones left out, asked in the two ways the native monitor decides by:
// "the only instance" holds when exactly one instance runs and it is the one
// asked about; "any instance" holds when at least one of several does.
//
// Stateless: every question asks the workspace afresh, so an answer is never
// older than the call. Used on the native monitor's queue.

#include <cstdint>
#include <string_view>
#include <vector>

#include "platform/Workspace.h"

namespace notch {

class WorkBuddyInstances {
public:
  static constexpr std::string_view bundleIdentifier = "com.tencent.workbuddy.mac";

  explicit WorkBuddyInstances(const Workspace& workspace) : workspace_(workspace) {}

  std::vector<RunningApplication> running() const;

  // Exactly one instance runs, with this pid, neither in front nor hidden:
  // the only state in which a native card may be offered or pressed.
  bool onlyInstanceIsInBackground(std::int32_t pid) const;
  // Some instance with this pid is neither in front nor hidden.
  bool anyInstanceIsInBackground(std::int32_t pid) const;
  // Some instance is in front.
  bool anyInstanceIsActive() const;

private:
  const Workspace& workspace_;
};

} // namespace notch
