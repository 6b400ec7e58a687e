#pragma once

// Whether the native monitor runs, and which run it is. Work that takes a
// while (a poll, a decision) captures the epoch when it starts and checks
// `isCurrent` before every callback or side effect, so that a stop or a
// restart in between (even one made from inside a callback) silences it.
//
// A plain value owned by the monitor, used on its queue.

#include "support/Uuid.h"

namespace notch {

class NativeMonitorLifecycle {
public:
  // Begins a new run; returns its epoch.
  const Uuid& start();
  // Ends the run; returns the fresh epoch that no run holds.
  const Uuid& stop();

  bool isCurrent(const Uuid& epoch) const { return running_ && epoch == epoch_; }
  bool running() const { return running_; }
  const Uuid& epoch() const { return epoch_; }

private:
  bool running_ = false;
  Uuid epoch_ = Uuid::random();
};

} // namespace notch
