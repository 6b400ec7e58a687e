#include "platform/linux/DetachedLaunch.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/Clock.h"
#include "support/FileDescriptor.h"

namespace notch {
namespace {

bool isExecutableFile(const std::string& path) {
  struct stat status {};
  return ::stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

// The program's path, resolved before the fork: after it only
// async-signal-safe calls are allowed.
std::optional<std::string> resolvedProgram(const std::string& program) {
  if (program.find('/') != std::string::npos) {
    return isExecutableFile(program) ? std::optional(program) : std::nullopt;
  }
  const char* path = std::getenv("PATH");
  std::stringstream directories(path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin");
  for (std::string directory; std::getline(directories, directory, ':');) {
    const std::string candidate = (directory.empty() ? "." : directory) + "/" + program;
    if (isExecutableFile(candidate)) {
      return candidate;
    }
  }
  return std::nullopt;
}

[[noreturn]] void becomeProgram(const char* program, char* const* argv, int report) {
  sigset_t all;
  sigemptyset(&all);
  ::sigprocmask(SIG_SETMASK, &all, nullptr); // the launching thread's mask is not the program's
  const int null = ::open("/dev/null", O_RDWR);
  for (const int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
    ::dup2(null, fd);
  }
  ::execv(program, argv);
  const int error = errno;
  (void)!::write(report, &error, sizeof error);
  ::_exit(127);
}

} // namespace

std::optional<std::string> launchDetached(const std::vector<std::string>& arguments, double timeout) {
  if (arguments.empty()) {
    return "nothing to start";
  }
  const auto program = resolvedProgram(arguments[0]);
  if (!program) {
    return "cannot find the program " + arguments[0];
  }
  std::vector<std::string> strings = arguments;
  std::vector<char*> argv;
  for (std::string& argument : strings) {
    argv.push_back(argument.data());
  }
  argv.push_back(nullptr);
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) {
    return std::string("cannot start: ") + std::strerror(errno);
  }
  FileDescriptor readEnd(fds[0]);
  FileDescriptor writeEnd(fds[1]);
  const pid_t child = ::fork();
  if (child < 0) {
    return std::string("cannot start: ") + std::strerror(errno);
  }
  if (child == 0) {
    ::setsid();
    const pid_t grandchild = ::fork();
    if (grandchild == 0) {
      becomeProgram(program->c_str(), argv.data(), writeEnd.get());
    }
    ::_exit(grandchild < 0 ? 1 : 0);
  }
  writeEnd.reset();
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    return "cannot start " + arguments[0];
  }
  // The pipe closes on a successful exec; an errno arrives on a failed one.
  const double deadline = uptimeNow() + timeout;
  for (double left; (left = deadline - uptimeNow()) > 0;) {
    pollfd entry{readEnd.get(), POLLIN, 0};
    const int ready = ::poll(&entry, 1, static_cast<int>(left * 1000) + 1);
    if (ready == 0 || (ready < 0 && errno != EINTR)) {
      break; // still starting: it was started
    }
    if (ready < 0) {
      continue;
    }
    int error = 0;
    const ssize_t count = ::read(readEnd.get(), &error, sizeof error);
    if (count == sizeof error) {
      return "cannot start " + arguments[0] + ": " + std::strerror(error);
    }
    if (count == 0 || (count < 0 && errno != EINTR && errno != EAGAIN)) {
      break;
    }
  }
  return std::nullopt;
}

} // namespace notch
