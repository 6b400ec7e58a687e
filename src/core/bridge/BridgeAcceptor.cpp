#include "core/bridge/BridgeAcceptor.h"

#include <cerrno>

#include <poll.h>
#include <unistd.h>

#include "core/bridge/BridgeListener.h"
#include "core/bridge/BridgeSocket.h"
#include "core/bridge/SocketWait.h"
#include "core/bridge/TransportError.h"
#include "core/bridge/WakePipe.h"

namespace notch {

BridgeAcceptor::BridgeAcceptor(std::string directory, std::string socketPath, Limits limits)
    : directory_(std::move(directory)), socketPath_(std::move(socketPath)), limits_(limits) {}

BridgeAcceptor::~BridgeAcceptor() { stop(); }

void BridgeAcceptor::start(ConnectionHandler handler) {
  if (running_) {
    throw TransportError::alreadyRunning();
  }
  auto wake = std::make_shared<WakePipe>();
  BridgeListener listener = openBridgeListener(directory_, socketPath_, limits_.listenBacklog);
  const FileIdentity identity = listener.identity;
  wake_ = wake;
  running_ = true;
  workers_.enter();
  try {
    // The loop's closure owns the listening socket; if the thread cannot be
    // made, destroying the closure closes it.
    threads_.run([this, identity, wake, handler = std::move(handler),
                  listening = std::make_shared<FileDescriptor>(std::move(listener.socket))] {
      acceptLoop(listening->get(), *wake, handler);
      listening->reset();
      removeOwnSocket(directory_, socketPath_, identity);
      workers_.leave();
    });
  } catch (...) {
    running_ = false;
    wake_.reset();
    workers_.leave();
    removeOwnSocket(directory_, socketPath_, identity);
    throw TransportError::system(EAGAIN); // no thread (or no memory) for the accept loop
  }
}

void BridgeAcceptor::acceptLoop(int listeningFd, const WakePipe& wake, const ConnectionHandler& handler) {
  while (running_) {
    if (waitOnSocket(listeningFd, POLLIN, limits_.idleWait, &wake) != SocketWaitResult::ready) {
      continue;
    }
    FileDescriptor connection = acceptBridgeConnection(listeningFd);
    if (!connection) {
      // Out of descriptors the listening socket stays readable; rest for a
      // poll step instead of spinning, unless a stop wakes us.
      if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
        waitOnSocket(wake.readFd(), POLLIN, limits_.pollStep);
      }
      continue;
    }
    const auto peer = peerUserID(connection.get());
    if (!peer || *peer != ::getuid()) {
      continue; // another user's process: closed without a word
    }
    try {
      handler(std::move(connection));
    } catch (...) {
      // Out of memory for one connection: it is dropped, the loop goes on.
    }
  }
}

bool BridgeAcceptor::spawn(std::function<void()> task) {
  if (!running_) {
    return false;
  }
  workers_.enter();
  try {
    threads_.run([this, task = std::move(task)] {
      try {
        task();
      } catch (...) {
        // Nothing may leave a worker thread; the task's connection is dropped.
      }
      workers_.leave();
    });
    return true;
  } catch (...) {
    workers_.leave();
    return false;
  }
}

void BridgeAcceptor::stop() {
  running_ = false;
  if (wake_) {
    wake_->notify();
  }
  workers_.wait();
  threads_.shutdown();
  wake_.reset();
}

} // namespace notch
