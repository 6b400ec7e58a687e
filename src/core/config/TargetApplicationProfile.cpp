#include "core/config/TargetApplicationProfile.h"

namespace notch {

std::optional<TargetApplicationProfile> profileFromRawValue(std::string_view value) {
  for (TargetApplicationProfile profile : allTargetApplicationProfiles) {
    if (value == rawValue(profile)) {
      return profile;
    }
  }
  return std::nullopt;
}

std::optional<TargetApplicationProfile> profileFromCommandLineName(std::string_view name) {
  if (name == "target") {
    return TargetApplicationProfile::workbuddy;
  }
  if (name == "targetAI") {
    return TargetApplicationProfile::workbuddyAI;
  }
  return profileFromRawValue(name);
}

std::string_view rawValue(TargetApplicationProfile profile) {
  return profile == TargetApplicationProfile::workbuddyAI ? "workbuddyAI" : "workbuddy";
}

std::string_view displayName(TargetApplicationProfile profile) {
  return profile == TargetApplicationProfile::workbuddyAI ? "WorkBuddy（AI 版）" : "WorkBuddy";
}

std::string settingsURL(TargetApplicationProfile profile, const std::string& home) {
  const char* directory = profile == TargetApplicationProfile::workbuddyAI ? ".workbuddy-ai" : ".workbuddy";
  std::string url = home;
  if (!url.empty() && url.back() != '/') {
    url += '/';
  }
  return url + directory + "/settings.json";
}

std::vector<std::string> bundleCandidates(std::string_view source) {
  if (source == "workbuddyAI") {
    return {"/Applications/WorkBuddy AI.app", "/Applications/WorkBuddy.app"};
  }
  return {"/Applications/WorkBuddy.app", "/Applications/WorkBuddy AI.app"};
}

} // namespace notch
