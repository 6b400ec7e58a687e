#include "core/bridge/TestBridge.h"

#include <cmath>
#include <csignal>
#include <filesystem>
#include <stdexcept>

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

std::string hookInput(const std::string& key, const Json& value) {
  Json input = parseJson(R"({"hook_event_name":"PermissionRequest","tool_name":"Bash","session_id":"S1",)"
                         R"("tool_input":{"command":"rm -rf /tmp/a","description":"清理"},"cwd":"/Users/me/p"})")
                   .value();
  if (value.is_discarded()) {
    input.erase(key);
  } else if (!key.empty()) {
    input[key] = value;
  }
  return writeCompactJson(input).value();
}

const std::string kHookAllowLine = R"({"decision":"approve","hookSpecificOutput":{"decision":{"behavior":"allow"},)"
                                   R"("hookEventName":"PermissionRequest","permissionDecision":"allow"}})"
                                   "\n";
const std::string kHookDenyLine = R"({"decision":"block","hookSpecificOutput":{"decision":{"behavior":"deny"},)"
                                  R"("hookEventName":"PermissionRequest","permissionDecision":"deny"}})"
                                  "\n";

ScriptedServer::ScriptedServer(std::string socketPath) : path_(std::move(socketPath)), listener_(makeBridgeSocket()) {
  if (bindBridgeSocket(listener_.get(), path_) != 0 || ::chmod(path_.c_str(), 0600) != 0 ||
      ::listen(listener_.get(), 8) != 0) {
    throw std::runtime_error("cannot listen on " + path_);
  }
}

std::optional<ScriptedServer::Exchange> ScriptedServer::accept(double timeout) const {
  pollfd entry{listener_.get(), POLLIN, 0};
  if (::poll(&entry, 1, static_cast<int>(timeout * 1000)) != 1) {
    return std::nullopt;
  }
  Exchange exchange{acceptBridgeConnection(listener_.get()), std::nullopt};
  const SystemClock clock;
  exchange.requestLine =
      readLine({.fd = exchange.connection.get(), .clock = clock, .pollStep = 0.01}, uptimeNow() + timeout);
  return exchange;
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
  return ::waitpid(pid_, &status, 0) == pid_ && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace notch::testing
