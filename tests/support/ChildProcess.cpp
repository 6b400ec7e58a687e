#include "support/ChildProcess.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <stdexcept>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/Clock.h"
#include "support/FileDescriptor.h"

extern char** environ;

namespace notch::testing {
namespace {

struct Pipe {
  FileDescriptor read;
  FileDescriptor write;
};

Pipe makePipe() {
  int fds[2];
  if (::pipe(fds) != 0) {
    throw std::runtime_error("pipe failed");
  }
  Pipe pipe{FileDescriptor(fds[0]), FileDescriptor(fds[1])};
  ::fcntl(fds[0], F_SETFD, FD_CLOEXEC);
  ::fcntl(fds[1], F_SETFD, FD_CLOEXEC);
  return pipe;
}

void setNonBlocking(int fd) { ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK); }

std::vector<std::string> environmentWith(const std::vector<std::string>& overrides) {
  std::vector<std::string> variables;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string variable = *entry;
    const std::string name = variable.substr(0, variable.find('='));
    bool replaced = false;
    for (const std::string& override : overrides) {
      replaced = replaced || override.substr(0, override.find('=')) == name;
    }
    if (!replaced) {
      variables.push_back(variable);
    }
  }
  variables.insert(variables.end(), overrides.begin(), overrides.end());
  return variables;
}

std::vector<char*> pointersTo(std::vector<std::string>& strings) {
  std::vector<char*> pointers;
  for (std::string& string : strings) {
    pointers.push_back(string.data());
  }
  pointers.push_back(nullptr);
  return pointers;
}

pid_t spawn(const std::string& program, const std::vector<std::string>& arguments, Pipe& in, Pipe& out, Pipe& err,
            const std::vector<std::string>& environment) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in.read.get(), STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, out.write.get(), STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, err.write.get(), STDERR_FILENO);

  std::vector<std::string> argumentStrings{program};
  argumentStrings.insert(argumentStrings.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv = pointersTo(argumentStrings);
  std::vector<std::string> variables = environmentWith(environment);
  std::vector<char*> envp = pointersTo(variables);

  // The child starts with the default signal actions a host gives it, not
  // with this process's ignored SIGPIPE.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);

  pid_t pid = 0;
  const int error = ::posix_spawn(&pid, program.c_str(), &actions, &attributes, argv.data(), envp.data());
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0) {
    throw std::runtime_error("posix_spawn failed for " + program);
  }
  return pid;
}

// Moves bytes: stdin out, stdout and stderr in, until both outputs end.
void pump(Pipe& in, Pipe& out, Pipe& err, const ChildOptions& options, ChildResult& result, double deadline, pid_t pid,
          double started) {
  std::string pending = options.standardInput.value_or("");
  std::size_t written = 0;
  if (options.standardInput && pending.empty()) {
    in.write.reset();
  }
  char buffer[65536];
  while (out.read || err.read) {
    const bool feeding = in.write && written < pending.size();
    pollfd fds[3] = {
        {feeding ? in.write.get() : -1, POLLOUT, 0}, {out.read.get(), POLLIN, 0}, {err.read.get(), POLLIN, 0}};
    double remaining = deadline - uptimeNow();
    if (remaining <= 0) {
      result.timedOut = true;
      return;
    }
    if (options.killAfter && !result.killed) {
      const double untilKill = started + *options.killAfter - uptimeNow();
      if (untilKill <= 0) {
        ::kill(pid, SIGKILL);
        result.killed = true;
      } else {
        remaining = std::min(remaining, untilKill);
      }
    }
    if (::poll(fds, 3, static_cast<int>(std::ceil(remaining * 1000))) < 0 && errno != EINTR) {
      return;
    }
    if (feeding && fds[0].revents != 0) {
      const ssize_t count = ::write(in.write.get(), pending.data() + written, pending.size() - written);
      if (count > 0) {
        written += static_cast<std::size_t>(count);
      }
      if ((count < 0 && errno != EAGAIN) || written == pending.size()) {
        in.write.reset(); // done, or the child no longer reads
      }
    }
    FileDescriptor* outputs[2] = {&out.read, &err.read};
    std::string* sinks[2] = {&result.standardOutput, &result.standardError};
    for (int i = 0; i < 2; ++i) {
      if (*outputs[i] && fds[i + 1].revents != 0) {
        const ssize_t count = ::read(outputs[i]->get(), buffer, sizeof buffer);
        if (count > 0) {
          sinks[i]->append(buffer, static_cast<std::size_t>(count));
        } else if (count == 0 || errno != EAGAIN) {
          outputs[i]->reset();
        }
      }
    }
  }
}

} // namespace

ChildResult runChild(const std::string& program, const std::vector<std::string>& arguments,
                     const ChildOptions& options) {
  // Writing stdin to a child that has exited must not kill the test.
  std::signal(SIGPIPE, SIG_IGN);
  Pipe in = makePipe();
  Pipe out = makePipe();
  Pipe err = makePipe();
  ChildResult result;
  const double started = uptimeNow();
  const pid_t pid = spawn(program, arguments, in, out, err, options.environment);
  in.read.reset();
  out.write.reset();
  err.write.reset();
  if (options.closeStandardOutputAtOnce) {
    out.read.reset();
  }
  setNonBlocking(in.write.get());
  pump(in, out, err, options, result, started + options.timeLimit, pid, started);
  if (result.timedOut) {
    ::kill(pid, SIGKILL);
  }
  in.write.reset();
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  result.wallSeconds = uptimeNow() - started;
  if (WIFEXITED(status)) {
    result.exitStatus = WEXITSTATUS(status);
  } else if (WIFSIGNALED(status)) {
    result.signal = WTERMSIG(status);
  }
  return result;
}

} // namespace notch::testing
