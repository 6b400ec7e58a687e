#pragma once

// Helpers for tests of the bridge: private bridge directories, a plain
// client socket, a scripted listener, a thread-safe inbox for callbacks and
// a child process acting as another user.

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <unistd.h>

#include "core/bridge/ApprovalRequest.h"
#include "core/bridge/TransportError.h"
#include "support/FileDescriptor.h"
#include "support/Json.h"

namespace notch::testing {

// A fresh directory /tmp/vn-XXXXXX (mode 0700, short enough for socket
// paths), removed with its contents on destruction.
class TemporaryDirectory {
public:
  TemporaryDirectory();
  ~TemporaryDirectory();
  TemporaryDirectory(const TemporaryDirectory&) = delete;
  TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;

  const std::string& path() const { return path_; }
  std::string child(std::string_view name) const { return path_ + "/" + std::string(name); }

private:
  std::string path_;
};

// The client end of one connection, as a hook client would hold it.
class TestClient {
public:
  explicit TestClient(const std::string& path); // check connected()
  bool connected() const { return fd_.valid(); }
  bool send(std::string_view bytes) const;
  void close() { fd_.reset(); }
  // What arrived until the server closed the connection; nullopt when
  // `timeout` ran out first.
  std::optional<std::string> readUntilClosed(double timeout = 5.0) const;

private:
  FileDescriptor fd_;
};

// The TransportError that `operation` threw, if it threw one.
inline std::optional<TransportError> transportFailure(const std::function<void()>& operation) {
  try {
    operation();
  } catch (const TransportError& error) {
    return error;
  }
  return std::nullopt;
}

// A valid request as the hook client would build it, expiring 50 s after
// `now` (wall clock), and its wire line with the line feed.
ApprovalRequest makeRequest(double now);
std::string lineOf(const ApprovalRequest& request);

// A permission request as WorkBuddy hands it to the hook, with `key` set to
// `value` (removed when `value` is discarded), and the hook's two answers.
std::string hookInput(const std::string& key = "", const Json& value = nullptr);
extern const std::string kHookAllowLine;
extern const std::string kHookDenyLine;

// A bare listener on a bridge socket path (mode 0600) that plays whatever
// server a test scripts.
class ScriptedServer {
public:
  explicit ScriptedServer(std::string socketPath);
  ~ScriptedServer() { ::unlink(path_.c_str()); }
  ScriptedServer(const ScriptedServer&) = delete;
  ScriptedServer& operator=(const ScriptedServer&) = delete;

  struct Exchange {
    FileDescriptor connection;
    std::optional<std::string> requestLine; // nullopt: none arrived in time
  };
  // Accepts one connection within `timeout` and reads its request line
  // (none pending: accept(0) is nullopt).
  std::optional<Exchange> accept(double timeout = 5.0) const;

private:
  std::string path_;
  FileDescriptor listener_;
};

// What other threads pushed, in order, for the test's thread to wait for.
template <typename T> class Inbox {
public:
  void push(T item) {
    std::lock_guard guard(mutex_);
    items_.push_back(std::move(item));
    changed_.notify_all();
  }
  // The items once there are `count` (or after `timeout`), `settle` seconds later.
  std::vector<T> waitFor(std::size_t count, double timeout = 5.0, double settle = 0) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, std::chrono::duration<double>(timeout), [&] { return items_.size() >= count; });
    changed_.wait_for(lock, std::chrono::duration<double>(settle), [] { return false; });
    return items_;
  }
  bool waitFor(const T& item) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(5), [&] { return std::ranges::count(items_, item) > 0; });
  }
  std::vector<T> items() { return waitFor(0); }

private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<T> items_;
};

// A child process whose effective user is another one (65534) while its
// file access stays the caller's, so the sockets it connects or listens on
// carry another user's credentials in the caller's private directories.
// Forked at construction (so construct it while the test has one thread);
// `work` runs in the child and its result is the exit status. Root only.
class OtherUserChild {
public:
  explicit OtherUserChild(const std::function<int()>& work);
  int wait(); // the child's exit status, or -1
  static bool available() { return ::geteuid() == 0; }

private:
  pid_t pid_ = -1;
};

} // namespace notch::testing
