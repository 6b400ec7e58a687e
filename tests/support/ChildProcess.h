#pragma once

// Runs a program as a child process, as WorkBuddy runs a hook command:
// arguments, bytes on standard input (then closed), and everything it writes
// collected until it exits.

#include <optional>
#include <string>
#include <vector>

namespace notch::testing {

struct ChildResult {
  int exitStatus = -1;   // when it exited normally
  int signal = 0;        // when a signal ended it
  bool timedOut = false; // killed after the time limit
  bool killed = false;   // killed by killAfter before it ended
  std::string standardOutput;
  std::string standardError;
  double wallSeconds = 0; // from spawn to exit
};

struct ChildOptions {
  std::optional<std::string> standardInput = std::string(); // nullopt: leave the pipe open until exit
  bool closeStandardOutputAtOnce = false;                   // the reader goes away before the child writes
  double timeLimit = 30.0;
  // Variables set (NAME=value) on top of this process's environment.
  std::vector<std::string> environment;
  // Sends SIGKILL this many seconds after the spawn (a crash at that moment).
  std::optional<double> killAfter;
};

// `arguments` excludes the program; argv[0] is `program`.
ChildResult runChild(const std::string& program, const std::vector<std::string>& arguments,
                     const ChildOptions& options = {});

} // namespace notch::testing
