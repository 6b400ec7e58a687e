#pragma once

// The app's receiving end of the turn-end hooks: one listening socket in the
// bridge directory, connections served strictly one at a time within a tight
// budget, and every accepted event handed to `onEvent` on the serial queue
// "vantrel-notch.completion-callbacks". Nothing is ever sent back.
//
// Every run has its own token; the read of a connection and every delivery
// compare it with the active one, so nothing of a stopped run reaches the
// app. Slow, oversized, two-line, malformed, invalid, stale (older than 3 s)
// and future events are dropped without a callback.
//
// `start` and `stop` may be called from any thread and are serialised.

#include <cstddef>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

#include "core/bridge/BridgeAcceptor.h"
#include "core/completion/CompletionEvent.h"
#include "support/Clock.h"
#include "support/SerialQueue.h"
#include "support/Uuid.h"

namespace notch {

// Production values; tests shrink them instead of sleeping.
struct CompletionServerLimits {
  int listenBacklog = 16;
  double acceptPollStep = 0.04;
  double connectionBudget = 0.15; // per connection, from accept to a complete line
  double connectionPollStep = 0.02;
  std::size_t maxLineBytes = 4'096;
  double largestEventAge = 3.0;
};

class CompletionServer {
public:
  using Limits = CompletionServerLimits;
  using EventCallback = std::function<void(const CompletionEvent&)>;

  CompletionServer(std::string directory, const Clock& clock, Limits limits = {});
  ~CompletionServer(); // stops, then runs what is still queued (old-run deliveries drop themselves)
  CompletionServer(const CompletionServer&) = delete;
  CompletionServer& operator=(const CompletionServer&) = delete;

  // Throws TransportError like the approval server's start.
  void start(EventCallback onEvent);
  // Returns when the accept loop has ended and no delivery of this run is
  // still running; deliveries queued for it are dropped. Must not be called
  // from inside `onEvent` of a run that is still delivering.
  void stop();

  bool isRunning() const;
  const std::string& socketPath() const { return socketPath_; }

private:
  void receive(FileDescriptor connection, const Uuid& token, const EventCallback& onEvent);
  std::optional<CompletionEvent> serve(int fd, const Uuid& token);
  bool isActive(const Uuid& token) const;

  const std::string socketPath_;
  const Limits limits_;
  const Clock& clock_;

  mutable std::mutex lock_;
  std::mutex lifecycle_;
  BridgeAcceptor acceptor_; // serves each connection on its accept thread, one at a time
  SerialQueue callbacks_{"vantrel-notch.completion-callbacks"};
  std::optional<Uuid> active_; // guarded by lock_
};

} // namespace notch
