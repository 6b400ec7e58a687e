#pragma once

// The pure rules of the hook configuration: validating a settings document,
// recognising and removing the program's own entries without touching
// anybody else's, and adding its entries. Every rule throws
// HookInstallerFailure with its Chinese message and never returns a
// half-changed document.

#include <optional>
#include <string>

#include "support/Json.h"

namespace notch::HookRules {

inline constexpr int approvalTimeout = 60;
inline constexpr int completionTimeout = 2;

// The root object of a settings file's bytes (an empty object when absent),
// after validating every event, group and hook in it, foreign ones included.
Json validateSettings(const std::optional<std::string>& data);

// Validates the value of the root's "hooks" key.
void validateHooks(const Json& hooks);

// The command of a hook object of type "command", or nullptr.
const std::string* commandOf(const Json& hook);
// Whether a command is the program's own approval hook (any profile), or its
// own turn-end hook or probe.
bool isOwnApprovalCommand(const std::string& command);
bool isOwnCompletionCommand(const std::string& command);

// `hooks` without the program's approval hooks (and its legacy
// "PreToolUse"/"Bash" interception), of any profile. Fails when an own hook
// was edited by hand.
Json removeOwnApprovalHooks(const Json& hooks);

// `hooks` without the program's turn-end hooks and probes.
Json removeOwnCompletionHooks(const Json& hooks);

// Whole-document edits, made in place so that a large file is held once;
// each returns whether the document changed. Installing replaces any own
// entry; removing drops the root's "hooks" key when it ends up empty. After
// a failure `root` is unspecified and must be discarded.
bool installApprovalHook(Json& root, const std::string& command);
bool uninstallApprovalHooks(Json& root);
bool installCompletionHooks(Json& root, const std::string& command);
bool uninstallCompletionHooks(Json& root);

// The group the approval hook is written as.
Json approvalGroup(const std::string& command);

} // namespace notch::HookRules
