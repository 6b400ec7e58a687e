// The approval hook as WorkBuddy runs it: the real VantrelNotch executable,
// the bridge directory /tmp/vantrel-notch-<uid>, and a server in this
// process. The suite runs in a private /tmp where the machine allows it;
// otherwise these tests hold a ctest resource lock on the real directory and
// skip when a running app already serves it.

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <thread>

#include <sys/stat.h>
#include <unistd.h>

#include "core/bridge/ApprovalServer.h"
#include "core/bridge/BridgeSocket.h"
#include "core/bridge/HookOutput.h"
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
using testing::TemporaryDirectory;

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
  startServer();
  for (Decision decision : {Decision::allow, Decision::deny}) {
    answer = decision;
    const ChildResult result = hook(permissionRequestInput());
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.standardOutput, hookOutputLine("PermissionRequest", decision).value());
    EXPECT_EQ(result.standardError, "");
  }
  answer = Decision::passthrough;
  expectSilentSuccess(hook(permissionRequestInput()));

  ASSERT_EQ(requests().size(), 3u);
  const ApprovalRequest first = requests()[0];
  EXPECT_EQ(Uuid::parse(first.id).value().string(), first.id);
  EXPECT_EQ(first.toolInputJSON, "{\n  \"command\" : \"ls /tmp\",\n  \"file_path\" : \"/a/b\"\n}");
  EXPECT_NEAR(first.expiresAt, wallClockNow() + 50, 10);
  EXPECT_EQ(first.source, "workbuddy");
  EXPECT_EQ(first.sessionID, "S");
}

TEST_F(ApprovalHookEndToEnd, SourceAndMissingFieldsReachTheApp) {
  startServer();
  const std::string sparse = R"({"hook_event_name":"PermissionRequest","tool_name":"Write","tool_input":{}})";
  hook(sparse, {"--source", "workbuddyAI", "--hook"});
  hook(sparse, {"--hook"});
  hook(sparse, {"--hook", "--source"});
  const auto seen = requests();
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[0].source, "workbuddyAI");
  EXPECT_EQ(seen[1].source, "workbuddy");
  EXPECT_EQ(seen[2].source, "workbuddy");
  EXPECT_EQ(seen[0].sessionID, "");
  EXPECT_EQ(seen[0].cwd, "");
  EXPECT_EQ(seen[0].toolInputJSON, "{}");
}

TEST_F(ApprovalHookEndToEnd, MisbehavingServersLeaveTheDecisionToWorkBuddy) {
  ScriptedServer scripted(socket);
  ASSERT_TRUE(scripted.listening());
  const std::vector<std::function<std::string(const std::string&)>> replies = {
      [](const std::string&) { return std::string(); }, // close without a word
      [](const std::string&) { return "{\"id\":\"" + Uuid::random().string() + "\",\"decision\":\"allow\"}\n"; },
      [](const std::string& id) { return "{\"id\":\"" + id + "\",\"decision\":\"allow\"\n"; },
      [](const std::string& id) { return "{\"id\":\"" + id + "\",\"decision\":\"ALLOW\"}\n"; },
  };
  for (const auto& reply : replies) {
    std::thread serverSide([&] {
      const auto exchange = scripted.accept();
      ASSERT_TRUE(exchange && exchange->requestLine);
      const std::string bytes = reply(ApprovalRequest::decode(*exchange->requestLine).value().id);
      sendWithoutSignal(exchange->connection.get(), bytes.data(), bytes.size());
    });
    expectSilentSuccess(hook(permissionRequestInput()));
    serverSide.join();
  }
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

TEST_F(ApprovalHookEndToEnd, NoAppOrAnUnsafeBridgeMeansNoConnection) {
  expectSilentSuccess(hook(permissionRequestInput())); // no socket file at all

  auto expectNoConnection = [&](const ScriptedServer& scripted) {
    expectSilentSuccess(hook(permissionRequestInput()));
    EXPECT_FALSE(scripted.hasPendingConnection());
  };
  {
    ScriptedServer scripted(socket);
    ASSERT_TRUE(scripted.listening());
    ASSERT_EQ(::chmod(directory.c_str(), 0755), 0);
    expectNoConnection(scripted);
    ASSERT_EQ(::chmod(directory.c_str(), 0700), 0);
    ASSERT_EQ(::chmod(socket.c_str(), 0666), 0);
    expectNoConnection(scripted);
    if (::getuid() == 0) {
      ASSERT_EQ(::chmod(socket.c_str(), 0600), 0);
      ASSERT_EQ(::chown(socket.c_str(), 65534, 65534), 0);
      expectNoConnection(scripted);
    }
  }

  // The bridge directory as a symbolic link to a private directory with a
  // listening socket in it.
  TemporaryDirectory elsewhere;
  ScriptedServer scripted(bridgeSocketPath(elsewhere.path()));
  ASSERT_TRUE(scripted.listening());
  const std::string aside = directory + ".aside";
  ASSERT_EQ(::rename(directory.c_str(), aside.c_str()), 0);
  ASSERT_EQ(::symlink(elsewhere.path().c_str(), directory.c_str()), 0);
  expectNoConnection(scripted);
  ::unlink(directory.c_str());
  ASSERT_EQ(::rename(aside.c_str(), directory.c_str()), 0);
}

TEST_F(ApprovalHookEndToEnd, RefusedInputNeverReachesTheSocket) {
  ScriptedServer scripted(socket);
  ASSERT_TRUE(scripted.listening());
  std::vector<std::string> inputs = {"",
                                     "[]",
                                     "{}",
                                     "\"text\"",
                                     R"({"hook_event_name":"PermissionRequest"})",
                                     R"({"hook_event_name":"PermissionRequest","tool_name":1,"tool_input":{}})",
                                     R"({"hook_event_name":"PermissionRequest","tool_name":"Bash","tool_input":[]})",
                                     R"({"hook_event_name":"PermissionRequest","tool_name":"Bash","tool_input":"x"})",
                                     R"({"hook_event_name":"PreToolUse","tool_name":"Bash","tool_input":{}})"};
  for (const char* tool : {"AskUserQuestion", "ASKUSERQUESTION", "ExitPlanMode", "exitplanmode"}) {
    inputs.push_back(permissionRequestInput(tool));
  }
  std::string oversized = permissionRequestInput();
  oversized.append(1'048'577 - oversized.size(), ' ');
  inputs.push_back(oversized);
  for (const std::string& input : inputs) {
    expectSilentSuccess(hook(input));
    EXPECT_FALSE(scripted.hasPendingConnection()) << input.substr(0, 100);
  }
}

TEST_F(ApprovalHookEndToEnd, ExactlyOneMebibyteOfInputIsAccepted) {
  startServer();
  std::string input = permissionRequestInput();
  input.append(1'048'576 - input.size(), ' '); // white space: the request itself stays small
  const ChildResult result = hook(input);
  EXPECT_EQ(result.standardOutput, hookOutputLine("PermissionRequest", Decision::allow).value());
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
