#pragma once

// The accessibility diagnosis: whether the process may read other
// applications' windows, then 1.8 s of the real native monitor watching
// WorkBuddy with approvals on, printing one line per recognised card
// (never its contents) and every status line the monitor reports. For a
// user (or a support request) asking "does the notch see my WorkBuddy?".

#include <functional>
#include <string_view>

namespace notch {

class Accessibility;
class Clock;
class TaskQueue;
class Workspace;

struct NativeDiagnosisEnvironment {
  const Accessibility& accessibility;
  const Workspace& workspace;
  const Clock& clock;
  TaskQueue& monitorQueue;
  // Runs the main loop for this many seconds, then returns.
  std::function<void(double seconds)> runMainLoopFor;
  // Prints one line; called from any thread.
  std::function<void(std::string_view line)> printLine;
};

inline constexpr double nativeDiagnosisDuration = 1.8;

// Always 0: the diagnosis reports, it does not fail.
int runNativeDiagnosis(const NativeDiagnosisEnvironment& environment);

} // namespace notch
