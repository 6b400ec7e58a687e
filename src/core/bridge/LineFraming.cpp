#include "core/bridge/LineFraming.h"

#include <algorithm>
#include <cerrno>
#include <vector>

#include <poll.h>
#include <sys/socket.h>

#include "core/bridge/BridgeSocket.h"
#include "core/bridge/SocketWait.h"

namespace notch {
namespace {

bool isRetryable(int error) { return error == EINTR || error == EAGAIN || error == EWOULDBLOCK; }

double waitTime(const LineChannel& channel, double deadline) {
  return std::min(channel.pollStep, deadline - channel.clock.uptime());
}

} // namespace

LineFramer::Status LineFramer::feed(std::string_view received) {
  if (finished_) {
    return Status::refused;
  }
  const std::size_t lineFeed = received.find('\n');
  if (lineFeed == std::string_view::npos) {
    if (held_.size() + received.size() > maxLineBytes_) {
      finished_ = true;
      return Status::refused;
    }
    held_.append(received);
    return Status::needMore;
  }
  finished_ = true;
  if (held_.size() + lineFeed > maxLineBytes_ || lineFeed + 1 != received.size()) {
    return Status::refused;
  }
  held_.append(received.substr(0, lineFeed));
  return Status::complete;
}

bool sendLine(const LineChannel& channel, std::string_view payload, double deadline,
              const std::function<bool()>& shouldContinue) {
  if (payload.size() > channel.maxLineBytes) {
    return false;
  }
  std::string bytes;
  bytes.reserve(payload.size() + 1);
  bytes.append(payload);
  bytes.push_back('\n');

  std::size_t sent = 0;
  while (sent < bytes.size()) {
    if (channel.clock.uptime() >= deadline || !shouldContinue()) {
      return false;
    }
    if (waitOnSocket(channel.fd, POLLOUT, waitTime(channel, deadline), channel.wake) != SocketWaitResult::ready) {
      continue;
    }
    const ssize_t count = sendWithoutSignal(channel.fd, bytes.data() + sent, bytes.size() - sent);
    if (count < 0) {
      if (isRetryable(errno)) {
        continue;
      }
      return false;
    }
    if (count == 0) {
      return false;
    }
    sent += static_cast<std::size_t>(count);
  }
  return true;
}

std::optional<std::string> readLine(const LineChannel& channel, double deadline) {
  return readLine(channel, deadline, [] { return true; });
}

std::optional<std::string> readLine(const LineChannel& channel, double deadline,
                                    const std::function<bool()>& shouldContinue) {
  LineFramer framer(channel.maxLineBytes);
  std::vector<char> buffer(channel.receiveBufferBytes);
  for (;;) {
    if (channel.clock.uptime() >= deadline || !shouldContinue()) {
      return std::nullopt;
    }
    if (waitOnSocket(channel.fd, POLLIN, waitTime(channel, deadline), channel.wake) != SocketWaitResult::ready) {
      continue;
    }
    const ssize_t count = ::recv(channel.fd, buffer.data(), buffer.size(), 0);
    if (count < 0) {
      if (isRetryable(errno)) {
        continue;
      }
      return std::nullopt;
    }
    if (count == 0) {
      return std::nullopt;
    }
    switch (framer.feed(std::string_view(buffer.data(), static_cast<std::size_t>(count)))) {
    case LineFramer::Status::needMore:
      break;
    case LineFramer::Status::complete:
      return framer.line();
    case LineFramer::Status::refused:
      return std::nullopt;
    }
  }
}

} // namespace notch
