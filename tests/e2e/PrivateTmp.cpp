#include "e2e/PrivateTmp.h"

#include <string>

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

namespace notch::testing {
namespace {

bool writeProcFile(const char* path, const std::string& text) {
  const int fd = ::open(path, O_WRONLY | O_CLOEXEC);
  if (fd < 0) {
    return false;
  }
  const bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  ::close(fd);
  return written;
}

// Becomes the same user inside a new user namespace that owns a new mount
// namespace.
bool enterUserNamespace() {
  const std::string uid = std::to_string(::getuid());
  const std::string gid = std::to_string(::getgid());
  if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) {
    return false;
  }
  writeProcFile("/proc/self/setgroups", "deny"); // absent on old kernels; required before gid_map on new ones
  return writeProcFile("/proc/self/uid_map", uid + " " + uid + " 1\n") &&
         writeProcFile("/proc/self/gid_map", gid + " " + gid + " 1\n");
}

} // namespace

bool enterPrivateTmp() {
  const bool entered = (::geteuid() == 0 && ::unshare(CLONE_NEWNS) == 0) || enterUserNamespace();
  // Private propagation first, so the new /tmp never leaks to the host.
  return entered && ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
         ::mount("tmpfs", "/tmp", "tmpfs", MS_NOSUID | MS_NODEV, "mode=1777") == 0;
}

} // namespace notch::testing
