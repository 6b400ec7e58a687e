#pragma once

// The few socket calls in which Linux and macOS differ, each system's in its
// own file (BridgeSocketLinux.cpp, BridgeSocketMac.cpp); the rest of
// BridgeSocket is shared.

#include "core/bridge/BridgeSocket.h"

namespace notch {

// Sets SO_NOSIGPIPE where the system has it; elsewhere every send says
// MSG_NOSIGNAL instead. False (errno set) on failure.
bool suppressBrokenPipeSignal(int fd);

// The address length field, where the system's addresses have one.
void setAddressLength(BridgeAddress& address);

// Applies the bridge options to a fresh descriptor; on failure closes it and
// keeps the errno of the failing step.
FileDescriptor withBridgeOptions(FileDescriptor socket);

} // namespace notch
