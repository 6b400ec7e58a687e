#include "core/config/HookInstaller.h"

#include <functional>

#include "core/config/HookCommand.h"
#include "core/config/HookRules.h"
#include "core/config/SettingsFile.h"
#include "core/text/PublicText.h"
#include "support/Json.h"

namespace notch {
namespace {

constexpr std::string_view kMissingFileBackup = "{}\n";

[[noreturn]] void fail(const char* message) { throw HookInstallerFailure(message); }

void refuseInterceptBash(bool interceptBash) {
  if (interceptBash) {
    fail("已停用逐命令拦截；仅支持 WorkBuddy真实权限请求。");
  }
}

std::string serialised(const Json& root, std::size_t sizeHint = 0) {
  auto text = writePrettyJson(root, sizeHint + sizeHint / 4 + 4096);
  if (!text) {
    fail("配置无法写成 JSON；未修改文件。");
  }
  return *text + "\n";
}

// The protocol of every writing operation. `edit` changes the validated
// root in place and tells whether it changed anything; `missing` is the
// failure for an absent file, or null when an absent file is created.
std::string writeOperation(const FileSystem& fileSystem, const std::string& settingsURL, const char* missing,
                           const std::function<bool(Json&)>& edit) {
  const bool create = missing == nullptr;
  const auto location = SettingsLocation::open(settingsURL, create, fileSystem);
  if (!location) {
    fail(create ? "无法打开配置目录。" : missing);
  }
  std::string backup;
  SettingsFile::withInstallLock(*location, [&] {
    SettingsFile::removeLeftovers(*location);
    const SettingsSnapshot first = SettingsFile::read(*location);
    if (!first.data && !create) {
      fail(missing);
    }
    Json root = HookRules::validateSettings(first.data);
    const bool rewrite = edit(root) || !first.data;
    const std::string bytes = rewrite ? serialised(root, first.data ? first.data->size() : 0) : std::string();
    if (bytes.size() > SettingsLocation::maximumBytes) {
      // Written anyway, the file could never be read again: not even to
      // remove this hook.
      fail("修改后的配置将超过 4 MB，之后无法再安全读取；未修改文件。");
    }
    backup = SettingsFile::makeBackup(*location, first.data ? std::string_view(*first.data) : kMissingFileBackup);
    if (rewrite) {
      SettingsFile::replaceAtomically(*location, bytes, first);
    } else {
      SettingsFile::verifyUnchanged(*location, first);
    }
  });
  return backup;
}

// Inspection of one hook of the program, as the settings window sees it.
struct InspectionTally {
  bool sawOwn = false;
  bool changed = false;
  bool elsewhere = false;
  bool exact = false;
  bool interceptBash = false;
};

void inspectOwnHook(InspectionTally& tally, const std::string& event, const Json& group, const Json& hook,
                    const std::vector<std::string>& arguments, TargetApplicationProfile profile,
                    const std::optional<std::string>& executableURL) {
  tally.sawOwn = true;
  const bool permission = event == "PermissionRequest";
  const bool preToolUse = event == "PreToolUse";
  if (preToolUse) {
    tally.interceptBash = true;
  }
  bool otherKeys = false;
  for (const auto& [key, value] : group.items()) {
    otherKeys = otherKeys || (key != "hooks" && key != "matcher");
  }
  const std::string& command = *stringMember(hook, "command");
  const auto timeout = hook.find("timeout");
  const bool exactHook = hook.size() == 3 && timeout != hook.end() && timeout->is_number() &&
                         timeout->get<double>() == HookRules::approvalTimeout;
  const bool changed = (!permission && !preToolUse) || (permission && group.contains("matcher")) ||
                       (preToolUse && group.value("matcher", Json()) != "Bash") || !exactHook || otherKeys ||
                       arguments[3] != rawValue(profile) || !executableURL;
  if (changed) {
    tally.changed = true;
    return;
  }
  std::string expected;
  try {
    expected = HookCommand::approvalCommand(*executableURL, rawValue(profile));
  } catch (const HookInstallerFailure&) {
    tally.changed = true; // our own executable has no usable path
    return;
  }
  if (command != expected) {
    tally.elsewhere = true;
  } else if (permission) {
    tally.exact = true;
  }
}

SettingsHookConfiguration invalid(const std::string& message) {
  return {SettingsHookConfiguration::State::invalid, PublicText::administrative(message) + " 仅读取，未修改配置。",
          std::nullopt};
}

} // namespace

std::string HookInstaller::preview(const std::string& settingsURL, const std::string& executableURL,
                                   std::string_view source, bool interceptBash) const {
  refuseInterceptBash(interceptBash);
  const std::string command = HookCommand::approvalCommand(executableURL, source);
  if (const auto location = SettingsLocation::open(settingsURL, false, fileSystem_)) {
    HookRules::validateSettings(SettingsFile::read(*location).data);
  }
  const Json entry = {{"hooks", {{"PermissionRequest", Json::array({HookRules::approvalGroup(command)})}}}};
  const auto profile = profileFromRawValue(source);
  return std::string("目标配置：") + std::string(displayName(*profile)) +
         " · settings.json\n安装前将创建仅当前用户可读的备份，保留其他设置和他人的 hooks。\n"
         "仅接入 PermissionRequest，正常命令不弹窗；移除本应用旧版 PreToolUse 逐命令拦截。"
         "原生安全弹窗未必发送该事件，不以拦截全部命令作为替代。"
         "\n以下为拟添加 Hook 的展示摘要，不是可执行配置；真实路径和兼容协议标识保持不变。\n" +
         PublicText::administrative(serialised(entry));
}

std::string HookInstaller::install(const std::string& settingsURL, const std::string& executableURL,
                                   std::string_view source, bool interceptBash) const {
  refuseInterceptBash(interceptBash);
  const std::string command = HookCommand::approvalCommand(executableURL, source);
  return writeOperation(fileSystem_, settingsURL, nullptr,
                        [&](Json& root) { return HookRules::installApprovalHook(root, command); });
}

std::string HookInstaller::uninstall(const std::string& settingsURL) const {
  return writeOperation(fileSystem_, settingsURL, "配置文件不存在；没有可卸载的 hook。",
                        HookRules::uninstallApprovalHooks);
}

std::string HookInstaller::installCompletion(const std::string& settingsURL, const std::string& executableURL,
                                             bool probe) const {
  const std::string command = HookCommand::completionCommand(executableURL, probe);
  return writeOperation(fileSystem_, settingsURL, nullptr,
                        [&](Json& root) { return HookRules::installCompletionHooks(root, command); });
}

std::string HookInstaller::uninstallCompletion(const std::string& settingsURL) const {
  return writeOperation(fileSystem_, settingsURL, "配置文件不存在。", HookRules::uninstallCompletionHooks);
}

bool HookInstaller::completionInstalled(const std::string& settingsURL, const std::string& executableURL,
                                        bool probe) const {
  const std::string expected = HookCommand::completionCommand(executableURL, probe);
  const auto location = SettingsLocation::open(settingsURL, false, fileSystem_);
  if (!location) {
    return false;
  }
  const SettingsSnapshot first = SettingsFile::read(*location);
  const Json root = HookRules::validateSettings(first.data);
  const Json hooks = root.value("hooks", Json::object());
  HookRules::removeOwnCompletionHooks(hooks); // raises for an edited own entry

  bool installed = true;
  for (const char* event : {"UserPromptSubmit", "FinalStop"}) {
    int own = 0;
    int matching = 0;
    for (const Json& group : hooks.value(event, Json::array())) {
      for (const Json& hook : group.at("hooks")) {
        const std::string* command = HookRules::commandOf(hook);
        const bool isOwn = command != nullptr && HookRules::isOwnCompletionCommand(*command);
        own += isOwn ? 1 : 0;
        matching += isOwn && *command == expected ? 1 : 0;
      }
    }
    installed = installed && own == 1 && matching == 1;
  }
  SettingsFile::verifyUnchanged(*location, first);
  return installed;
}

SettingsHookConfiguration HookInstaller::inspectApprovalHooks(TargetApplicationProfile profile,
                                                              const std::string& settingsURL,
                                                              const std::optional<std::string>& executableURL) const {
  using State = SettingsHookConfiguration::State;
  std::optional<std::string> data;
  try {
    data = SettingsFile::readForInspection(settingsURL, fileSystem_);
  } catch (const SettingsHookConfiguration::InspectionError& error) {
    return invalid(error.message());
  }
  if (!data) {
    return {State::missing, "尚无 settings.json；确认安装后才会创建。", false};
  }
  const auto root = parseJson(*data);
  if (!root || !root->is_object()) {
    return invalid("settings.json 必须是 JSON 对象。");
  }
  const auto hooks = root->find("hooks");
  if (hooks == root->end()) {
    return {State::missing, "未发现本应用的 PermissionRequest 配置。", false};
  }
  try {
    HookRules::validateHooks(*hooks);
  } catch (const HookInstallerFailure& failure) {
    return invalid(failure.message());
  }

  InspectionTally tally;
  for (const auto& [event, groups] : hooks->items()) {
    for (const Json& group : groups) {
      for (const Json& hook : group.at("hooks")) {
        const std::string* command = HookRules::commandOf(hook);
        if (command == nullptr || !HookRules::isOwnApprovalCommand(*command)) {
          continue;
        }
        inspectOwnHook(tally, event, group, hook, *HookCommand::canonicalArguments(*command), profile, executableURL);
      }
    }
  }
  if (tally.changed) {
    return {State::review,
            "发现本应用命令，但来源、事件或选项有改动，无法确认有效接入。请检查配置；安装器不会覆盖手动修改的 Hook。",
            tally.interceptBash};
  }
  if (tally.elsewhere) {
    return {State::reconnect, "Hook 指向其他应用路径，无法确认该路径是否仍有效。请固定本应用位置后更新接入。",
            tally.interceptBash};
  }
  if (tally.exact) {
    return {State::installed, "PermissionRequest 命令与当前应用路径、所选版本完全匹配。", tally.interceptBash};
  }
  if (tally.sawOwn) {
    return {State::review, "发现本应用 Hook，但缺少完整的 PermissionRequest 接入，请检查或更新。", tally.interceptBash};
  }
  return {State::missing, "未发现本应用的完整 PermissionRequest 命令。", tally.interceptBash};
}

} // namespace notch
