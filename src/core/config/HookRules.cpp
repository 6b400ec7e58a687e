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

template <std::size_t N> using EventNames = const char* const (&)[N];

// Removes own hooks from the events named, in place. Every own hook is
// checked before anything changes. Groups emptied by the removal go as
// `dropEmptyGroup` decides; events left without groups go.
template <std::size_t N>
void removeOwnHooks(Json& hooks, EventNames<N> events, const OwnHookTest& isOwn, const OwnHookCheck& check,
                    const std::function<bool(const Json& group)>& dropEmptyGroup) {
  auto own = [&](const Json& hook) {
    const std::string* command = commandOf(hook);
    return command != nullptr && isOwn(*command);
  };
  for (const char* event : events) {
    for (const Json& group : hooks.value(event, Json::array())) {
      for (const Json& hook : group.at("hooks")) {
        if (own(hook)) {
          check(event, group, hook);
        }
      }
    }
  }
  for (const char* event : events) {
    const auto groups = hooks.find(event);
    if (groups == hooks.end() || !groups->is_array()) {
      continue;
    }
    Json kept = Json::array();
    for (Json& group : *groups) {
      auto& members = group.at("hooks").get_ref<Json::array_t&>();
      const std::size_t before = members.size();
      std::erase_if(members, own);
      if (members.size() == before || !members.empty() || !dropEmptyGroup(group)) {
        kept.push_back(std::move(group));
      }
    }
    if (kept.empty()) {
      hooks.erase(event);
    } else {
      *groups = std::move(kept);
    }
  }
}

// Runs `edit` on the root's "hooks" (created when absent) and tells whether
// the document changed. Only the events an edit may touch are copied for the
// comparison, not the whole document.
template <std::size_t N>
bool editHooks(Json& root, EventNames<N> events, bool dropEmptyHooks, const std::function<void(Json& hooks)>& edit) {
  const bool hadHooks = root.contains("hooks");
  const Json* existing = hadHooks ? &root.at("hooks") : nullptr;
  std::vector<std::optional<Json>> before;
  for (const char* event : events) {
    before.push_back(existing != nullptr && existing->contains(event) ? std::optional<Json>(existing->at(event))
                                                                      : std::nullopt);
  }
  Json& hooks = root["hooks"];
  if (!hadHooks) {
    hooks = Json::object();
  }
  edit(hooks);
  if (dropEmptyHooks && hooks.empty()) {
    root.erase("hooks");
    return hadHooks;
  }
  if (!hadHooks) {
    return true;
  }
  for (std::size_t i = 0; i < N; ++i) {
    const bool present = hooks.contains(events[i]);
    if (present != before[i].has_value() || (present && hooks.at(events[i]) != *before[i])) {
      return true;
    }
  }
  return false;
}

bool onlyHooksAndMatcher(const Json& group) {
  for (const auto& [key, value] : group.items()) {
    if (key != "hooks" && key != "matcher") {
      return false;
    }
  }
  return true;
}

Json commandGroup(const std::string& command, int timeout) {
  return Json{{"hooks", Json::array({Json{{"type", "command"}, {"command", command}, {"timeout", timeout}}})}};
}

} // namespace

static void removeOwnApprovalHooksInPlace(Json& hooks);
static void removeOwnCompletionHooksInPlace(Json& hooks);

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

void removeOwnApprovalHooksInPlace(Json& hooks) {
  const OwnHookCheck check = [](const std::string& event, const Json& group, const Json& hook) {
    const bool matcherFits =
        event == "PermissionRequest" ? !group.contains("matcher") : group.value("matcher", Json()) == "Bash";
    if (!matcherFits || !isExactHook(hook, *stringMember(hook, "command"), approvalTimeout)) {
      fail("本应用的 hook 已被手动修改；为避免覆盖更改，操作已停止。");
    }
  };
  removeOwnHooks(hooks, kApprovalEvents, isOwnApprovalCommand, check, onlyHooksAndMatcher);
}

void removeOwnCompletionHooksInPlace(Json& hooks) {
  const OwnHookCheck check = [](const std::string&, const Json& group, const Json& hook) {
    if (group.size() != 1 || !isExactHook(hook, *stringMember(hook, "command"), completionTimeout)) {
      fail("结束提醒 Hook 的选项已被修改，请先手动核对；未覆盖配置。");
    }
  };
  removeOwnHooks(hooks, kCompletionEvents, isOwnCompletionCommand, check, [](const Json&) { return true; });
}

Json removeOwnApprovalHooks(const Json& hooks) {
  Json result = hooks;
  removeOwnApprovalHooksInPlace(result);
  return result;
}

Json removeOwnCompletionHooks(const Json& hooks) {
  Json result = hooks;
  removeOwnCompletionHooksInPlace(result);
  return result;
}

Json approvalGroup(const std::string& command) { return commandGroup(command, approvalTimeout); }

bool installApprovalHook(Json& root, const std::string& command) {
  return editHooks(root, kApprovalEvents, false, [&](Json& hooks) {
    removeOwnApprovalHooksInPlace(hooks);
    Json& groups = hooks["PermissionRequest"];
    if (groups.is_null()) {
      groups = Json::array();
    }
    groups.push_back(approvalGroup(command));
  });
}

bool uninstallApprovalHooks(Json& root) {
  return root.contains("hooks") && editHooks(root, kApprovalEvents, true, removeOwnApprovalHooksInPlace);
}

bool installCompletionHooks(Json& root, const std::string& command) {
  return editHooks(root, kCompletionEvents, false, [&](Json& hooks) {
    removeOwnCompletionHooksInPlace(hooks);
    for (const char* event : kCompletionEvents) {
      Json& groups = hooks[event];
      if (groups.is_null()) {
        groups = Json::array();
      }
      groups.push_back(commandGroup(command, completionTimeout));
    }
  });
}

bool uninstallCompletionHooks(Json& root) {
  return root.contains("hooks") && editHooks(root, kCompletionEvents, true, removeOwnCompletionHooksInPlace);
}

} // namespace notch::HookRules
