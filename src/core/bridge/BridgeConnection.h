#pragma once

// The hooks' way onto a bridge socket, the same for both: the directory and
// the socket file must be safe before any socket is made, the connection is
// made without blocking, and the peer must be this user. Anything else ends
// in no connection, which each hook treats as "no app".

#include <string>

#include "support/FileDescriptor.h"

namespace notch {

// A connected, non-blocking socket to the server at `socketPath` inside
// `directory`, or an invalid descriptor. A connection still in progress gets
// up to `connectWait` seconds to complete (0: it must complete at once).
FileDescriptor connectToBridge(const std::string& directory, const std::string& socketPath, double connectWait);

} // namespace notch
