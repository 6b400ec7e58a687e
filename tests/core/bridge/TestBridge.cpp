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

// Test clients write to sockets whose server may already have closed them;
// that must fail the write, not kill the test binary.
TestClient::TestClient(const std::string& path) : fd_(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
  ::signal(SIGPIPE, SIG_IGN);
  if (fd_ && connectBridgeSocket(fd_.get(), path) != 0) {
    fd_.reset();
  }
}

bool TestClient::send(std::string_view bytes) const {
  for (ssize_t sent = 0; !bytes.empty(); bytes.remove_prefix(static_cast<std::size_t>(sent))) {
    if ((sent = sendWithoutSignal(fd_.get(), bytes.data(), bytes.size())) <= 0) {
      return false;
    }
  }
  return true;
}

std::optional<std::string> TestClient::readUntilClosed(double timeout) const {
  std::string received;
  char buffer[4096];
  for (const double deadline = uptimeNow() + timeout; uptimeNow() < deadline;) {
    pollfd entry{fd_.get(), POLLIN, 0};
    if (::poll(&entry, 1, static_cast<int>(std::ceil((deadline - uptimeNow()) * 1000))) > 0) {
      const ssize_t count = ::recv(fd_.get(), buffer, sizeof buffer, 0);
      if (count <= 0) {
        return received;
      }
      received.append(buffer, static_cast<std::size_t>(count));
    }
  }
  return std::nullopt;
}

ApprovalRequest makeRequest(double now) {
  return ApprovalRequest{.id = Uuid::random().string(),
                         .sessionID = "session-1",
                         .toolName = "Bash",
                         .toolInputJSON = "{\n  \"command\" : \"rm -rf /tmp/x\"\n}",
                         .cwd = "/Users/me/project",
                         .eventName = "PermissionRequest",
                         .expiresAt = now + 50.0,
                         .source = "workbuddy"};
}

std::string lineOf(const ApprovalRequest& request) { return request.encode().value() + "\n"; }

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
  const SystemClock clock;
  const LineChannel channel{.fd = exchange.connection.get(), .clock = clock, .pollStep = 0.01};
  exchange.requestLine = readLine(channel, uptimeNow() + timeout);
  return exchange;
}

void CallbackRecorder::requested(const ApprovalRequest& request) { add("request:" + request.id); }

void CallbackRecorder::removed(const std::string& id) { add("removal:" + id); }

void CallbackRecorder::add(const std::string& event) {
  std::lock_guard guard(mutex_);
  events_.push_back(event);
  changed_.notify_all();
}

bool CallbackRecorder::waitUntil(const std::function<bool()>& done, double timeout) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, std::chrono::duration<double>(timeout), done);
}

bool CallbackRecorder::waitFor(std::size_t count, double timeout) {
  return waitUntil([&] { return events_.size() >= count; }, timeout);
}

bool CallbackRecorder::waitFor(const std::string& event, double timeout) {
  return waitUntil([&] { return std::find(events_.begin(), events_.end(), event) != events_.end(); }, timeout);
}

std::vector<std::string> CallbackRecorder::events() {
  std::lock_guard guard(mutex_);
  return events_;
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

} // namespace notch::testing
