#pragma once

// The file layer under every configuration operation. It edits a file that
// belongs to another application and may hold the user's own work, so:
//   - the directory is opened from "/" one component at a time without
//     following symbolic links, and every later step works relative to it;
//   - the file is read only if it is the user's private regular file with
//     one link (or a second one that is our own leftover of a killed create)
//     and at most 4 MiB, and a change during the read is detected;
//   - operations are serialised by a private lock file (no waiting);
//   - a private backup is written before anything changes;
//   - the file is replaced atomically, and only if nobody changed it since
//     it was first read.
// Every failure is a HookInstallerFailure with its Chinese message, and
// leaves the settings file as it was.
//
// Synchronous; runs on the caller's thread.

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "core/config/FileSystem.h"
#include "support/FileDescriptor.h"

namespace notch {

// The directory of one settings file, opened safely; one per operation.
class SettingsLocation {
public:
  static constexpr std::size_t maximumBytes = 4'194'304;

  // Opens the settings file's directory. With `createMissing`, missing
  // directories are created (mode 0700); without it a missing directory
  // gives nullopt. Throws HookInstallerFailure.
  static std::optional<SettingsLocation> open(const std::string& url, bool createMissing,
                                              const FileSystem& fileSystem);

  int directory() const { return directory_.get(); }
  const std::string& url() const { return url_; }
  const std::string& name() const { return name_; }
  const FileSystem& fileSystem() const { return *fileSystem_; }

private:
  SettingsLocation(FileDescriptor directory, std::string url, std::string name, const FileSystem& fileSystem)
      : directory_(std::move(directory)), url_(std::move(url)), name_(std::move(name)), fileSystem_(&fileSystem) {}

  FileDescriptor directory_;
  std::string url_;
  std::string name_;
  const FileSystem* fileSystem_;
};

// What one read saw; both absent when the file does not exist.
struct SettingsSnapshot {
  std::optional<std::string> data;
  std::optional<std::string> fingerprint; // identity, size, times and mode of the file
};

namespace SettingsFile {

SettingsSnapshot read(const SettingsLocation& location);

// Writes all of `bytes` to `fd`.
void writeAll(const FileSystem& fileSystem, std::string_view bytes, int fd);

// Runs `body` while holding the install lock; fails at once when another
// operation holds it.
void withInstallLock(const SettingsLocation& location, const std::function<void()>& body);

// Writes a private backup of `bytes`; returns its path. A backup that
// exists under its final name is always complete: it is written under a
// temporary name first.
std::string makeBackup(const SettingsLocation& location, std::string_view bytes);

// Fails unless the directory is still the same and the file still reads as
// in `first`.
void verifyUnchanged(const SettingsLocation& location, const SettingsSnapshot& first);

// Replaces (or, if it did not exist at `first`, exclusively creates) the
// settings file with `bytes`, after verifyUnchanged. Leaves no temporary file.
void replaceAtomically(const SettingsLocation& location, std::string_view bytes, const SettingsSnapshot& first);

// Removes temporary files that an operation killed midway left behind (ours
// only, by their exact name pattern). Call while holding the install lock.
void removeLeftovers(const SettingsLocation& location);

// The read-only variant for inspection: never creates anything. nullopt when
// the file does not exist. Throws SettingsHookConfiguration::InspectionError.
std::optional<std::string> readForInspection(const std::string& url, const FileSystem& fileSystem);

} // namespace SettingsFile
} // namespace notch
