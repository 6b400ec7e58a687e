#pragma once

// One workbuddy-window process (WorkBuddy's desktop window stand-in), driven
// line by line through its standard input as its header describes. Ends it
// when destroyed.

#include <cstdlib>
#include <string>
#include <vector>

#include <sys/types.h>

namespace notch::testing {

#define SKIP_WITHOUT_DISPLAY()                                                                                         \
  if (std::getenv("DISPLAY") == nullptr) {                                                                             \
    GTEST_SKIP() << "no X display: run under scripts/with-desktop";                                                    \
  }

class StandInWindow {
public:
  // Arguments that make it announce another application, to put in front.
  static inline const std::vector<std::string> other{"--app-id", "org.example.Other"};

  explicit StandInWindow(const std::vector<std::string>& arguments = {});
  ~StandInWindow();
  StandInWindow(const StandInWindow&) = delete;
  StandInWindow& operator=(const StandInWindow&) = delete;

  // Sends one command and returns its answer ("" when none came).
  std::string send(const std::string& command);
  // The next line it prints, or "" after `seconds`.
  std::string line(double seconds = 5);
  // Its X window id, as text.
  std::string window() { return send("window").substr(3); }

  pid_t pid = -1;
  bool started = false; // it printed "ready"

private:
  int input_ = -1;
  int output_ = -1;
  std::string buffer_;
};

// Runs xdotool with these arguments (what a user does with the mouse and
// the window manager); true when it succeeded.
bool xdotool(const std::string& arguments);

} // namespace notch::testing
