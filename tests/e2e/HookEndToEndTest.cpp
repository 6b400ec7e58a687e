// The hooks as WorkBuddy runs them: the real VantrelNotch executable, the
// bridge directory /tmp/vantrel-notch-<uid>, and the app's servers in this
// process. The suite runs in a private /tmp where the machine allows it;
// otherwise these tests hold a ctest resource lock on the real directory and
// skip when a running app already serves it.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include "core/bridge/ApprovalServer.h"
#include "core/bridge/BridgeSocket.h"
#include "core/bridge/TestBridge.h"
#include "core/completion/CompletionServer.h"
#include "support/ChildProcess.h"

namespace notch {
namespace {

using testing::summary;

const std::vector<std::string> kHook = {"--hook", "--source", "workbuddy", "--owner-marker", "vantrel-notch-v1"};
const std::vector<std::string> kTurnEnd = {"--completion-hook", "--source", "workbuddy", "--owner-marker",
                                           "vantrel-notch-completion-v1"};

class HookEndToEnd : public ::testing::Test {
protected:
  void SetUp() override {
    for (const std::string& socket : {bridgeSocketPath(directory), completionSocketPath(directory)}) {
      FileDescriptor probe = makeBridgeSocket();
      if (connectBridgeSocket(probe.get(), socket) == 0) {
        GTEST_SKIP() << "a running Vantrel Dozer serves " << socket << "; quit it to run these tests";
      }
      ::unlink(socket.c_str()); // a stale socket from an earlier run
    }
    ::mkdir(directory.c_str(), 0700);
    ::chmod(directory.c_str(), 0700);
  }

  static testing::ChildResult run(const std::vector<std::string>& arguments, std::optional<std::string> input,
                                  bool readerGone = false) {
    return testing::runChild(NOTCH_EXECUTABLE_PATH, arguments,
                             {.standardInput = std::move(input), .closeStandardOutputAtOnce = readerGone});
  }

  const SystemClock clock;
  const std::string directory = bridgeDirectory();
};

// The modes are tried in their order: the approval hook runs wherever no
// earlier mode claims the command line, and passes on its --source.
TEST_F(HookEndToEnd, TheApprovalHookPrintsTheAppsAnswer) {
  const std::string input = testing::hookInput();
  EXPECT_EQ(summary(run(kHook, input)), "0||"); // no app: no socket file at all
  testing::Inbox<std::string> sources;
  ApprovalServer server(directory, clock);
  server.start(
      [&](const ApprovalRequest& request) {
        sources.push(request.source);
        server.decide(request.id, Decision::allow);
      },
      nullptr);
  // Deny and passthrough travel the same way (ConfigurationEndToEnd asks all three).
  const std::string allowed = "0|" + testing::kHookAllowLine + "|";
  const struct {
    std::vector<std::string> arguments;
    std::string expected;
    std::string source; // of the request the app received; empty: none
  } rows[] = {
      {kHook, allowed, "workbuddy"},
      {{"--source", "workbuddyAI", "--hook"}, allowed, "workbuddyAI"},
      {{"--hook", "--source"}, allowed, "workbuddy"},
      {{"--hook", "--help"}, allowed, "workbuddy"},
      {{"--test-transport-identity", "--hook"}, allowed, "workbuddy"},
      {{"--test-transport-identity"}, "0|production\n|", ""},
      {{"--completion-hook", "--hook"}, "0||", ""},
      {{"--configure-completion", "--hook"}, "1||Usage: --configure-completion --apply|--remove\n", ""},
  };
  std::vector<std::string> expectedSources;
  for (const auto& row : rows) {
    EXPECT_EQ(summary(run(row.arguments, input)), row.expected) << row.arguments.back();
    expectedSources.insert(expectedSources.end(), !row.source.empty(), row.source);
    EXPECT_EQ(sources.items(), expectedSources) << row.arguments.back();
  }
  EXPECT_EQ(summary(run(kHook, input, /*readerGone=*/true)), "0||"); // no death by SIGPIPE
  EXPECT_TRUE(summary(run({"--help"}, "")).starts_with("0|Usage: VantrelNotch [MODE]\n"));
}

// Only the exact command line the configuration writes sends the event;
// input never closed, or no app, end the hook within its 0.3 s budget (with
// room for a loaded machine).
TEST_F(HookEndToEnd, TheTurnEndHookSendsOnlyForItsExactCommandLine) {
  const std::string input = R"({"hook_event_name":"FinalStop","session_id":"s-1",)"
                            R"("generation_id":"g-1","final_stop_reason":"completed"})";
  testing::Inbox<CompletionEvent> events;
  CompletionServer server(directory, clock);
  server.start([&](const CompletionEvent& event) { events.push(event); });
  EXPECT_EQ(summary(run(kTurnEnd, input)), "0||");
  ASSERT_EQ(events.waitFor(1).size(), 1u);
  std::vector<std::string> otherSource = kTurnEnd;
  otherSource[2] = "workbuddyAI";
  std::vector<std::string> extra = kTurnEnd;
  extra.push_back("--hook");
  for (const auto& arguments : {otherSource, extra, {"--completion-hook"}}) {
    EXPECT_EQ(summary(run(arguments, input)), "0||");
  }
  const auto open = run(kTurnEnd, std::nullopt);
  EXPECT_EQ(summary(open), "0||");
  EXPECT_LT(open.wallSeconds, 1.5);
  server.stop();
  const auto alone = run(kTurnEnd, input);
  EXPECT_EQ(summary(alone), "0||");
  EXPECT_LT(alone.wallSeconds, 1.5);
  EXPECT_EQ(events.waitFor(2, 0.3).size(), 1u);
}

} // namespace
} // namespace notch
