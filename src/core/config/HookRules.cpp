#include "core/config/HookRules.h"

#include <array>
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

// Decides, for one own hook in its group and event, whether it is intact;
// a rule throws when it is not.
using OwnHookCheck = std::function<void(const std::string& event, const Json& group, const Json& hook)>;
using OwnHookTest = std::function<bool(const std::string& command)>;

constexpr std::size_t kEventsPerKind = 2;
using EventNames = const char* const (&)[kEventsPerKind];

// What a removal did to one event, so that an edit can tell whether the
// document changed without keeping a copy of it.
struct EventRemoval {
  std::size_t removedHooks = 0;
  std::size_t droppedGroups = 0;
  bool eventRemoved = false;
  bool changed() const { return removedHooks > 0 || eventRemoved; }
};
using Removals = std::array<EventRemoval, kEventsPerKind>;

// Removes own hooks from the events named, in place. Every own hook is
// checked before anything changes. Groups emptied by the removal go as
// `dropEmptyGroup` decides; events left without groups go.
Removals removeOwnHooks(Json& hooks, EventNames events, const OwnHookTest& isOwn, const OwnHookCheck& check,
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
  Removals removals{};
  for (std::size_t i = 0; i < kEventsPerKind; ++i) {
    const auto groups = hooks.find(events[i]);
    if (groups == hooks.end() || !groups->is_array()) {
      continue;
    }
    Json kept = Json::array();
    for (Json& group : *groups) {
      auto& members = group.at("hooks").get_ref<Json::array_t&>();
      const std::size_t before = members.size();
      removals[i].removedHooks += static_cast<std::size_t>(std::erase_if(members, own));
      if (members.size() == before || !members.empty() || !dropEmptyGroup(group)) {
        kept.push_back(std::move(group));
      } else {
        ++removals[i].droppedGroups;
      }
    }
    if (kept.empty()) {
      hooks.erase(events[i]);
      removals[i].eventRemoved = true;
    } else {
      *groups = std::move(kept);
    }
  }
  return removals;
}

using Removal = std::function<Removals(Json& hooks)>;

// Whether the last group of `event` is `group`.
bool endsWith(const Json& hooks, const char* event, const Json& group) {
  const auto groups = hooks.find(event);
  return groups != hooks.end() && groups->is_array() && !groups->empty() && groups->back() == group;
}

// Removes own hooks, then appends `group` to the first `written` events.
// The document is unchanged exactly when `group` already closed each of
// those events and was the only thing the removal took away.
bool replaceOwnGroups(Json& root, EventNames events, std::size_t written, const Json& group, const Removal& remove) {
  const bool hadHooks = root.contains("hooks");
  Json& hooks = root["hooks"];
  if (!hadHooks) {
    hooks = Json::object();
  }
  bool alreadyThere = hadHooks;
  for (std::size_t i = 0; i < written; ++i) {
    alreadyThere = alreadyThere && endsWith(hooks, events[i], group);
  }
  const Removals removals = remove(hooks);
  bool unchanged = alreadyThere;
  for (std::size_t i = 0; i < kEventsPerKind; ++i) {
    const std::size_t expected = i < written ? 1 : 0;
    unchanged = unchanged && removals[i].removedHooks == expected && removals[i].droppedGroups == expected &&
                (i < written || !removals[i].eventRemoved);
    if (i < written) {
      Json& groups = hooks[events[i]];
      if (groups.is_null()) {
        groups = Json::array();
      }
      groups.push_back(group);
    }
  }
  return !unchanged;
}

// Removes own hooks; the root's "hooks" key goes when nothing is left.
bool removeOwnGroups(Json& root, const Removal& remove) {
  if (!root.contains("hooks")) {
    return false;
  }
  Json& hooks = root["hooks"];
  bool changed = false;
  for (const EventRemoval& removal : remove(hooks)) {
    changed = changed || removal.changed();
  }
  if (hooks.empty()) {
    root.erase("hooks");
    return true;
  }
  return changed;
}

Removals removeOwnApprovalHooksInPlace(Json& hooks) {
  const OwnHookCheck check = [](const std::string& event, const Json& group, const Json& hook) {
    const bool matcherFits =
        event == "PermissionRequest" ? !group.contains("matcher") : group.value("matcher", Json()) == "Bash";
    if (!matcherFits || !isExactHook(hook, *stringMember(hook, "command"), approvalTimeout)) {
      fail("本应用的 hook 已被手动修改；为避免覆盖更改，操作已停止。");
    }
  };
  return removeOwnHooks(hooks, kApprovalEvents, isOwnApprovalCommand, check, onlyHooksAndMatcher);
}

Removals removeOwnCompletionHooksInPlace(Json& hooks) {
  const OwnHookCheck check = [](const std::string&, const Json& group, const Json& hook) {
    if (group.size() != 1 || !isExactHook(hook, *stringMember(hook, "command"), completionTimeout)) {
      fail("结束提醒 Hook 的选项已被修改，请先手动核对；未覆盖配置。");
    }
  };
  return removeOwnHooks(hooks, kCompletionEvents, isOwnCompletionCommand, check, [](const Json&) { return true; });
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
  // "PermissionRequest" is written; "PreToolUse" is only cleaned.
  return replaceOwnGroups(root, kApprovalEvents, 1, approvalGroup(command), removeOwnApprovalHooksInPlace);
}

bool uninstallApprovalHooks(Json& root) { return removeOwnGroups(root, removeOwnApprovalHooksInPlace); }

bool installCompletionHooks(Json& root, const std::string& command) {
  return replaceOwnGroups(root, kCompletionEvents, 2, commandGroup(command, completionTimeout),
                          removeOwnCompletionHooksInPlace);
}

bool uninstallCompletionHooks(Json& root) { return removeOwnGroups(root, removeOwnCompletionHooksInPlace); }

} // namespace notch::HookRules
