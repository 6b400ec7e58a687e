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
#include "support/Uuid.h"

namespace notch {
namespace {

using testing::ChildOptions;
using testing::ChildResult;
using testing::runChild;
using testing::ScriptedServer;

const std::string kAllowLine = R"({"decision":"approve","hookSpecificOutput":{"decision":{"behavior":"allow"},)"
                               R"("hookEventName":"PermissionRequest","permissionDecision":"allow"}})"
                               "\n";
const std::string kDenyLine = R"({"decision":"block","hookSpecificOutput":{"decision":{"behavior":"deny"},)"
                              R"("hookEventName":"PermissionRequest","permissionDecision":"deny"}})"
                              "\n";
const std::vector<std::string> kHookArguments = {"--hook", "--source", "workbuddy", "--owner-marker",
                                                 "vantrel-notch-v1"};

std::string permissionRequestInput(std::string_view tool = "Bash") {
  return writeCompactJson(Json{{"hook_event_name", "PermissionRequest"},
                               {"tool_name", tool},
                               {"tool_input", {{"command", "ls /tmp"}, {"file_path", "/a/b"}}},
                               {"session_id", "S"},
                               {"cwd", "/Users/me"}})
      .value();
}

bool aLiveServerAnswersAt(const std::string& socketPath) {
  FileDescriptor probe = makeBridgeSocket();
  return probe && connectBridgeSocket(probe.get(), socketPath) == 0;
}

class ApprovalHookEndToEnd : public ::testing::Test {
protected:
  void SetUp() override {
    if (aLiveServerAnswersAt(socket)) {
      GTEST_SKIP() << "a running Vantrel Dozer serves " << socket << "; quit it to run these tests";
    }
    ::unlink(socket.c_str()); // a stale socket from an earlier run
    ::mkdir(directory.c_str(), 0700);
    ::chmod(directory.c_str(), 0700);
  }

  void TearDown() override {
    server.reset();
    ::chmod(directory.c_str(), 0700);
  }

  ChildResult hook(const std::string& input, const std::vector<std::string>& arguments = kHookArguments,
                   ChildOptions options = {}) {
    options.standardInput = input;
    return runChild(NOTCH_EXECUTABLE_PATH, arguments, options);
  }

  // Starts an approval server on the real bridge that answers every request
  // with `answer` and remembers it.
  void startServer() {
    server = std::make_unique<ApprovalServer>(directory, clock);
    server->start(
        [this, deciding = server.get()](const ApprovalRequest& request) {
          {
            std::lock_guard guard(mutex);
            received.push_back(request);
          }
          deciding->decide(request.id, answer.load());
        },
        nullptr);
  }

  std::vector<ApprovalRequest> requests() {
    std::lock_guard guard(mutex);
    return received;
  }

  static void expectSilentSuccess(const ChildResult& result) {
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.signal, 0);
    EXPECT_FALSE(result.timedOut);
    EXPECT_EQ(result.standardOutput, "");
    EXPECT_EQ(result.standardError, "");
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
  expectSilentSuccess(hook(permissionRequestInput())); // no app: no socket file at all
  startServer();
  for (const auto& [decision, line] : {std::pair{Decision::allow, kAllowLine}, std::pair{Decision::deny, kDenyLine}}) {
    answer = decision;
    const ChildResult result = hook(permissionRequestInput());
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.standardOutput, line);
    EXPECT_EQ(result.standardError, "");
  }
  answer = Decision::passthrough;
  expectSilentSuccess(hook(permissionRequestInput()));
  const std::string sparse = R"({"hook_event_name":"PermissionRequest","tool_name":"Write","tool_input":{}})";
  hook(sparse, {"--source", "workbuddyAI", "--hook"});
  hook(sparse, {"--hook", "--source"});

  const auto seen = requests();
  ASSERT_EQ(seen.size(), 5u);
  EXPECT_EQ(Uuid::parse(seen[0].id).value().string(), seen[0].id);
  EXPECT_EQ(seen[0].toolInputJSON, "{\n  \"command\" : \"ls /tmp\",\n  \"file_path\" : \"/a/b\"\n}");
  EXPECT_NEAR(seen[0].expiresAt, wallClockNow() + 50, 10);
  EXPECT_EQ(seen[0].sessionID, "S");
  EXPECT_EQ(seen[0].source, "workbuddy");
  EXPECT_EQ(seen[3].source, "workbuddyAI");
  EXPECT_EQ(seen[3].sessionID, "");
  EXPECT_EQ(seen[3].toolInputJSON, "{}");
  EXPECT_EQ(seen[4].source, "workbuddy"); // "--source" as the last argument
}

TEST_F(ApprovalHookEndToEnd, HostileConditionsEndQuietly) {
  startServer();
  ChildOptions readerGone;
  readerGone.closeStandardOutputAtOnce = true;
  const ChildResult closed = hook(permissionRequestInput(), kHookArguments, readerGone);
  EXPECT_EQ(closed.exitStatus, 0);
  EXPECT_EQ(closed.signal, 0);

  expectSilentSuccess(hook("{\"hook_event_name\":\"PermissionRequest\",\"tool_name\":\"B\xff\",\"tool_input\":{}}"));
  const std::string deep = R"({"hook_event_name":"PermissionRequest","tool_name":"Bash","tool_input":{"a":)" +
                           std::string(100'000, '[') + std::string(100'000, ']') + "}}";
  expectSilentSuccess(hook(deep));
  EXPECT_EQ(requests().size(), 1u); // only the first reached the app
}

TEST_F(ApprovalHookEndToEnd, ExactlyOneMebibyteOfInputIsAccepted) {
  startServer();
  std::string input = permissionRequestInput();
  input.append(1'048'576 - input.size(), ' '); // white space: the request itself stays small
  EXPECT_EQ(hook(input).standardOutput, kAllowLine);
  expectSilentSuccess(hook(input + " "));
  EXPECT_EQ(requests().size(), 1u);
}

TEST_F(ApprovalHookEndToEnd, ModesAreTriedInTheirOrder) {
  const std::string program = NOTCH_EXECUTABLE_PATH;
  const ChildResult identity = runChild(program, {"--test-transport-identity"});
  EXPECT_EQ(identity.standardOutput, "production\n");
  EXPECT_EQ(identity.exitStatus, 0);
  const ChildResult notAlone = runChild(program, {"--test-transport-identity", "--version"});
  EXPECT_EQ(notAlone.standardOutput.rfind("VantrelNotch ", 0), 0u);

  const ChildResult help = runChild(program, {"--help"});
  EXPECT_EQ(help.exitStatus, 0);
  EXPECT_NE(help.standardOutput.find("--hook"), std::string::npos);

  // A turn-end hook or a configuration flag shadows "--hook": no request is
  // ever sent for them.
  ScriptedServer scripted(socket);
  ASSERT_TRUE(scripted.listening());
  expectSilentSuccess(hook(permissionRequestInput(), {"--completion-hook", "--hook"}));
  const ChildResult configure = hook(permissionRequestInput(), {"--configure-completion", "--hook"});
  EXPECT_EQ(configure.standardOutput, "");
  EXPECT_FALSE(scripted.hasPendingConnection());

  // "--help" comes after the hook: it never shadows a hook invocation.
  std::thread serverSide([&] { scripted.accept(); });
  expectSilentSuccess(hook(permissionRequestInput(), {"--hook", "--help"}));
  serverSide.join();
}

} // namespace
} // namespace notch
