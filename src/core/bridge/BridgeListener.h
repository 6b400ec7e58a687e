#pragma once

// Opening a listening socket in the bridge directory, shared by the approval
// server and the turn-end server: a socket file left by a crashed run is
// replaced, a live one means another server runs, and the new file is
// identified at once so that only it is ever removed again.

#include <string>

#include "core/bridge/BridgePaths.h"
#include "support/FileDescriptor.h"

namespace notch {

struct BridgeListener {
  FileDescriptor socket;
  FileIdentity identity;
};

// Ensures the directory, removes a stale socket at `socketPath`, then binds,
// sets mode 0600 and listens. Throws TransportError: alreadyRunning when a
// live server answers there, unsafePath for an unsafe directory or socket
// file (left untouched), system(errno) otherwise; a socket file this call
// created is removed again on failure.
BridgeListener openBridgeListener(const std::string& directory, const std::string& socketPath, int backlog);

} // namespace notch
