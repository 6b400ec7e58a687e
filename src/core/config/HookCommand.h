#pragma once

// The hook command lines this program writes into WorkBuddy's settings, and
// the exact recogniser of its own commands.
//
// A command is six arguments, each in single quotes (a quote inside written
// as '\''), joined by single spaces: the executable's absolute path, the
// mode flag, "--source", a profile, "--owner-marker" and the marker. Only
// that canonical form counts as the program's own; anything else a user or
// another program wrote is left alone.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace notch::HookCommand {

inline constexpr std::string_view ownerMarker = "vantrel-notch-v1";
inline constexpr std::string_view approvalFlag = "--hook";
inline constexpr std::string_view completionFlag = "--completion-hook";
inline constexpr std::string_view completionProbeFlag = "--completion-probe";
inline constexpr std::string_view completionMarker = "vantrel-notch-completion-v1";
inline constexpr std::string_view completionProbeMarker = "vantrel-notch-completion-probe-v1";

// One argument in single quotes.
std::string quote(std::string_view argument);

// The approval hook command for `executable` and profile `source`. Throws
// HookInstallerFailure unless the path is absolute without NUL or line feed
// and the source is a profile.
std::string approvalCommand(const std::string& executable, std::string_view source);

// The turn-end hook (or probe) command; always for the "workbuddy" source.
std::string completionCommand(const std::string& executable, bool probe);

// The six arguments of a command in the canonical form, or nullopt.
std::optional<std::vector<std::string>> canonicalArguments(std::string_view command);

// Whether `command` is the program's own command with `flag` and `marker`,
// for `source` when given (any profile otherwise). The executable path is
// not compared: a hook written from another location is still our own.
bool isOwnCommand(std::string_view command, std::string_view flag, std::string_view marker,
                  std::optional<std::string_view> source = std::nullopt);

} // namespace notch::HookCommand
