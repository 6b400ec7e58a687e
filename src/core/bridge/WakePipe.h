#pragma once

// A self-pipe that lets one thread end another thread's poll() at once:
// `notify` makes the read end readable until someone calls `drain`. A waiter
// polls the read end next to its socket and, once woken, drains and re-checks
// the shared state it is waiting on. Thread-safe; notifications coalesce.

#include "support/FileDescriptor.h"

namespace notch {

class WakePipe {
public:
  // Throws TransportError::system when the pipe cannot be created.
  WakePipe();

  int readFd() const { return read_.get(); }
  void notify() const;
  void drain() const;

private:
  FileDescriptor read_;
  FileDescriptor write_;
};

} // namespace notch
