#include "platform/linux/StandInWindow.h"

#include <csignal>
#include <stdexcept>

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/Clock.h"

namespace notch::testing {

StandInWindow::StandInWindow(const std::vector<std::string>& arguments) {
  int in[2];
  int out[2];
  if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) {
    throw std::runtime_error("no pipes");
  }
  std::vector<char*> argv{const_cast<char*>(WORKBUDDY_WINDOW_PATH)};
  for (const std::string& argument : arguments) {
    argv.push_back(const_cast<char*>(argument.c_str()));
  }
  argv.push_back(nullptr);
  pid = ::fork();
  if (pid == 0) {
    ::dup2(in[0], STDIN_FILENO);
    ::dup2(out[1], STDOUT_FILENO);
    ::execv(WORKBUDDY_WINDOW_PATH, argv.data());
    ::_exit(127);
  }
  ::close(in[0]);
  ::close(out[1]);
  input_ = in[1];
  output_ = out[0];
  started = line(10) == "ready";
}

StandInWindow::~StandInWindow() {
  ::close(input_); // end of input: it quits
  ::close(output_);
  if (pid > 0) {
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
  }
}

std::string StandInWindow::send(const std::string& command) {
  const std::string text = command + "\n";
  return ::write(input_, text.data(), text.size()) == static_cast<ssize_t>(text.size()) ? line() : "";
}

std::string StandInWindow::line(double seconds) {
  const double deadline = uptimeNow() + seconds;
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

bool xdotool(const std::string& arguments) { return std::system(("xdotool " + arguments).c_str()) == 0; }

} // namespace notch::testing
