#pragma once

// Where the bridge lives and whether it may be trusted.
//
// The bridge directory /tmp/vantrel-notch-<uid> holds the approval socket and
// the turn-end socket. Nothing there is used unless it is, without following
// symbolic links, of the right type, owned by the process's real user and
// has exactly the expected permission bits. Every function takes the
// directory as a value so that tests can run in private directories.

#include <string>

#include <sys/types.h>

namespace notch {

// "/tmp/vantrel-notch-" followed by getuid() in decimal. The one place the
// production path is computed.
std::string bridgeDirectory();

// The approval socket in `directory`.
std::string bridgeSocketPath(const std::string& directory);

// The turn-end socket in `directory`.
std::string completionSocketPath(const std::string& directory);

// A directory, not a symbolic link, owned by the user, mode exactly 0700.
bool isBridgeDirectorySafe(const std::string& directory);

// Creates `directory` with mode 0700 if it is missing, then requires
// isBridgeDirectorySafe. Throws TransportError: unsafePath when the
// directory (new or old) is not safe, system(errno) for other failures.
void ensureBridgeDirectory(const std::string& directory);

// A socket, not a symbolic link, owned by the user, mode exactly 0600.
bool isBridgeSocketSafe(const std::string& path);

// A socket file's identity, recorded when it is created so that it is only
// ever removed while it is still the same file.
struct FileIdentity {
  dev_t device = 0;
  ino_t inode = 0;
  friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

// Removes the socket at `path` only if its directory is safe and the path is
// still the user's own socket with `identity`. Returns whether it removed it.
bool removeOwnSocket(const std::string& directory, const std::string& path, FileIdentity identity);

} // namespace notch
