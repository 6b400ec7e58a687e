#include "app/AppModelDependencies.h"

#include "app/PreferenceKeys.h"
#include "core/native/WorkBuddyInstances.h"
#include "platform/Preferences.h"
#include "platform/Workspace.h"

namespace notch {
namespace {

// The WorkBuddy process when it is the one with `pid`.
std::optional<RunningApplication> workBuddyWithPid(const Workspace& workspace, std::int32_t pid) {
  const std::vector<RunningApplication> running = WorkBuddyInstances(workspace).running();
  if (running.size() != 1 || running.front().pid != pid) {
    return std::nullopt;
  }
  return running.front();
}

} // namespace

AppModelDependencies AppModelDependencies::system(Workspace& workspace, const Preferences& preferences) {
  const auto preference = [&preferences](const char* key) {
    return [&preferences, key] { return preferences.boolValue(key); };
  };
  AppModelDependencies dependencies;
  dependencies.questionIsBackground = [&workspace](std::int32_t pid) {
    const auto workBuddy = workBuddyWithPid(workspace, pid);
    return workBuddy && !workBuddy->active && !workBuddy->hidden;
  };
  dependencies.questionActivate = [&workspace](std::int32_t pid) {
    const auto workBuddy = workBuddyWithPid(workspace, pid);
    return workBuddy && !workBuddy->hidden && workspace.activate(pid);
  };
  dependencies.questionFeatureEnabled = preference(PreferenceKeys::questionReminders);
  dependencies.completionTarget = [&workspace]() -> std::optional<std::int32_t> {
    const std::vector<RunningApplication> running = WorkBuddyInstances(workspace).running();
    return running.size() == 1 ? std::optional(running.front().pid) : std::nullopt;
  };
  dependencies.completionIsBackground = [&workspace](std::int32_t pid) {
    const auto workBuddy = workBuddyWithPid(workspace, pid);
    return workBuddy && !workBuddy->active;
  };
  dependencies.completionActivate = [&workspace](std::int32_t pid) {
    const auto workBuddy = workBuddyWithPid(workspace, pid);
    if (!workBuddy || (workBuddy->hidden && !workspace.unhide(pid))) {
      return false;
    }
    return workspace.activate(pid);
  };
  dependencies.completionFeatureEnabled = preference(PreferenceKeys::completionReminders);
  dependencies.completionAutoCollapseEnabled = preference(PreferenceKeys::autoCollapse);
  return dependencies;
}

} // namespace notch
