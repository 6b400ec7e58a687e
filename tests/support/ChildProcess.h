#pragma once

// Runs a program as a child process, as WorkBuddy runs a hook command:
// arguments, bytes on standard input (then closed), and everything it writes
// collected until it exits.

#include <optional>
#include <string>
#include <vector>

namespace notch::testing {

struct ChildResult {
  int exitStatus = -1; // when it exited normally
  std::string standardOutput;
  std::string standardError;
  double wallSeconds = 0; // from the start to the exit
};

struct ChildOptions {
  // At most a pipe's capacity (64 KiB); nullopt: the pipe stays open until the exit.
  std::optional<std::string> standardInput = std::string();
  bool closeStandardOutputAtOnce = false; // the reader goes away before the child writes
  // Variables set (NAME=value) on top of this process's environment.
  std::vector<std::string> environment = {};
};

// `arguments` excludes the program; argv[0] is `program`.
ChildResult runChild(const std::string& program, const std::vector<std::string>& arguments,
                     const ChildOptions& options = {});

// "status|output|errors": the exit status (-1 after a signal or a kill),
// standard output and standard error, to compare with a literal.
inline std::string summary(const ChildResult& result) {
  return std::to_string(result.exitStatus) + "|" + result.standardOutput + "|" + result.standardError;
}

} // namespace notch::testing
