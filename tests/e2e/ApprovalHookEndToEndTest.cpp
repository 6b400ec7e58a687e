// The approval hook as WorkBuddy runs it: the real VantrelNotch executable,
// the bridge directory /tmp/vantrel-notch-<uid>, and a server in this
// process. The suite runs in a private /tmp where the machine allows it;
// otherwise these tests hold a ctest resource lock on the real directory and
// skip when a running app already serves it.

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include <sys/stat.h>
#include <unistd.h>

#include "core/bridge/ApprovalServer.h"
#include "core/bridge/BridgeSocket.h"
#include "core/bridge/TestBridge.h"
#include "support/ChildProcess.h"
#include "support/Json.h"

namespace notch {
namespace {

using testing::ChildOptions;
using testing::runChild;
using testing::summary;

const std::string kAllowLine = R"({"decision":"approve","hookSpecificOutput":{"decision":{"behavior":"allow"},)"
                               R"("hookEventName":"PermissionRequest","permissionDecision":"allow"}})"
                               "\n";
const std::string kDenyLine = R"({"decision":"block","hookSpecificOutput":{"decision":{"behavior":"deny"},)"
                              R"("hookEventName":"PermissionRequest","permissionDecision":"deny"}})"
                              "\n";
const std::vector<std::string> kHookArguments = {"--hook", "--source", "workbuddy", "--owner-marker",
                                                 "vantrel-notch-v1"};
const std::string kInput = R"({"hook_event_name":"PermissionRequest","tool_name":"Bash",)"
                           R"("tool_input":{"command":"ls /tmp"},"session_id":"S","cwd":"/Users/me"})";

class ApprovalHookEndToEnd : public ::testing::Test {
protected:
  void SetUp() override {
    FileDescriptor probe = makeBridgeSocket();
    if (connectBridgeSocket(probe.get(), socket) == 0) {
      GTEST_SKIP() << "a running Vantrel Dozer serves " << socket << "; quit it to run these tests";
    }
    ::unlink(socket.c_str()); // a stale socket from an earlier run
    ::mkdir(directory.c_str(), 0700);
    ::chmod(directory.c_str(), 0700);
  }

  testing::ChildResult hook(const std::string& input, const std::vector<std::string>& arguments = kHookArguments,
                            ChildOptions options = {}) {
    options.standardInput = input;
    return runChild(NOTCH_EXECUTABLE_PATH, arguments, options);
  }

  // An approval server on the real bridge that answers every request with
  // `answer` and remembers it.
  void startServer() {
    server = std::make_unique<ApprovalServer>(directory, clock);
    server->start(
        [this](const ApprovalRequest& request) {
          std::lock_guard guard(mutex);
          received.push_back(request);
          server->decide(request.id, answer.load());
        },
        nullptr);
  }

  std::size_t requestCount() {
    std::lock_guard guard(mutex);
    return received.size();
  }

  const SystemClock clock;
  const std::string directory = bridgeDirectory();
  const std::string socket = bridgeSocketPath(directory);
  std::atomic<Decision> answer = Decision::allow;
  std::mutex mutex;
  std::vector<ApprovalRequest> received;
  std::unique_ptr<ApprovalServer> server;
};

TEST_F(ApprovalHookEndToEnd, AllowAndDenyPrintExactlyTheHookOutput) {
  EXPECT_EQ(summary(hook(kInput)), "0||"); // no app: no socket file at all
  startServer();
  for (const auto& [decision, printed] :
       {std::pair{Decision::allow, kAllowLine}, {Decision::deny, kDenyLine}, {Decision::passthrough, ""}}) {
    answer = decision;
    EXPECT_EQ(summary(hook(kInput)), "0|" + printed + "|");
  }
  hook(kInput, {"--source", "workbuddyAI", "--hook"});
  hook(kInput, {"--hook", "--source"}); // "--source" as the last argument
  std::lock_guard guard(mutex);
  ASSERT_EQ(received.size(), 5u);
  EXPECT_NEAR(received[0].expiresAt, wallClockNow() + 50, 10);
  EXPECT_EQ(received[3].source + "," + received[4].source, "workbuddyAI,workbuddy");
}

TEST_F(ApprovalHookEndToEnd, HostileConditionsEndQuietly) {
  startServer();
  ChildOptions readerGone;
  readerGone.closeStandardOutputAtOnce = true;
  EXPECT_EQ(summary(hook(kInput, kHookArguments, readerGone)), "0||");
  EXPECT_EQ(summary(hook(R"({"hook_event_name":"PermissionRequest","tool_name":"B)"
                         "\xff"
                         R"(","tool_input":{}})")),
            "0||");
  const std::string deep = R"({"hook_event_name":"PermissionRequest","tool_name":"Bash","tool_input":{"a":)" +
                           std::string(100'000, '[') + std::string(100'000, ']') + "}}";
  EXPECT_EQ(summary(hook(deep)), "0||");
  EXPECT_EQ(requestCount(), 1u); // only the first reached the app
}

TEST_F(ApprovalHookEndToEnd, ExactlyOneMebibyteOfInputIsAccepted) {
  startServer();
  const std::string input = kInput + std::string(1'048'576 - kInput.size(), ' '); // the request stays small
  EXPECT_EQ(summary(hook(input)), "0|" + kAllowLine + "|");
  EXPECT_EQ(summary(hook(input + " ")), "0||");
  EXPECT_EQ(requestCount(), 1u);
}

TEST_F(ApprovalHookEndToEnd, ModesAreTriedInTheirOrder) {
  EXPECT_EQ(summary(runChild(NOTCH_EXECUTABLE_PATH, {"--test-transport-identity"})), "0|production\n|");
  const auto notAlone = runChild(NOTCH_EXECUTABLE_PATH, {"--test-transport-identity", "--version"});
  EXPECT_TRUE(notAlone.standardOutput.starts_with("VantrelNotch "));
  const auto help = runChild(NOTCH_EXECUTABLE_PATH, {"--help"});
  EXPECT_EQ(help.exitStatus, 0);
  EXPECT_NE(help.standardOutput.find("--hook"), std::string::npos);

  // A turn-end hook or a configuration flag shadows "--hook": no request is
  // ever sent for them. "--help" after the hook never shadows it.
  testing::ScriptedServer scripted(socket);
  ASSERT_TRUE(scripted.listening());
  EXPECT_EQ(summary(hook(kInput, {"--completion-hook", "--hook"})), "0||");
  EXPECT_EQ(hook(kInput, {"--configure-completion", "--hook"}).standardOutput, "");
  EXPECT_FALSE(scripted.hasPendingConnection());
  std::thread serverSide([&] { scripted.accept(); });
  EXPECT_EQ(summary(hook(kInput, {"--hook", "--help"})), "0||");
  serverSide.join();
}

} // namespace
} // namespace notch
