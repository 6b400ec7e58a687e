#include "core/bridge/TestBridge.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <filesystem>
#include <stdexcept>

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/fsuid.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "core/bridge/BridgeSocket.h"
#include "core/bridge/LineFraming.h"
#include "support/Clock.h"
#include "support/Uuid.h"

namespace notch::testing {

TemporaryDirectory::TemporaryDirectory() {
  char pattern[] = "/tmp/vn-XXXXXX";
  if (::mkdtemp(pattern) == nullptr) {
    throw std::runtime_error("mkdtemp failed");
  }
  path_ = pattern;
}

TemporaryDirectory::~TemporaryDirectory() {
  std::error_code ignored;
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all, ignored);
  std::filesystem::remove_all(path_, ignored);
}

namespace {

// Test clients write to sockets whose server may already have closed them;
// that must fail the write, not kill the test binary.
[[maybe_unused]] const bool brokenPipesAreIgnored = [] {
  ::signal(SIGPIPE, SIG_IGN);
  return true;
}();

} // namespace

TestClient::TestClient(const std::string& path) : fd_(::socket(AF_UNIX, SOCK_STREAM, 0)) {
  if (fd_ && (::fcntl(fd_.get(), F_SETFD, FD_CLOEXEC) != 0 || connectBridgeSocket(fd_.get(), path) != 0)) {
    fd_.reset();
  }
}

bool TestClient::send(std::string_view bytes) const {
  while (!bytes.empty()) {
    const ssize_t sent = sendWithoutSignal(fd_.get(), bytes.data(), bytes.size());
    if (sent <= 0) {
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(sent));
  }
  return true;
}

TestClient::Received TestClient::readUntilClosed(double timeout) const {
  Received received;
  const double deadline = uptimeNow() + timeout;
  char buffer[4096];
  for (;;) {
    const double remaining = deadline - uptimeNow();
    if (remaining <= 0) {
      return received;
    }
    pollfd entry{fd_.get(), POLLIN, 0};
    if (::poll(&entry, 1, static_cast<int>(std::ceil(remaining * 1000))) <= 0) {
      continue;
    }
    const ssize_t count = ::recv(fd_.get(), buffer, sizeof buffer, 0);
    if (count <= 0) {
      received.endOfStream = true;
      return received;
    }
    received.bytes.append(buffer, static_cast<std::size_t>(count));
  }
}

ScriptedServer::ScriptedServer(std::string socketPath) : path_(std::move(socketPath)), listener_(makeBridgeSocket()) {
  if (!listener_ || bindBridgeSocket(listener_.get(), path_) != 0 || ::chmod(path_.c_str(), 0600) != 0 ||
      ::listen(listener_.get(), 8) != 0) {
    listener_.reset();
  }
}

ScriptedServer::~ScriptedServer() {
  if (listener_) {
    listener_.reset();
    ::unlink(path_.c_str());
  }
}

bool ScriptedServer::hasPendingConnection() const {
  pollfd entry{listener_.get(), POLLIN, 0};
  return ::poll(&entry, 1, 0) == 1;
}

std::optional<ScriptedServer::Exchange> ScriptedServer::accept(double timeout) const {
  pollfd entry{listener_.get(), POLLIN, 0};
  if (::poll(&entry, 1, static_cast<int>(timeout * 1000)) != 1) {
    return std::nullopt;
  }
  Exchange exchange{acceptBridgeConnection(listener_.get()), std::nullopt};
  if (!exchange.connection) {
    return std::nullopt;
  }
  const SystemClock clock;
  const LineChannel channel{.fd = exchange.connection.get(), .clock = clock, .pollStep = 0.01};
  exchange.requestLine = readLine(channel, uptimeNow() + timeout);
  return exchange;
}

ApprovalRequest makeRequest(double now, std::string_view toolName) {
  return ApprovalRequest{.id = Uuid::random().string(),
                         .sessionID = "session-1",
                         .toolName = std::string(toolName),
                         .toolInputJSON = "{\n  \"command\" : \"rm -rf /tmp/x\"\n}",
                         .cwd = "/Users/me/project",
                         .eventName = "PermissionRequest",
                         .expiresAt = now + 50.0,
                         .source = "workbuddy"};
}

std::string lineOf(const ApprovalRequest& request) { return request.encode().value() + "\n"; }

void CallbackRecorder::requested(const ApprovalRequest& request) {
  std::lock_guard guard(mutex_);
  events_.push_back("request:" + request.id);
  requests_.push_back(request);
  changed_.notify_all();
}

void CallbackRecorder::removed(const std::string& id) {
  std::lock_guard guard(mutex_);
  events_.push_back("removal:" + id);
  changed_.notify_all();
}

bool CallbackRecorder::waitForEvents(std::size_t count, double timeout) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, std::chrono::duration<double>(timeout), [&] { return events_.size() >= count; });
}

bool CallbackRecorder::waitForEvent(const std::string& event, double timeout) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, std::chrono::duration<double>(timeout),
                           [&] { return std::find(events_.begin(), events_.end(), event) != events_.end(); });
}

std::vector<std::string> CallbackRecorder::events() {
  std::lock_guard guard(mutex_);
  return events_;
}

std::vector<ApprovalRequest> CallbackRecorder::requests() {
  std::lock_guard guard(mutex_);
  return requests_;
}

OtherUserChild::OtherUserChild(const std::function<int()>& work) : pid_(::fork()) {
  if (pid_ == 0) {
    // The peer credentials of a socket are its process's effective user;
    // the file-system user stays root so the private directory is reachable.
    const bool becameOther = ::seteuid(65534) == 0;
    ::setfsuid(0);
    ::_exit(becameOther ? work() : 99);
  }
}

int OtherUserChild::wait() {
  int status = 0;
  if (pid_ <= 0 || ::waitpid(pid_, &status, 0) != pid_ || !WIFEXITED(status)) {
    return -1;
  }
  return WEXITSTATUS(status);
}

namespace {

std::size_t entriesIn(const char* directory) {
  std::size_t count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(directory)) {
    ++count;
  }
  return count;
}

} // namespace

bool canCountProcessResources() {
  std::error_code error;
  return std::filesystem::is_directory("/proc/self/fd", error) &&
         std::filesystem::is_directory("/proc/self/task", error);
}

std::size_t openDescriptorCount() { return entriesIn("/proc/self/fd"); }

std::size_t threadCount() { return entriesIn("/proc/self/task"); }

} // namespace notch::testing
