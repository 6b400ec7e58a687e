#include "core/bridge/BridgeListener.h"

#include <cerrno>
#include <optional>

#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/bridge/BridgeSocket.h"
#include "core/bridge/TransportError.h"

namespace notch {
namespace {

std::optional<FileIdentity> identityOf(const std::string& path) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) {
    return std::nullopt;
  }
  return FileIdentity{info.st_dev, info.st_ino};
}

// A socket file left by a crashed run refuses connections and is removed; a
// live one means another server runs.
void removeStaleSocket(const std::string& directory, const std::string& socketPath) {
  struct stat info {};
  if (::lstat(socketPath.c_str(), &info) != 0) {
    if (errno == ENOENT) {
      return;
    }
    throw TransportError::system(errno);
  }
  if (!isBridgeSocketSafe(socketPath)) {
    throw TransportError::unsafePath();
  }
  FileDescriptor probe = makeBridgeSocket();
  if (!probe) {
    throw TransportError::system(errno);
  }
  const int error = connectBridgeSocket(probe.get(), socketPath);
  probe.reset();
  if (error == 0 || error == EAGAIN || error == EINPROGRESS) {
    throw TransportError::alreadyRunning();
  }
  if (error != ECONNREFUSED) {
    throw TransportError::system(error);
  }
  const FileIdentity recorded{info.st_dev, info.st_ino};
  if (!isBridgeDirectorySafe(directory) || identityOf(socketPath) != recorded || !isBridgeSocketSafe(socketPath)) {
    throw TransportError::unsafePath();
  }
  if (::unlink(socketPath.c_str()) != 0) {
    throw TransportError::system(errno);
  }
}

} // namespace

BridgeListener openBridgeListener(const std::string& directory, const std::string& socketPath, int backlog) {
  ensureBridgeDirectory(directory);
  removeStaleSocket(directory, socketPath);
  BridgeListener listener{makeBridgeSocket(), {}};
  if (!listener.socket) {
    throw TransportError::system(errno);
  }
  if (const int error = bindBridgeSocket(listener.socket.get(), socketPath); error != 0) {
    throw TransportError::system(error);
  }
  // Identify the file at once, so that every later clean-up removes only the
  // file this call created.
  const auto created = identityOf(socketPath);
  if (!created) {
    throw TransportError::system(errno);
  }
  listener.identity = *created;
  if (::chmod(socketPath.c_str(), 0600) != 0 || ::listen(listener.socket.get(), backlog) != 0) {
    const int error = errno;
    listener.socket.reset();
    removeOwnSocket(directory, socketPath, listener.identity);
    throw TransportError::system(error);
  }
  return listener;
}

} // namespace notch
