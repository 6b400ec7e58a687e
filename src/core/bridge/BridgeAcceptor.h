#pragma once

// The listening half of both bridge servers: opens a socket file in the
// bridge directory (replacing a stale one, refusing when another server
// answers there), accepts connections on a pooled thread, closes those of
// other users unread, and hands every other one to its owner's handler.
// `stop` wakes the accept loop at once instead of waiting out a poll step,
// waits for it and for every task started through `spawn`, and removes the
// socket file it created (only that one).
//
// Threads: the accept loop and spawned tasks run on the acceptor's own
// worker threads, which never outlive it. `spawn` is called from the
// connection handler; `isRunning` from anywhere; `start` and `stop` are
// serialised by the owner.

#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "core/bridge/BridgePaths.h"
#include "support/DispatchGroup.h"
#include "support/FileDescriptor.h"
#include "support/WorkerPool.h"

namespace notch {

class WakePipe;

struct BridgeAcceptorLimits {
  int listenBacklog = 32;
  double pollStep = 0.1; // rest after running out of descriptors
  // Longest sleep of an idle accept loop. A stop wakes it at once; this only
  // bounds a lost wake-up, so an idle app does not wake several times a second.
  double idleWait = 60.0;
};

class BridgeAcceptor {
public:
  using Limits = BridgeAcceptorLimits;
  // Runs on the accept thread with a connected, non-blocking socket whose
  // peer is this user. It must return soon; long work goes to `spawn`.
  using ConnectionHandler = std::function<void(FileDescriptor connection)>;

  BridgeAcceptor(std::string directory, std::string socketPath, Limits limits);
  ~BridgeAcceptor(); // stops
  BridgeAcceptor(const BridgeAcceptor&) = delete;
  BridgeAcceptor& operator=(const BridgeAcceptor&) = delete;

  // Throws TransportError: alreadyRunning when another live server holds the
  // socket, unsafePath for an unsafe directory or socket file (left
  // untouched), system(errno) otherwise. Nothing is left running and no
  // socket file behind on failure.
  void start(ConnectionHandler handler);

  // Returns when the accept loop and every spawned task have ended and the
  // socket file is gone. Spawned tasks must notice the stop themselves.
  void stop();

  bool isRunning() const { return running_.load(); }

  // Runs `task` on a worker thread that stop() waits for. False, running
  // nothing, when the acceptor stops or no thread can be had. Only from the
  // connection handler, so that a stop cannot miss the task.
  bool spawn(std::function<void()> task);

  const std::string& socketPath() const { return socketPath_; }

private:
  void acceptLoop(int listeningFd, const WakePipe& wake, const ConnectionHandler& handler);

  const std::string directory_;
  const std::string socketPath_;
  const Limits limits_;
  std::atomic<bool> running_ = false;
  std::shared_ptr<WakePipe> wake_; // set while running; owned jointly with the loop
  DispatchGroup workers_;
  WorkerPool threads_;
};

} // namespace notch
