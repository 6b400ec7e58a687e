#pragma once

// Helpers for the configuration tests: a temporary home with WorkBuddy's
// settings directory, file helpers, and a file system whose calls can be
// made to fail or to trigger an action.

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/bridge/TestBridge.h"
#include "core/config/FileSystem.h"

namespace notch::testing {

std::optional<std::string> readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& bytes, mode_t mode = 0600);
std::vector<std::string> directoryEntries(const std::string& path);

// A temporary home directory; settings() is its standard-edition file.
class TemporaryHome {
public:
  TemporaryHome();
  const std::string& path() const { return directory_.path(); }
  std::string workbuddy() const { return path() + "/.workbuddy"; }
  std::string settings() const { return workbuddy() + "/settings.json"; }
  std::string backups() const { return workbuddy() + "/.vantrel-notch-backups"; }
  // Writes settings() (creating .workbuddy with mode 0700).
  void writeSettings(const std::string& bytes) const;

private:
  TemporaryDirectory directory_;
};

// The system's calls, except that the `failAt`-th call of those counted
// (opens, writes, syncs, mode changes, renames and links) fails with EIO, and `beforeCall`
// runs before every call. With `exclusiveRenameUnsupported` the exclusive
// rename fails with EINVAL, as on NFS.
class FaultyFileSystem final : public FileSystem {
public:
  int failAt = 0; // 0: never fail
  bool exclusiveRenameUnsupported = false;
  std::function<void(const char* call)> beforeCall;
  mutable int counted = 0;

  int openAt(int directory, const char* name, int flags, mode_t mode) const override;
  int mkdirAt(int directory, const char* name, mode_t mode) const override;
  int unlinkAt(int directory, const char* name, int flags) const override;
  int fileStatus(int fd, struct stat* status) const override;
  int statusAt(int directory, const char* name, struct stat* status) const override;
  int changeMode(int fd, mode_t mode) const override;
  std::optional<std::vector<std::string>> directoryEntries(int directory) const override;
  ssize_t read(int fd, void* buffer, size_t length) const override;
  ssize_t write(int fd, const void* buffer, size_t length) const override;
  int syncData(int fd) const override;
  int syncDirectory(int fd) const override;
  int lock(int fd, int operation) const override;
  int renameAt(int directory, const char* from, const char* to) const override;
  int renameNoReplace(int directory, const char* from, const char* to) const override;
  int linkAt(int directory, const char* from, const char* to) const override;

private:
  void observe(const char* call) const;
  bool shouldFail(const char* call) const;
  SystemFileSystem system_;
};

} // namespace notch::testing
