#pragma once

// The command line of both executable images: which one mode the arguments
// select, tried in a fixed order where the first trigger that matches wins,
// and the two ways a mode reads its flags. Arguments are compared exactly
// (case-sensitive, whole argument); "present" means anywhere after the
// program name.

#include <span>
#include <string_view>

namespace notch {

using CommandArguments = std::span<const std::string_view>; // after the program name

enum class CommandLineMode {
  transportIdentity,
  turnEndHook,
  configureCompletion,
  completionPreview,
  questionPreview,
  uiSelfTest,
  nativeDiagnose,
  configure,
  hook,
  help,
  version,
  application,
};

CommandLineMode selectMode(CommandArguments arguments);

// The modes that need the desktop libraries and so run in VantrelNotchApp.
bool runsInAppImage(CommandLineMode mode);

bool present(CommandArguments arguments, std::string_view flag);

// The argument after the first `flag`, or `fallback` when the flag is absent
// or last.
std::string_view valueAfter(CommandArguments arguments, std::string_view flag, std::string_view fallback);

} // namespace notch
