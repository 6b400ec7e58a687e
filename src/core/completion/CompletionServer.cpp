#include "core/completion/CompletionServer.h"

#include <cerrno>
#include <memory>

#include <poll.h>
#include <unistd.h>

#include "core/bridge/BridgeListener.h"
#include "core/bridge/BridgeSocket.h"
#include "core/bridge/LineFraming.h"
#include "core/bridge/SocketWait.h"
#include "core/bridge/TransportError.h"

namespace notch {

CompletionServer::CompletionServer(std::string directory, const Clock& clock, Limits limits)
    : directory_(std::move(directory)), socketPath_(completionSocketPath(directory_)), limits_(limits), clock_(clock) {}

CompletionServer::~CompletionServer() {
  stop();
  callbacks_.sync([] {});
}

bool CompletionServer::isRunning() const {
  std::lock_guard guard(lock_);
  return active_.has_value();
}

bool CompletionServer::isActive(const Uuid& token) const {
  std::lock_guard guard(lock_);
  return active_ == token;
}

void CompletionServer::start(EventCallback onEvent) {
  std::lock_guard lifecycle(lifecycle_);
  if (isRunning()) {
    throw TransportError::alreadyRunning();
  }
  const Uuid token = Uuid::random(); // before the socket exists: nothing to clean up if it throws
  BridgeListener listener = openBridgeListener(directory_, socketPath_, limits_.listenBacklog);
  {
    std::lock_guard guard(lock_);
    active_ = token;
    workers_.enter();
  }
  const FileIdentity identity = listener.identity;
  try {
    threads_.run([this, token, identity, onEvent = std::move(onEvent),
                  listening = std::make_shared<FileDescriptor>(std::move(listener.socket))] {
      acceptLoop(listening->get(), token, onEvent);
      listening->reset();
      removeOwnSocket(directory_, socketPath_, identity);
      workers_.leave();
    });
  } catch (...) {
    {
      std::lock_guard guard(lock_);
      active_.reset();
    }
    workers_.leave();
    removeOwnSocket(directory_, socketPath_, identity);
    throw TransportError::system(EAGAIN);
  }
}

void CompletionServer::acceptLoop(int listeningFd, const Uuid& token, const EventCallback& onEvent) {
  while (isActive(token)) {
    if (waitOnSocket(listeningFd, POLLIN, limits_.acceptPollStep) != SocketWaitResult::ready) {
      continue;
    }
    FileDescriptor connection = acceptBridgeConnection(listeningFd);
    if (!connection) {
      // Out of descriptors the listening socket stays readable: rest a step
      // instead of spinning.
      ::poll(nullptr, 0, static_cast<int>(limits_.acceptPollStep * 1000));
      continue;
    }
    // Served here, on this thread: one connection at a time. The delivery is
    // queued before the connection closes, so a client that sees the end of
    // the stream knows its event is on its way.
    if (const auto event = serve(connection.get(), token); event && onEvent) {
      callbacks_.async([this, token, onEvent, event = *event] {
        if (isActive(token)) {
          onEvent(event);
        }
      });
    }
    connection.reset();
  }
}

std::optional<CompletionEvent> CompletionServer::serve(int fd, const Uuid& token) {
  const auto peer = peerUserID(fd);
  if (!peer || *peer != ::getuid()) {
    return std::nullopt;
  }
  const LineChannel channel{.fd = fd,
                            .clock = clock_,
                            .pollStep = limits_.connectionPollStep,
                            .maxLineBytes = limits_.maxLineBytes,
                            .receiveBufferBytes = limits_.maxLineBytes + 1};
  const auto line =
      readLine(channel, clock_.uptime() + limits_.connectionBudget, [this, &token] { return isActive(token); });
  if (!line) {
    return std::nullopt;
  }
  auto event = CompletionEvent::decode(*line);
  if (!event || !event->isValid()) {
    return std::nullopt;
  }
  const double age = clock_.now() - event->observedAt;
  if (!(age >= 0 && age <= limits_.largestEventAge)) {
    return std::nullopt; // stale, or from the future
  }
  return event;
}

void CompletionServer::stop() {
  std::lock_guard lifecycle(lifecycle_);
  {
    std::lock_guard guard(lock_);
    active_.reset();
  }
  workers_.wait();
  threads_.shutdown();
  // A delivery that saw the token still active may be running right now; once
  // stop returns, no event of this run reaches the app any more.
  if (!callbacks_.isCurrent()) {
    callbacks_.sync([] {});
  }
}

} // namespace notch
