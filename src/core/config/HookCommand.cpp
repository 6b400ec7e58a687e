#include "core/config/HookCommand.h"

#include "core/config/HookInstallerFailure.h"
#include "core/config/TargetApplicationProfile.h"

namespace notch::HookCommand {
namespace {

std::string joinQuoted(const std::vector<std::string>& arguments) {
  std::string command;
  for (const std::string& argument : arguments) {
    if (!command.empty()) {
      command += ' ';
    }
    command += quote(argument);
  }
  return command;
}

bool isUsableExecutable(std::string_view path) {
  return !path.empty() && path.front() == '/' && path.find('\0') == std::string_view::npos &&
         path.find('\n') == std::string_view::npos;
}

std::string buildCommand(const std::string& executable, std::string_view flag, std::string_view source,
                         std::string_view marker) {
  if (!isUsableExecutable(executable) || !profileFromRawValue(source)) {
    throw HookInstallerFailure("需要绝对可执行文件路径和有效的 WorkBuddy来源。");
  }
  return joinQuoted(
      {executable, std::string(flag), "--source", std::string(source), "--owner-marker", std::string(marker)});
}

// Splits a command into its quoted tokens, or nullopt when it is not a
// sequence of single-quoted tokens separated by exactly one space.
std::optional<std::vector<std::string>> quotedTokens(std::string_view command) {
  if (command.empty() || command.front() != '\'') {
    return std::nullopt;
  }
  std::vector<std::string> tokens;
  std::string token;
  std::size_t i = 1;
  while (true) {
    if (i >= command.size()) {
      return std::nullopt; // unterminated quote
    }
    if (command[i] != '\'') {
      token += command[i++];
      continue;
    }
    if (command.size() - i - 1 >= 3 && command.substr(i + 1, 3) == "\\''") {
      token += '\'';
      i += 4;
      continue;
    }
    tokens.push_back(std::move(token));
    token.clear();
    ++i;
    if (i == command.size()) {
      return tokens;
    }
    if (command[i] != ' ' || i + 1 >= command.size() || command[i + 1] != '\'') {
      return std::nullopt;
    }
    i += 2;
  }
}

} // namespace

std::string quote(std::string_view argument) {
  std::string quoted = "'";
  for (char c : argument) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

std::string approvalCommand(const std::string& executable, std::string_view source) {
  return buildCommand(executable, approvalFlag, source, ownerMarker);
}

std::string completionCommand(const std::string& executable, bool probe) {
  return probe ? buildCommand(executable, completionProbeFlag, "workbuddy", completionProbeMarker)
               : buildCommand(executable, completionFlag, "workbuddy", completionMarker);
}

std::optional<std::vector<std::string>> canonicalArguments(std::string_view command) {
  auto tokens = quotedTokens(command);
  if (!tokens || tokens->size() != 6 || joinQuoted(*tokens) != command) {
    return std::nullopt;
  }
  return tokens;
}

bool isOwnCommand(std::string_view command, std::string_view flag, std::string_view marker,
                  std::optional<std::string_view> source) {
  const auto arguments = canonicalArguments(command);
  if (!arguments) {
    return false;
  }
  const auto& a = *arguments;
  return isUsableExecutable(a[0]) && a[1] == flag && a[2] == "--source" && profileFromRawValue(a[3]) &&
         (!source || a[3] == *source) && a[4] == "--owner-marker" && a[5] == marker;
}

} // namespace notch::HookCommand
