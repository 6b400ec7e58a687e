#include "core/completion/CompletionHookClient.h"

#include <cerrno>
#include <optional>

#include <poll.h>
#include <sys/socket.h>

#include "core/bridge/BridgeSocket.h"
#include "core/bridge/LineFraming.h"
#include "core/bridge/SocketWait.h"

namespace notch::CompletionHookClient {
namespace {

// Connects without blocking; a connection still in progress gets a short
// wait and must then have completed without error.
bool connectWithin(int fd, const std::string& path, double wait) {
  const int error = connectBridgeSocket(fd, path);
  if (error == 0) {
    return true;
  }
  if (error != EINPROGRESS || waitOnSocket(fd, POLLOUT, wait) != SocketWaitResult::ready) {
    return false;
  }
  int pending = 0;
  socklen_t length = sizeof pending;
  return ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &pending, &length) == 0 && pending == 0;
}

} // namespace

bool send(const CompletionEvent& event, const CompletionHookOptions& options) {
  const std::string socketPath = completionSocketPath(options.directory);
  if (!event.isValid() || !isBridgeDirectorySafe(options.directory) || !isBridgeSocketSafe(socketPath)) {
    return false;
  }
  const auto line = event.encode();
  if (!line || line->size() > options.maxEventBytes) {
    return false;
  }
  FileDescriptor socket = makeBridgeSocket();
  if (!socket || !connectWithin(socket.get(), socketPath, options.connectWait)) {
    return false;
  }
  const auto peer = peerUserID(socket.get());
  if (!peer || *peer != ::getuid()) {
    return false;
  }
  const Clock& clock = *options.clock;
  const LineChannel channel{.fd = socket.get(), .clock = clock, .pollStep = options.sendDeadline};
  return sendLine(channel, *line, clock.uptime() + options.sendDeadline, [] { return true; });
}

void run(const CompletionHookOptions& options) {
  const auto input = readHookInput(options.inputFd, *options.clock, options.input);
  if (!input) {
    return;
  }
  if (const auto event = CompletionEvent::decodeHook(*input, options.clock->now())) {
    send(*event, options);
  }
}

} // namespace notch::CompletionHookClient
