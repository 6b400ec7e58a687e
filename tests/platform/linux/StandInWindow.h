#pragma once

// The WorkBuddy window stand-in (tools/workbuddy-window) as a child process
// of a desktop test: started and waited for until its window is mapped,
// driven one command line at a time, killed and reaped at the end; and
// xdotool for what a user does with the mouse and the window manager.

#include <csignal>
#include <cstdlib>
#include <stdexcept>
#include <string>

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/Clock.h"

namespace notch::testing {

#define SKIP_WITHOUT_DISPLAY()                                                                                         \
  if (std::getenv("DISPLAY") == nullptr) {                                                                             \
    GTEST_SKIP() << "no X display: run under scripts/with-desktop";                                                    \
  }

// One workbuddy-window process, driven through its standard input.
class StandIn {
public:
  StandIn() {
    int in[2];
    int out[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) {
      throw std::runtime_error("no pipes");
    }
    pid = ::fork();
    if (pid == 0) {
      ::dup2(in[0], STDIN_FILENO);
      ::dup2(out[1], STDOUT_FILENO);
      ::execl(WORKBUDDY_WINDOW_PATH, WORKBUDDY_WINDOW_PATH, nullptr);
      ::_exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    input_ = in[1];
    output_ = out[0];
    started = line() == "ready";
  }
  ~StandIn() {
    ::close(input_); // end of input: it quits
    ::close(output_);
    if (pid > 0) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, nullptr, 0);
    }
  }

  // Sends one command and returns its answer.
  std::string send(const std::string& command) {
    const std::string text = command + "\n";
    return ::write(input_, text.data(), text.size()) == static_cast<ssize_t>(text.size()) ? line() : "";
  }
  // The next line it prints, or "" after 5 s.
  std::string line() {
    const double deadline = uptimeNow() + 5;
    for (std::size_t end; (end = buffer_.find('\n')) == std::string::npos;) {
      pollfd entry{output_, POLLIN, 0};
      char chunk[512];
      const double left = deadline - uptimeNow();
      if (left <= 0 || ::poll(&entry, 1, static_cast<int>(left * 1000) + 1) <= 0) {
        return "";
      }
      const ssize_t count = ::read(output_, chunk, sizeof chunk);
      if (count <= 0) {
        return "";
      }
      buffer_.append(chunk, static_cast<std::size_t>(count));
    }
    const std::size_t end = buffer_.find('\n');
    std::string first = buffer_.substr(0, end);
    buffer_.erase(0, end + 1);
    return first;
  }
  std::string window() { return send("window").substr(3); }

  pid_t pid = -1;
  bool started = false;

private:
  int input_ = -1;
  int output_ = -1;
  std::string buffer_;
};

inline bool xdotool(const std::string& arguments) { return std::system(("xdotool " + arguments).c_str()) == 0; }

} // namespace notch::testing
