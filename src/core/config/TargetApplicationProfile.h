#pragma once

// WorkBuddy's two editions, which keep separate configuration. The raw value
// is also the word after --source on hook command lines and the `source` of
// approval requests.

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace notch {

enum class TargetApplicationProfile { workbuddy, workbuddyAI };

inline constexpr std::array<TargetApplicationProfile, 2> allTargetApplicationProfiles = {
    TargetApplicationProfile::workbuddy, TargetApplicationProfile::workbuddyAI};

// Exact, case-sensitive: "workbuddy" or "workbuddyAI".
std::optional<TargetApplicationProfile> profileFromRawValue(std::string_view rawValue);

// "target" / "targetAI", or a raw value; how --configure reads its argument.
std::optional<TargetApplicationProfile> profileFromCommandLineName(std::string_view name);

std::string_view rawValue(TargetApplicationProfile profile);
std::string_view displayName(TargetApplicationProfile profile);

// <home>/.workbuddy/settings.json or <home>/.workbuddy-ai/settings.json, for
// the home directory given (see homeDirectory()). Touches no file. Without a
// home directory the result is relative, which the settings layer refuses.
std::string settingsURL(TargetApplicationProfile profile, const std::string& home);

// Installed application bundles to open for a request of `source`, in the
// order they are tried.
std::vector<std::string> bundleCandidates(std::string_view source);

} // namespace notch
