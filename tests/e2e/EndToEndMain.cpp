// The end-to-end suite's entry: a private /tmp before anything else runs.

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <string_view>

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

namespace {

bool writeProcFile(const char* path, const std::string& text) {
  const int fd = ::open(path, O_WRONLY | O_CLOEXEC);
  const bool written = fd >= 0 && ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  ::close(fd);
  return written;
}

// Becomes the same user inside a new user namespace that owns a new mount
// namespace (so getuid() and every owner check stay the same).
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

// Gives this process, and every child it starts afterwards, a fresh /tmp of
// its own, so that the bridge directory /tmp/vantrel-notch-<uid> used by the
// end-to-end tests can never be a running app's. Must run while the process
// has a single thread. False where the machine allows neither a mount nor a
// user namespace; the tests then share the real /tmp and skip when a live
// app serves it. A build tree inside /tmp would vanish under the private one.
bool enterPrivateTmp() {
  for (const std::string_view path : {NOTCH_EXECUTABLE_PATH, STANDIN_EXECUTABLE_PATH}) {
    if (path.starts_with("/tmp/")) {
      return false;
    }
  }
  const bool entered = (::geteuid() == 0 && ::unshare(CLONE_NEWNS) == 0) || enterUserNamespace();
  // Private propagation first, so the new /tmp never leaks to the host.
  return entered && ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
         ::mount("tmpfs", "/tmp", "tmpfs", MS_NOSUID | MS_NODEV, "mode=1777") == 0;
}

} // namespace

int main(int argc, char** argv) {
  if (!enterPrivateTmp()) {
    std::fprintf(stderr, "note: no private /tmp here; sharing the real bridge directory\n");
  }
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
