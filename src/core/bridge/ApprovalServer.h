#pragma once

// The in-app end of the approval bridge.
//
// Owns the approval socket in the bridge directory, accepts hook clients of
// the same user, reads and validates one ApprovalRequest from each, announces
// it through `onRequest`, keeps the connection open while the user decides
// and writes a DecisionReply for allow or deny. Every other outcome
// (passthrough, expiry, client gone, stop, any refusal) closes the connection
// without a reply, which the client treats as passthrough.
//
// Threads: the accept loop (a BridgeAcceptor) and one handler per
// connection run on pooled worker threads (reused, so a connection does not
// pay for a new thread); `onRequest` and `onRemoval` run on the serial queue
// "vantrel-notch.callbacks", queued under the lock, so a request's onRequest
// always runs before its onRemoval, and every registered request gets
// exactly one onRemoval. `start`, `decide` and `stop` may be called from any
// thread; `start` and `stop` are serialised. A decision or a stop wakes the
// waiting handlers at once instead of waiting out their poll step.

#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "core/bridge/ApprovalRequest.h"
#include "core/bridge/BridgeAcceptor.h"
#include "core/bridge/Decision.h"
#include "core/bridge/LineFraming.h"
#include "support/Clock.h"
#include "support/FileDescriptor.h"
#include "support/SerialQueue.h"
#include "support/Uuid.h"

namespace notch {

// Production values; tests shrink them instead of sleeping.
struct ApprovalServerLimits {
  int listenBacklog = 32;
  std::size_t maxConnections = 32; // a connection beyond this is closed at once
  double requestReadTimeout = 5.0; // from accept to a complete request line
  double longestWait = 50.0;       // for a decision, also bounded by expiresAt
  double replySendTimeout = 1.0;
  double pollStep = 0.1;
  std::size_t maxLineBytes = kMaxLineBytes;
};

class ApprovalServer {
public:
  using Limits = ApprovalServerLimits;

  using RequestCallback = std::function<void(const ApprovalRequest&)>;
  using RemovalCallback = std::function<void(const std::string& id)>;

  ApprovalServer(std::string directory, const Clock& clock, Limits limits = {});
  ~ApprovalServer(); // stops, then runs the callbacks still queued
  ApprovalServer(const ApprovalServer&) = delete;
  ApprovalServer& operator=(const ApprovalServer&) = delete;

  // Begins serving. Throws TransportError: alreadyRunning when this server
  // runs or another live server holds the socket, unsafePath for an unsafe
  // directory or socket file (left untouched), system(errno) otherwise.
  // Nothing is left running and no socket file is left behind on failure.
  void start(RequestCallback onRequest, RemovalCallback onRemoval);

  // Records the user's decision for a pending, unexpired, undecided request
  // whose handler still waits. True if it was recorded; the handler then
  // replies at once (allow and deny), unless the server stops first.
  bool decide(const std::string& id, Decision decision);

  // Ends serving; returns when the accept loop and every handler have ended.
  // Waiting clients see end of stream without a reply; the socket file is
  // removed.
  void stop();

  bool isRunning() const;
  const std::string& socketPath() const { return socketPath_; }

private:
  struct Connection;

  void admit(FileDescriptor descriptor);
  void serve(const std::shared_ptr<Connection>& connection);
  std::optional<ApprovalRequest> readRequest(const Connection& connection);
  bool registerRequest(const std::shared_ptr<Connection>& connection, const ApprovalRequest& request);
  std::optional<Decision> awaitDecision(Connection& connection, double waitDeadline);
  void finish(const std::shared_ptr<Connection>& connection);
  LineChannel channelFor(const Connection& connection) const;
  bool running() const;

  const std::string socketPath_;
  const Limits limits_;
  const Clock& clock_;

  mutable std::mutex lock_;
  std::mutex lifecycle_;
  BridgeAcceptor acceptor_; // runs the accept loop and the handlers; stop() waits for them
  SerialQueue callbacks_{"vantrel-notch.callbacks"};

  // Guarded by lock_.
  bool running_ = false;
  std::map<Uuid, std::shared_ptr<Connection>> connections_;
  std::map<std::string, std::shared_ptr<Connection>> pending_;
  RequestCallback onRequest_;
  RemovalCallback onRemoval_;
};

} // namespace notch
