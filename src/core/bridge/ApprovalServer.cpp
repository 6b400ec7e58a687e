#include "core/bridge/ApprovalServer.h"

#include <algorithm>
#include <cerrno>

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "core/bridge/BridgeSocket.h"
#include "core/bridge/DecisionReply.h"
#include "core/bridge/HookEventPolicy.h"
#include "core/bridge/SocketWait.h"
#include "core/bridge/TransportError.h"
#include "core/bridge/WakePipe.h"
#include "support/Json.h"

namespace notch {

// Shared between its handler and `decide`; `request` and `decision` are
// guarded by the server's lock.
struct ApprovalServer::Connection {
  explicit Connection(FileDescriptor descriptor) : fd(std::move(descriptor)) {}

  const Uuid token = Uuid::random();
  FileDescriptor fd;
  const WakePipe wake;
  std::optional<ApprovalRequest> request;
  std::optional<Decision> decision;
  bool waitEnded = false; // the handler gave up waiting: no decision is taken any more
};

namespace {

// The checks of a decoded request beyond its wire form.
bool isAcceptable(const ApprovalRequest& request, double now) {
  if (!Uuid::parse(request.id) || !HookEventPolicy::acceptsApproval(request.eventName, request.toolName) ||
      !(request.expiresAt > now)) {
    return false;
  }
  const auto toolInput = parseJson(request.toolInputJSON);
  return toolInput && toolInput->is_object();
}

} // namespace

ApprovalServer::ApprovalServer(std::string directory, const Clock& clock, Limits limits)
    : socketPath_(bridgeSocketPath(directory)), limits_(limits), clock_(clock),
      acceptor_(std::move(directory), socketPath_,
                BridgeAcceptor::Limits{.listenBacklog = limits.listenBacklog, .pollStep = limits.pollStep}) {}

ApprovalServer::~ApprovalServer() {
  stop();
  // Callbacks still queued may call back into this server (decide, for one);
  // let them run while every member is alive. decide() then refuses.
  callbacks_.sync([] {});
}

bool ApprovalServer::isRunning() const { return running(); }

bool ApprovalServer::running() const {
  std::lock_guard guard(lock_);
  return running_;
}

void ApprovalServer::start(RequestCallback onRequest, RemovalCallback onRemoval) {
  std::lock_guard lifecycle(lifecycle_);
  if (running()) {
    throw TransportError::alreadyRunning();
  }
  {
    std::lock_guard guard(lock_);
    onRequest_ = std::move(onRequest);
    onRemoval_ = std::move(onRemoval);
    running_ = true;
  }
  try {
    acceptor_.start([this](FileDescriptor connection) { admit(std::move(connection)); });
  } catch (...) {
    std::lock_guard guard(lock_);
    running_ = false;
    throw;
  }
}

// Registers an accepted connection and starts its handler, or closes it at
// once when the server is stopping or full.
void ApprovalServer::admit(FileDescriptor descriptor) {
  std::shared_ptr<Connection> connection;
  try {
    connection = std::make_shared<Connection>(std::move(descriptor));
  } catch (...) {
    return; // no descriptors (or memory) left for its wake pipe
  }
  {
    std::lock_guard guard(lock_);
    if (!running_ || connections_.size() >= limits_.maxConnections) {
      return;
    }
    connections_.emplace(connection->token, connection);
  }
  if (!acceptor_.spawn([this, connection] { serve(connection); })) {
    // No thread for the handler: the connection is closed unanswered, as
    // when the server is full.
    std::lock_guard guard(lock_);
    connections_.erase(connection->token);
  }
}

LineChannel ApprovalServer::channelFor(const Connection& connection) const {
  return LineChannel{.fd = connection.fd.get(),
                     .clock = clock_,
                     .pollStep = limits_.pollStep,
                     .wake = &connection.wake,
                     .maxLineBytes = limits_.maxLineBytes};
}

void ApprovalServer::serve(const std::shared_ptr<Connection>& connection) {
  const auto request = readRequest(*connection);
  if (!request) {
    finish(connection);
    return;
  }
  const double remaining = std::clamp(request->expiresAt - clock_.now(), 0.0, limits_.longestWait);
  const double waitDeadline = clock_.uptime() + remaining;
  if (!registerRequest(connection, *request)) {
    finish(connection);
    return;
  }
  const auto decision = awaitDecision(*connection, waitDeadline);
  if (decision && *decision != Decision::passthrough) {
    if (const auto reply = DecisionReply{request->id, *decision}.encode()) {
      // Whether the reply gets through changes nothing here: a client that
      // misses it prints nothing, which hands the request back.
      sendLine(channelFor(*connection), *reply, clock_.uptime() + limits_.replySendTimeout,
               [this] { return running(); });
    }
  }
  finish(connection);
}

std::optional<ApprovalRequest> ApprovalServer::readRequest(const Connection& connection) {
  const auto line =
      readLine(channelFor(connection), clock_.uptime() + limits_.requestReadTimeout, [this] { return running(); });
  if (!line) {
    return std::nullopt;
  }
  auto request = ApprovalRequest::decode(*line);
  if (!request || !isAcceptable(*request, clock_.now())) {
    return std::nullopt;
  }
  return request;
}

// Enters the request under its id unless the server stops or the id is taken;
// a duplicate never reaches the app and leaves the first request alone.
bool ApprovalServer::registerRequest(const std::shared_ptr<Connection>& connection, const ApprovalRequest& request) {
  std::lock_guard guard(lock_);
  if (!running_ || pending_.contains(request.id)) {
    return false;
  }
  connection->request = request;
  pending_.emplace(request.id, connection);
  if (onRequest_) {
    callbacks_.post([callback = onRequest_, request] { callback(request); });
  }
  return true;
}

// Waits until the user decides, the deadline passes, the client goes away or
// the server stops. Only a decision yields a value. Whether to give up is
// settled under the lock together with reading the decision, so a decision
// that decide() accepted is never dropped by a deadline or a departing
// client noticed a moment later.
std::optional<Decision> ApprovalServer::awaitDecision(Connection& connection, double waitDeadline) {
  for (;;) {
    const double now = clock_.uptime();
    // The client sends nothing after its request: anything readable, end of
    // stream included, means it is gone or misbehaving.
    char byte = 0;
    const ssize_t peeked = ::recv(connection.fd.get(), &byte, 1, MSG_PEEK | MSG_DONTWAIT);
    const bool clientGone = peeked >= 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR);
    {
      std::lock_guard guard(lock_);
      if (connection.decision) {
        return connection.decision;
      }
      if (now >= waitDeadline || clientGone || !running_) {
        connection.waitEnded = true;
        return std::nullopt;
      }
    }
    waitOnSocket(connection.fd.get(), POLLIN, std::min(limits_.pollStep, waitDeadline - now), &connection.wake);
  }
}

void ApprovalServer::finish(const std::shared_ptr<Connection>& connection) {
  {
    std::lock_guard guard(lock_);
    if (connection->request) {
      const auto entry = pending_.find(connection->request->id);
      if (entry != pending_.end() && entry->second == connection) {
        pending_.erase(entry);
        if (onRemoval_) {
          callbacks_.post([callback = onRemoval_, id = connection->request->id] { callback(id); });
        }
      }
    }
    connections_.erase(connection->token);
  }
  connection->fd.reset();
}

bool ApprovalServer::decide(const std::string& id, Decision decision) {
  std::lock_guard guard(lock_);
  if (!running_) {
    return false;
  }
  const auto entry = pending_.find(id);
  if (entry == pending_.end()) {
    return false;
  }
  Connection& connection = *entry->second;
  if (connection.decision || connection.waitEnded || !connection.request ||
      !(connection.request->expiresAt > clock_.now())) {
    return false;
  }
  connection.decision = decision;
  connection.wake.notify();
  return true;
}

void ApprovalServer::stop() {
  std::lock_guard lifecycle(lifecycle_);
  {
    std::lock_guard guard(lock_);
    running_ = false;
    for (const auto& [token, connection] : connections_) {
      connection->wake.notify();
    }
  }
  acceptor_.stop();
}

} // namespace notch
