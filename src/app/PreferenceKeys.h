#pragma once

// The app's preferences, their keys and the defaults the app model
// registers. "nativeApprovalsEnabled" has no registered default on purpose:
// native cards stay off until the user turns them on.

#include <map>
#include <string>

namespace notch::PreferenceKeys {

inline constexpr const char* hoverToExpand = "hoverToExpand";
inline constexpr const char* autoCollapse = "autoCollapse";
inline constexpr const char* questionReminders = "questionRemindersEnabled";
inline constexpr const char* completionReminders = "completionRemindersEnabled";
inline constexpr const char* nativeApprovals = "nativeApprovalsEnabled";

inline std::map<std::string, bool> registeredDefaults() {
  return {{hoverToExpand, true}, {autoCollapse, true}, {questionReminders, true}, {completionReminders, false}};
}

} // namespace notch::PreferenceKeys
