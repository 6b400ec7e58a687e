#include "core/bridge/BridgeSocket.h"
#include "core/bridge/BridgeSocketPlatform.h"

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
  return suppressBrokenPipeSignal(fd);
}

FileDescriptor withBridgeOptions(FileDescriptor socket) {
  if (socket && !applyBridgeSocketOptions(socket.get())) {
    const int error = errno;
    socket.reset();
    errno = error;
  }
  return socket;
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
  setAddressLength(result);
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

} // namespace notch
