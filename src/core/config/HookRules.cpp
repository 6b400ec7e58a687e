#include "core/config/HookRules.h"

#include <functional>

#include "core/config/HookCommand.h"
#include "core/config/HookInstallerFailure.h"

namespace notch::HookRules {
namespace {

constexpr const char* kApprovalEvents[] = {"PermissionRequest", "PreToolUse"};
constexpr const char* kCompletionEvents[] = {"UserPromptSubmit", "FinalStop"};

[[noreturn]] void fail(const char* message) { throw HookInstallerFailure(message); }

void validateHook(const Json& hook) {
  const auto type = hook.find("type");
  if (type == hook.end() || !type->is_string() || type->get_ref<const std::string&>().empty()) {
    fail("Hook type 必须是字符串。");
  }
  const std::string& kind = type->get_ref<const std::string&>();
  if (kind == "command" && stringMember(hook, "command") == nullptr) {
    fail("Command hook 缺少字符串 command。");
  }
  if (kind == "http" && stringMember(hook, "url") == nullptr) {
    fail("HTTP hook 缺少字符串 url。");
  }
  if (const auto timeout = hook.find("timeout"); timeout != hook.end() && !timeout->is_number()) {
    fail("Hook timeout 必须是数字。");
  }
}

bool isArrayOfObjects(const Json& value) {
  if (!value.is_array()) {
    return false;
  }
  for (const Json& element : value) {
    if (!element.is_object()) {
      return false;
    }
  }
  return true;
}

// Exactly {"type":"command","command":command,"timeout":timeout}.
bool isExactHook(const Json& hook, const std::string& command, int timeout) {
  const auto value = hook.find("timeout");
  return hook.size() == 3 && hook.value("type", Json()) == "command" && hook.value("command", Json()) == command &&
         value != hook.end() && value->is_number() && value->get<double>() == timeout;
}

// Decides, for one own hook in its group and event, whether it is intact;
// a rule throws when it is not.
using OwnHookCheck = std::function<void(const std::string& event, const Json& group, const Json& hook)>;
using OwnHookTest = std::function<bool(const std::string& command)>;

// Removes own hooks from the events named; groups and events emptied by the
// removal go, as `dropEmptyGroup` decides for groups.
template <std::size_t N>
Json removeOwnHooks(const Json& hooks, const char* const (&events)[N], const OwnHookTest& isOwn,
                    const OwnHookCheck& check, const std::function<bool(const Json& group)>& dropEmptyGroup) {
  Json result = hooks;
  for (const char* event : events) {
    const auto groups = hooks.find(event);
    if (groups == hooks.end() || !groups->is_array()) {
      continue;
    }
    Json kept = Json::array();
    for (const Json& group : *groups) {
      Json remaining = Json::array();
      bool lostHooks = false;
      for (const Json& hook : group.at("hooks")) {
        const std::string* command = commandOf(hook);
        if (command != nullptr && isOwn(*command)) {
          check(event, group, hook);
          lostHooks = true;
        } else {
          remaining.push_back(hook);
        }
      }
      if (!lostHooks) {
        kept.push_back(group);
      } else if (!remaining.empty() || !dropEmptyGroup(group)) {
        Json changed = group;
        changed["hooks"] = std::move(remaining);
        kept.push_back(std::move(changed));
      }
    }
    if (kept.empty()) {
      result.erase(event);
    } else {
      result[event] = std::move(kept);
    }
  }
  return result;
}

bool onlyHooksAndMatcher(const Json& group) {
  for (const auto& [key, value] : group.items()) {
    if (key != "hooks" && key != "matcher") {
      return false;
    }
  }
  return true;
}

// The root's "hooks" after `edit`; the key goes when nothing is left.
Json withEditedHooks(Json root, const std::function<Json(const Json&)>& edit, bool dropWhenEmpty) {
  const auto hooks = root.find("hooks");
  const Json current = hooks != root.end() ? *hooks : Json::object();
  Json edited = edit(current);
  if (dropWhenEmpty && edited.empty()) {
    root.erase("hooks");
  } else {
    root["hooks"] = std::move(edited);
  }
  return root;
}

Json commandGroup(const std::string& command, int timeout) {
  return Json{{"hooks", Json::array({Json{{"type", "command"}, {"command", command}, {"timeout", timeout}}})}};
}

} // namespace

const std::string* commandOf(const Json& hook) {
  return hook.value("type", Json()) == "command" ? stringMember(hook, "command") : nullptr;
}

bool isOwnApprovalCommand(const std::string& command) {
  return HookCommand::isOwnCommand(command, HookCommand::approvalFlag, HookCommand::ownerMarker);
}

bool isOwnCompletionCommand(const std::string& command) {
  return HookCommand::isOwnCommand(command, HookCommand::completionProbeFlag, HookCommand::completionProbeMarker,
                                   "workbuddy") ||
         HookCommand::isOwnCommand(command, HookCommand::completionFlag, HookCommand::completionMarker, "workbuddy");
}

void validateHooks(const Json& hooks) {
  if (!hooks.is_object()) {
    fail("hooks 必须是 JSON 对象。");
  }
  for (const auto& [event, groups] : hooks.items()) {
    if (!isArrayOfObjects(groups)) {
      fail("Hook 事件必须包含分组数组。");
    }
    for (const Json& group : groups) {
      if (const auto matcher = group.find("matcher"); matcher != group.end() && !matcher->is_string()) {
        fail("Hook matcher 必须是字符串。");
      }
      const auto members = group.find("hooks");
      if (members == group.end() || !isArrayOfObjects(*members)) {
        fail("Hook 分组必须包含 hooks 数组。");
      }
      for (const Json& hook : *members) {
        validateHook(hook);
      }
    }
  }
}

Json validateSettings(const std::optional<std::string>& data) {
  if (!data) {
    return Json::object();
  }
  auto root = parseJson(*data);
  if (!root || !root->is_object()) {
    fail("配置必须是合法 JSON 对象；未修改文件。");
  }
  if (const auto hooks = root->find("hooks"); hooks != root->end()) {
    validateHooks(*hooks);
  }
  return std::move(*root);
}

Json removeOwnApprovalHooks(const Json& hooks) {
  const OwnHookCheck check = [](const std::string& event, const Json& group, const Json& hook) {
    const bool matcherFits =
        event == "PermissionRequest" ? !group.contains("matcher") : group.value("matcher", Json()) == "Bash";
    if (!matcherFits || !isExactHook(hook, *stringMember(hook, "command"), approvalTimeout)) {
      fail("本应用的 hook 已被手动修改；为避免覆盖更改，操作已停止。");
    }
  };
  return removeOwnHooks(hooks, kApprovalEvents, isOwnApprovalCommand, check, onlyHooksAndMatcher);
}

Json removeOwnCompletionHooks(const Json& hooks) {
  const OwnHookCheck check = [](const std::string&, const Json& group, const Json& hook) {
    if (group.size() != 1 || !isExactHook(hook, *stringMember(hook, "command"), completionTimeout)) {
      fail("结束提醒 Hook 的选项已被修改，请先手动核对；未覆盖配置。");
    }
  };
  return removeOwnHooks(hooks, kCompletionEvents, isOwnCompletionCommand, check, [](const Json&) { return true; });
}

Json approvalGroup(const std::string& command) { return commandGroup(command, approvalTimeout); }

Json withApprovalHook(Json root, const std::string& command) {
  return withEditedHooks(
      std::move(root),
      [&](const Json& hooks) {
        Json cleaned = removeOwnApprovalHooks(hooks);
        Json& groups = cleaned["PermissionRequest"];
        if (groups.is_null()) {
          groups = Json::array();
        }
        groups.push_back(approvalGroup(command));
        return cleaned;
      },
      false);
}

Json withoutApprovalHooks(Json root) {
  if (!root.contains("hooks")) {
    return root;
  }
  return withEditedHooks(std::move(root), removeOwnApprovalHooks, true);
}

Json withCompletionHooks(Json root, const std::string& command) {
  return withEditedHooks(
      std::move(root),
      [&](const Json& hooks) {
        Json cleaned = removeOwnCompletionHooks(hooks);
        for (const char* event : kCompletionEvents) {
          Json& groups = cleaned[event];
          if (groups.is_null()) {
            groups = Json::array();
          }
          groups.push_back(commandGroup(command, completionTimeout));
        }
        return cleaned;
      },
      false);
}

Json withoutCompletionHooks(Json root) {
  if (!root.contains("hooks")) {
    return root;
  }
  return withEditedHooks(std::move(root), removeOwnCompletionHooks, true);
}

} // namespace notch::HookRules
