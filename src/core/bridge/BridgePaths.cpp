#include "core/bridge/BridgePaths.h"

#include <cerrno>

#include <sys/stat.h>
#include <unistd.h>

#include "core/bridge/TransportError.h"

namespace notch {
namespace {

bool hasTypeOwnerAndMode(const std::string& path, mode_t type, mode_t permissions) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) {
    return false;
  }
  return (info.st_mode & S_IFMT) == type && info.st_uid == ::getuid() && (info.st_mode & 0777) == permissions;
}

} // namespace

std::string bridgeDirectory() { return "/tmp/vantrel-notch-" + std::to_string(::getuid()); }

std::string bridgeSocketPath(const std::string& directory) { return directory + "/bridge.sock"; }

std::string completionSocketPath(const std::string& directory) { return directory + "/completion.sock"; }

bool isBridgeDirectorySafe(const std::string& directory) { return hasTypeOwnerAndMode(directory, S_IFDIR, 0700); }

void ensureBridgeDirectory(const std::string& directory) {
  if (::mkdir(directory.c_str(), 0700) != 0 && errno != EEXIST) {
    throw TransportError::system(errno);
  }
  // A fresh directory may have lost bits to the umask; that too is refused
  // rather than silently widened or narrowed.
  if (!isBridgeDirectorySafe(directory)) {
    throw TransportError::unsafePath();
  }
}

bool isBridgeSocketSafe(const std::string& path) { return hasTypeOwnerAndMode(path, S_IFSOCK, 0600); }

bool removeOwnSocket(const std::string& directory, const std::string& path, FileIdentity identity) {
  if (!isBridgeDirectorySafe(directory)) {
    return false;
  }
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0 || !S_ISSOCK(info.st_mode) || info.st_uid != ::getuid() ||
      FileIdentity{info.st_dev, info.st_ino} != identity) {
    return false;
  }
  return ::unlink(path.c_str()) == 0;
}

} // namespace notch
