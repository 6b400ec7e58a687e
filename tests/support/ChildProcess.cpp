#include "support/ChildProcess.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <stdexcept>
#include <thread>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/Clock.h"

extern char** environ;

namespace notch::testing {
namespace {

std::vector<char*> pointersTo(std::vector<std::string>& strings) {
  std::vector<char*> pointers;
  for (std::string& string : strings) {
    pointers.push_back(string.data());
  }
  pointers.push_back(nullptr);
  return pointers;
}

std::string contentsOf(std::FILE* file) {
  std::string contents;
  char buffer[4096];
  std::rewind(file);
  for (std::size_t count = 0; (count = std::fread(buffer, 1, sizeof buffer, file)) > 0;) {
    contents.append(buffer, count);
  }
  std::fclose(file);
  return contents;
}

} // namespace

ChildResult runChild(const std::string& program, const std::vector<std::string>& arguments,
                     const ChildOptions& options) {
  std::signal(SIGPIPE, SIG_IGN); // writing to a child that has exited must not kill the test
  // Everything the child needs is made before the fork. The variables set
  // come first, so they win over the inherited ones of the same name.
  std::vector<std::string> argumentStrings{program};
  argumentStrings.insert(argumentStrings.end(), arguments.begin(), arguments.end());
  std::vector<std::string> variables = options.environment;
  for (char** variable = environ; *variable != nullptr; ++variable) {
    variables.emplace_back(*variable);
  }
  const std::vector<char*> argv = pointersTo(argumentStrings);
  const std::vector<char*> envp = pointersTo(variables);
  int in[2];
  int gone[2]; // a pipe whose reader is gone before the child starts, for closeStandardOutputAtOnce
  const std::string& input = options.standardInput.value_or("");
  if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(gone, O_CLOEXEC) != 0 ||
      ::write(in[1], input.data(), input.size()) != static_cast<ssize_t>(input.size())) {
    throw std::runtime_error("cannot prepare the child's pipes");
  }
  ::close(gone[0]);
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  const int targets[3] = {in[0], options.closeStandardOutputAtOnce ? gone[1] : ::fileno(out), ::fileno(err)};
  const double started = uptimeNow();
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::signal(SIGPIPE, SIG_DFL); // as a host starts it
    for (const int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
      ::dup2(targets[fd], fd);
    }
    ::execve(program.c_str(), argv.data(), envp.data());
    ::_exit(127);
  }
  for (const int fd : {in[0], gone[1], options.standardInput ? in[1] : -1}) {
    ::close(fd);
  }
  ChildResult result;
  int status = 0;
  // A child still running after 30 s is hung: killed, so that it cannot stall the suite.
  for (bool sent = false; ::waitpid(pid, &status, WNOHANG) == 0;
       std::this_thread::sleep_for(std::chrono::microseconds(200))) {
    sent = sent || (uptimeNow() - started > 30 && ::kill(pid, SIGKILL) == 0);
  }
  result.wallSeconds = uptimeNow() - started;
  ::close(options.standardInput ? -1 : in[1]);
  result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.standardOutput = contentsOf(out);
  result.standardError = contentsOf(err);
  return result;
}

} // namespace notch::testing
