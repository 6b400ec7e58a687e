#pragma once

// Helpers for the configuration tests: a temporary home with WorkBuddy's
// settings directory, file helpers, and a file system whose calls can be
// made to fail or to trigger an action.

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include <sys/stat.h>

#include "core/bridge/TestBridge.h"
#include "core/config/FileSystem.h"
#include "core/config/HookInstallerFailure.h"

namespace notch::testing {

inline const std::string kExecutable = "/Applications/Vantrel Dozer.app/Contents/MacOS/VantrelNotch";

// The message of the failure `operation` throws, or "no failure".
inline std::string failureOf(const std::function<void()>& operation) try {
  return operation(), "no failure";
} catch (const HookInstallerFailure& failure) {
  return failure.message();
}

inline std::optional<std::string> readFile(const std::string& path) {
  std::ifstream stream(path, std::ios::binary);
  return stream ? std::optional(std::string(std::istreambuf_iterator<char>(stream), {})) : std::nullopt;
}

inline void writeFile(const std::string& path, const std::string& bytes, mode_t mode = 0600) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
  ::chmod(path.c_str(), mode);
}

inline std::vector<std::string> directoryEntries(const std::string& path) {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(path, error)) {
    names.push_back(entry.path().filename());
  }
  return std::ranges::sort(names), names;
}

// A temporary home directory; settings() is its standard-edition file.
class TemporaryHome {
public:
  const std::string& path() const { return directory_.path(); }
  std::string workbuddy() const { return path() + "/.workbuddy"; }
  std::string settings() const { return workbuddy() + "/settings.json"; }
  std::string backups() const { return workbuddy() + "/.vantrel-notch-backups"; }
  // Writes settings() (creating .workbuddy with mode 0700).
  void writeSettings(const std::string& bytes) const {
    ::mkdir(workbuddy().c_str(), 0700);
    writeFile(settings(), bytes);
  }

private:
  TemporaryDirectory directory_;
};

// The system's calls, except that the `failAt`-th call of those counted
// (opens, writes, syncs, mode changes, renames and links) fails with EIO
// (`failedCall` names it), and `beforeCall` runs before every call. With
// `exclusiveRenameUnsupported` the exclusive rename fails with EINVAL, as on NFS.
class FaultyFileSystem final : public FileSystem {
public:
  int failAt = 0; // 0: never fail
  bool exclusiveRenameUnsupported = false;
  std::function<void(const char* call)> beforeCall = [](const char*) {};
  mutable int counted = 0;
  mutable std::string failedCall;

// Each call: its return type, name, parameters, arguments, the name `beforeCall` sees, whether it counts.
#define NOTCH_FORWARD(Result, Name, Parameters, Arguments, Call, Counts)                                               \
  Result Name Parameters const override {                                                                              \
    return call(Call, Counts, [&] { return system_.Name Arguments; });                                                 \
  }
  NOTCH_FORWARD(int, openAt, (int d, const char* n, int f, mode_t m), (d, n, f, m), "open", true)
  NOTCH_FORWARD(int, mkdirAt, (int d, const char* n, mode_t m), (d, n, m), "mkdir", false)
  NOTCH_FORWARD(int, unlinkAt, (int d, const char* n, int f), (d, n, f), "unlink", false)
  NOTCH_FORWARD(int, fileStatus, (int fd, struct stat* s), (fd, s), "stat", false)
  NOTCH_FORWARD(int, statusAt, (int d, const char* n, struct stat* s), (d, n, s), "stat", false)
  NOTCH_FORWARD(int, changeMode, (int fd, mode_t m), (fd, m), "chmod", true)
  NOTCH_FORWARD(std::optional<std::vector<std::string>>, directoryEntries, (int d), (d), "list", false)
  NOTCH_FORWARD(ssize_t, read, (int fd, void* b, size_t n), (fd, b, n), "read", false)
  NOTCH_FORWARD(ssize_t, write, (int fd, const void* b, size_t n), (fd, b, n), "write", true)
  NOTCH_FORWARD(int, syncData, (int fd), (fd), "sync", true)
  NOTCH_FORWARD(int, syncDirectory, (int fd), (fd), "sync directory", false)
  NOTCH_FORWARD(int, lock, (int fd, int operation), (fd, operation), "lock", false)
  NOTCH_FORWARD(int, renameAt, (int d, const char* from, const char* to), (d, from, to), "rename", true)
  NOTCH_FORWARD(int, linkAt, (int d, const char* from, const char* to), (d, from, to), "link", true)
#undef NOTCH_FORWARD
  int renameNoReplace(int d, const char* from, const char* to) const override {
    return call("rename", true, [&] {
      return exclusiveRenameUnsupported ? (errno = EINVAL, -1) : system_.renameNoReplace(d, from, to);
    });
  }

private:
  template <typename Forward> auto call(const char* name, bool counts, Forward forward) const -> decltype(forward()) {
    beforeCall(name);
    if constexpr (std::is_arithmetic_v<decltype(forward())>) {
      if (counts && ++counted == failAt) {
        return failedCall = name, errno = EIO, -1;
      }
    }
    return forward();
  }
  SystemFileSystem system_;
};

} // namespace notch::testing
