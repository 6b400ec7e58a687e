#include "core/bridge/BridgeSocketPlatform.h"

#include <sys/socket.h>

namespace notch {

bool suppressBrokenPipeSignal(int) { return true; } // sendWithoutSignal passes MSG_NOSIGNAL

void setAddressLength(BridgeAddress&) {}

FileDescriptor makeBridgeSocket() {
  // Close-on-exec from the first instant, so a concurrent fork+exec elsewhere
  // in the process cannot inherit the descriptor.
  return withBridgeOptions(FileDescriptor(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0)));
}

FileDescriptor acceptBridgeConnection(int listeningFd) {
  return withBridgeOptions(FileDescriptor(::accept4(listeningFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC)));
}

std::optional<uid_t> peerUserID(int fd) {
  ucred credentials{};
  socklen_t length = sizeof credentials;
  if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0 || length != sizeof credentials) {
    return std::nullopt;
  }
  return credentials.uid;
}

ssize_t sendWithoutSignal(int fd, const void* bytes, std::size_t length) {
  return ::send(fd, bytes, length, MSG_NOSIGNAL);
}

} // namespace notch
