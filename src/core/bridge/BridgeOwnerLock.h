#pragma once

// One notch app per user: the app that serves the bridge holds an
// exclusive lock on a file in the bridge directory for as long as it runs.
// The kernel lets go of it when the process ends however it ends, so a
// crashed app never blocks the next start.

#include <string>

#include "support/FileDescriptor.h"

namespace notch {

class BridgeOwnerLock {
public:
  enum class Outcome {
    acquired,      // this process is the one app
    heldElsewhere, // another app runs: this one should leave quietly
    unavailable,   // no lock could be taken (an unsafe directory, a full disk): run unguarded
  };

  explicit BridgeOwnerLock(const std::string& bridgeDirectory);

  Outcome outcome() const { return outcome_; }

private:
  FileDescriptor file_;
  Outcome outcome_ = Outcome::unavailable;
};

} // namespace notch
