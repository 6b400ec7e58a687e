#include "core/config/ConfiguredProfiles.h"

#include "core/config/HookCommand.h"
#include "core/config/SettingsFile.h"
#include "core/config/SettingsHookConfiguration.h"
#include "core/config/TargetApplicationProfile.h"
#include "support/Json.h"

namespace notch {
namespace {

bool isInstalledEntry(const Json& hook, const std::string& command) {
  if (!hook.is_object()) {
    return false;
  }
  const std::string* type = stringMember(hook, "type");
  const std::string* written = stringMember(hook, "command");
  const auto timeout = hook.find("timeout");
  return type != nullptr && *type == "command" && written != nullptr && *written == command && timeout != hook.end() &&
         timeout->is_number_integer() && *timeout == 60;
}

bool holdsApprovalHook(const Json& root, const std::string& command) {
  const auto hooks = root.is_object() ? root.find("hooks") : root.end();
  if (hooks == root.end() || !hooks->is_object()) {
    return false;
  }
  const auto groups = hooks->find("PermissionRequest");
  if (groups == hooks->end() || !groups->is_array()) {
    return false;
  }
  for (const Json& group : *groups) {
    const auto entries = group.is_object() && !group.contains("matcher") ? group.find("hooks") : group.end();
    if (entries == group.end() || !entries->is_array()) {
      continue;
    }
    for (const Json& hook : *entries) {
      if (isInstalledEntry(hook, command)) {
        return true;
      }
    }
  }
  return false;
}

bool isConfigured(const FileSystem& fileSystem, TargetApplicationProfile profile, const std::string& home,
                  const std::string& executable) {
  std::optional<std::string> data;
  try {
    data = SettingsFile::readForInspection(settingsURL(profile, home), fileSystem);
  } catch (const SettingsHookConfiguration::InspectionError&) {
    return false;
  }
  const std::optional<Json> root = data ? parseJson(*data) : std::nullopt;
  return root && holdsApprovalHook(*root, HookCommand::approvalCommand(executable, rawValue(profile)));
}

} // namespace

std::vector<std::string> configuredProfiles(const FileSystem& fileSystem, const std::string& home,
                                            const std::string& executable) {
  std::vector<std::string> names;
  for (const TargetApplicationProfile profile : allTargetApplicationProfiles) {
    if (isConfigured(fileSystem, profile, home, executable)) {
      names.emplace_back(displayName(profile));
    }
  }
  return names;
}

} // namespace notch
