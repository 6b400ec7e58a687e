#pragma once

// The socket calls of the bridge, shared by both servers and both hook
// clients. Every bridge socket is non-blocking, close-on-exec, and never
// raises SIGPIPE on a write to a closed peer.
//
// This is one of the few places where Linux and macOS differ call by call
// (SO_NOSIGPIPE vs MSG_NOSIGNAL, getpeereid vs SO_PEERCRED, accept vs
// accept4); each system's calls live in its own file.

#include <cstddef>
#include <optional>
#include <string>

#include <sys/socket.h>
#include <sys/types.h>
#include <sys/un.h>

#include "support/FileDescriptor.h"

namespace notch {

// Longest socket path field, NUL included. macOS has 104 bytes; Linux has
// more, but the same limit holds everywhere so a path that works on one
// system works on the other. Longer paths are refused, never truncated.
inline constexpr std::size_t kBridgePathFieldSize = 104;

// Adds O_NONBLOCK to the status flags, sets FD_CLOEXEC and, where the system
// has it, SO_NOSIGPIPE. False (errno set) if any step fails.
bool applyBridgeSocketOptions(int fd);

// A new Unix-domain stream socket with the bridge options; invalid (errno
// set) on failure.
FileDescriptor makeBridgeSocket();

struct BridgeAddress {
  sockaddr_un address{};
  socklen_t length = 0;
};

// The address for `path`, or nullopt if the path with its NUL does not fit
// in kBridgePathFieldSize bytes or contains a NUL.
std::optional<BridgeAddress> bridgeAddress(const std::string& path);

// bind() / connect() to `path`; 0 on success, else the errno
// (ENAMETOOLONG for a path that does not fit).
int bindBridgeSocket(int fd, const std::string& path);
int connectBridgeSocket(int fd, const std::string& path);

// Accepts one pending connection and applies the bridge options; invalid
// (errno set) when there is none or it fails.
FileDescriptor acceptBridgeConnection(int listeningFd);

// The user id of the process at the other end of a connected socket.
std::optional<uid_t> peerUserID(int fd);

// send() that never raises SIGPIPE; returns what send() returns.
ssize_t sendWithoutSignal(int fd, const void* bytes, std::size_t length);

} // namespace notch
