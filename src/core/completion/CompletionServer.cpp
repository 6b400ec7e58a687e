#include "core/completion/CompletionServer.h"

#include "core/bridge/LineFraming.h"
#include "core/bridge/TransportError.h"

namespace notch {

CompletionServer::CompletionServer(std::string directory, const Clock& clock, Limits limits)
    : socketPath_(completionSocketPath(directory)), limits_(limits), clock_(clock),
      acceptor_(std::move(directory), socketPath_,
                BridgeAcceptor::Limits{.listenBacklog = limits.listenBacklog, .pollStep = limits.acceptPollStep}) {}

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
  {
    std::lock_guard guard(lock_);
    active_ = token;
  }
  try {
    acceptor_.start([this, token, onEvent = std::move(onEvent)](FileDescriptor connection) {
      receive(std::move(connection), token, onEvent);
    });
  } catch (...) {
    std::lock_guard guard(lock_);
    active_.reset();
    throw;
  }
}

// Served here, on the accept thread: one connection at a time. The delivery
// is queued before the connection closes, so a client that sees the end of
// the stream knows its event is on its way.
void CompletionServer::receive(FileDescriptor connection, const Uuid& token, const EventCallback& onEvent) {
  if (const auto event = serve(connection.get(), token); event && onEvent) {
    callbacks_.post([this, token, onEvent, event = *event] {
      if (isActive(token)) {
        onEvent(event);
      }
    });
  }
}

std::optional<CompletionEvent> CompletionServer::serve(int fd, const Uuid& token) {
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
  acceptor_.stop();
  // A delivery that saw the token still active may be running right now; once
  // stop returns, no event of this run reaches the app any more.
  if (!callbacks_.isCurrent()) {
    callbacks_.sync([] {});
  }
}

} // namespace notch
