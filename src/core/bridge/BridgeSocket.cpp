#include "core/bridge/BridgeSocket.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace notch {

bool applyBridgeSocketOptions(int fd) {
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0) {
    return false;
  }
  const int descriptorFlags = ::fcntl(fd, F_GETFD);
  if (descriptorFlags < 0 || ::fcntl(fd, F_SETFD, descriptorFlags | FD_CLOEXEC) != 0) {
    return false;
  }
#if defined(__APPLE__)
  const int on = 1;
  if (::setsockopt(fd, SOL_SOCKET, SO_NOSIGPIPE, &on, sizeof on) != 0) {
    return false;
  }
#endif
  return true;
}

namespace {

// Applies the bridge options to a fresh descriptor; on failure closes it and
// keeps the errno of the failing step.
FileDescriptor withBridgeOptions(FileDescriptor socket) {
  if (socket && !applyBridgeSocketOptions(socket.get())) {
    const int error = errno;
    socket.reset();
    errno = error;
  }
  return socket;
}

} // namespace

FileDescriptor makeBridgeSocket() {
#if defined(__APPLE__)
  return withBridgeOptions(FileDescriptor(::socket(AF_UNIX, SOCK_STREAM, 0)));
#else
  // Close-on-exec from the first instant, so a concurrent fork+exec elsewhere
  // in the process cannot inherit the descriptor.
  return withBridgeOptions(FileDescriptor(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0)));
#endif
}

std::optional<BridgeAddress> bridgeAddress(const std::string& path) {
  if (path.size() + 1 > kBridgePathFieldSize || path.find('\0') != std::string::npos) {
    return std::nullopt;
  }
  static_assert(sizeof(sockaddr_un::sun_path) >= kBridgePathFieldSize);
  BridgeAddress result;
  result.address.sun_family = AF_UNIX;
  std::memcpy(result.address.sun_path, path.c_str(), path.size() + 1);
  result.length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + kBridgePathFieldSize);
#if defined(__APPLE__)
  result.address.sun_len = static_cast<unsigned char>(result.length);
#endif
  return result;
}

namespace {

template <typename Call> int withAddress(const std::string& path, Call call) {
  const auto address = bridgeAddress(path);
  if (!address) {
    return ENAMETOOLONG;
  }
  return call(reinterpret_cast<const sockaddr*>(&address->address), address->length) == 0 ? 0 : errno;
}

} // namespace

int bindBridgeSocket(int fd, const std::string& path) {
  return withAddress(path, [fd](const sockaddr* address, socklen_t length) { return ::bind(fd, address, length); });
}

int connectBridgeSocket(int fd, const std::string& path) {
  return withAddress(path, [fd](const sockaddr* address, socklen_t length) { return ::connect(fd, address, length); });
}

FileDescriptor acceptBridgeConnection(int listeningFd) {
#if defined(__APPLE__)
  // Accepted sockets do not inherit O_NONBLOCK reliably; set everything.
  return withBridgeOptions(FileDescriptor(::accept(listeningFd, nullptr, nullptr)));
#else
  return withBridgeOptions(FileDescriptor(::accept4(listeningFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC)));
#endif
}

std::optional<uid_t> peerUserID(int fd) {
#if defined(__APPLE__)
  uid_t uid = 0;
  gid_t gid = 0;
  if (::getpeereid(fd, &uid, &gid) != 0) {
    return std::nullopt;
  }
  return uid;
#else
  ucred credentials{};
  socklen_t length = sizeof credentials;
  if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0 || length != sizeof credentials) {
    return std::nullopt;
  }
  return credentials.uid;
#endif
}

ssize_t sendWithoutSignal(int fd, const void* bytes, std::size_t length) {
#if defined(__APPLE__)
  return ::send(fd, bytes, length, 0); // SO_NOSIGPIPE is set on every bridge socket
#else
  return ::send(fd, bytes, length, MSG_NOSIGNAL);
#endif
}

} // namespace notch
