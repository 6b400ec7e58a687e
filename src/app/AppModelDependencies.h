#pragma once

// What the app model asks about WorkBuddy for its reminders, as eight
// callbacks so that tests can answer in their place. "The WorkBuddy process"
// below means: exactly one running application with WorkBuddy's bundle
// identifier, and it has not terminated.

#include <cstdint>
#include <functional>
#include <optional>

namespace notch {

class Preferences;
class Workspace;

struct AppModelDependencies {
  using PidQuestion = std::function<bool(std::int32_t pid)>;

  // The WorkBuddy process has this pid, is not in front and is not hidden.
  PidQuestion questionIsBackground;
  // The WorkBuddy process has this pid and is not hidden; brings it to the
  // front and tells whether that worked.
  PidQuestion questionActivate;
  // Preference "questionRemindersEnabled".
  std::function<bool()> questionFeatureEnabled;
  // The WorkBuddy process's pid, if there is one.
  std::function<std::optional<std::int32_t>()> completionTarget;
  // The WorkBuddy process has this pid and is not in front (hidden counts).
  PidQuestion completionIsBackground;
  // The WorkBuddy process has this pid; shows it if hidden and brings it to the front.
  PidQuestion completionActivate;
  // Preference "completionRemindersEnabled".
  std::function<bool()> completionFeatureEnabled;
  // Preference "autoCollapse".
  std::function<bool()> completionAutoCollapseEnabled;

  // The production answers, asked of the workspace and the preferences
  // each time (both must outlive the callbacks).
  static AppModelDependencies system(Workspace& workspace, const Preferences& preferences);
};

} // namespace notch
