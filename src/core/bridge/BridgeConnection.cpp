#include "core/bridge/BridgeConnection.h"

#include <cerrno>

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "core/bridge/BridgePaths.h"
#include "core/bridge/BridgeSocket.h"
#include "core/bridge/SocketWait.h"

namespace notch {
namespace {

// Connects without blocking; a connection still in progress gets a short
// wait and must then have completed without error.
bool connectWithin(int fd, const std::string& path, double wait) {
  const int error = connectBridgeSocket(fd, path);
  if (error == 0) {
    return true;
  }
  if (error != EINPROGRESS || wait <= 0 || waitOnSocket(fd, POLLOUT, wait) != SocketWaitResult::ready) {
    return false;
  }
  int pending = 0;
  socklen_t length = sizeof pending;
  return ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &pending, &length) == 0 && pending == 0;
}

} // namespace

FileDescriptor connectToBridge(const std::string& directory, const std::string& socketPath, double connectWait) {
  if (!isBridgeDirectorySafe(directory) || !isBridgeSocketSafe(socketPath)) {
    return FileDescriptor();
  }
  FileDescriptor socket = makeBridgeSocket();
  if (!socket || !connectWithin(socket.get(), socketPath, connectWait)) {
    return FileDescriptor();
  }
  const auto peer = peerUserID(socket.get());
  if (!peer || *peer != ::getuid()) {
    return FileDescriptor();
  }
  return socket;
}

} // namespace notch
