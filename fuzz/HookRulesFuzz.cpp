// Arbitrary settings documents through validation and the install and
// removal rules. Whatever the rules accept must come out serialisable and
// valid, with every foreign hook still there in its order and every other
// key untouched, and applying an install twice must change nothing more.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/config/HookCommand.h"
#include "core/config/HookInstallerFailure.h"
#include "core/config/HookRules.h"
#include "support/Json.h"

namespace {

using notch::Json;

void require(bool condition) {
  if (!condition) {
    std::abort();
  }
}

// The hooks that are not the program's own, event by event, in order.
std::vector<Json> foreignHooks(const Json& root, const char* event) {
  std::vector<Json> hooks;
  const Json all = root.value("hooks", Json::object());
  for (const Json& group : all.value(event, Json::array())) {
    for (const Json& hook : group.at("hooks")) {
      const std::string* command = notch::HookRules::commandOf(hook);
      if (command == nullptr || !notch::HookRules::isOwnApprovalCommand(*command)) {
        hooks.push_back(hook);
      }
    }
  }
  return hooks;
}

void checkEdit(const Json& before, const Json& after) {
  const auto text = notch::writePrettyJson(after);
  require(text.has_value());
  require(notch::HookRules::validateSettings(*text + "\n") == after);
  for (const char* event : {"PermissionRequest", "PreToolUse"}) {
    require(foreignHooks(before, event) == foreignHooks(after, event));
  }
  for (const auto& [key, value] : before.items()) {
    require(key == "hooks" || after.at(key) == value);
  }
  const Json beforeHooks = before.value("hooks", Json::object());
  for (const auto& [event, groups] : beforeHooks.items()) {
    require(event == "PermissionRequest" || event == "PreToolUse" || after.at("hooks").at(event) == groups);
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  if (notch::HookCommand::isOwnCommand(text, "--hook", notch::HookCommand::ownerMarker)) {
    require(notch::HookCommand::canonicalArguments(text).has_value());
  }
  Json root;
  try {
    root = notch::HookRules::validateSettings(text);
  } catch (const notch::HookInstallerFailure&) {
    return 0;
  }
  const std::string command = notch::HookCommand::approvalCommand("/Applications/V'D.app/VantrelNotch", "workbuddy");
  try {
    Json installed = root;
    require(notch::HookRules::installApprovalHook(installed, command) == (installed != root));
    checkEdit(root, installed);
    Json again = installed;
    require(!notch::HookRules::installApprovalHook(again, command) && again == installed);
    Json removed = installed;
    require(notch::HookRules::uninstallApprovalHooks(removed) == (removed != installed));
    checkEdit(installed, removed);
  } catch (const notch::HookInstallerFailure&) {
    // A hand-edited own hook stops the install; removal must stop too.
    try {
      Json copy = root;
      notch::HookRules::uninstallApprovalHooks(copy);
      std::abort();
    } catch (const notch::HookInstallerFailure&) {
    }
  }
  return 0;
}
