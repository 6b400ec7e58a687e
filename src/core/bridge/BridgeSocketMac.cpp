#include "core/bridge/BridgeSocketPlatform.h"

#include <sys/socket.h>
#include <unistd.h>

namespace notch {

bool suppressBrokenPipeSignal(int fd) {
  const int on = 1;
  return ::setsockopt(fd, SOL_SOCKET, SO_NOSIGPIPE, &on, sizeof on) == 0;
}

void setAddressLength(BridgeAddress& address) {
  address.address.sun_len = static_cast<unsigned char>(address.length);
}

FileDescriptor makeBridgeSocket() { return withBridgeOptions(FileDescriptor(::socket(AF_UNIX, SOCK_STREAM, 0))); }

FileDescriptor acceptBridgeConnection(int listeningFd) {
  // Accepted sockets do not inherit O_NONBLOCK reliably; set everything.
  return withBridgeOptions(FileDescriptor(::accept(listeningFd, nullptr, nullptr)));
}

std::optional<uid_t> peerUserID(int fd) {
  uid_t uid = 0;
  gid_t gid = 0;
  if (::getpeereid(fd, &uid, &gid) != 0) {
    return std::nullopt;
  }
  return uid;
}

ssize_t sendWithoutSignal(int fd, const void* bytes, std::size_t length) {
  return ::send(fd, bytes, length, 0); // SO_NOSIGPIPE is set on every bridge socket
}

} // namespace notch
