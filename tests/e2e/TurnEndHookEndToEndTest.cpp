// The turn-end hook as WorkBuddy runs it: the real VantrelNotch with the
// exact turn-end arguments, the real bridge directory, and a turn-end server
// in this process. Shares the resource lock of the approval hook tests.

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

#include "core/bridge/BridgeSocket.h"
#include "core/completion/CompletionServer.h"
#include "support/ChildProcess.h"

namespace notch {
namespace {

using testing::ChildOptions;
using testing::ChildResult;
using testing::runChild;

const std::vector<std::string> kExact = {"--completion-hook", "--source", "workbuddy", "--owner-marker",
                                         "vantrel-notch-completion-v1"};
const std::string kFinalStop =
    R"({"hook_event_name":"FinalStop","session_id":"s-1","generation_id":"g-1","final_stop_reason":"completed"})";

class TurnEndHookEndToEnd : public ::testing::Test {
protected:
  void SetUp() override {
    FileDescriptor probe = makeBridgeSocket();
    if (connectBridgeSocket(probe.get(), completionSocketPath(bridgeDirectory())) == 0) {
      GTEST_SKIP() << "a running Vantrel Dozer serves the turn-end socket; quit it to run these tests";
    }
    server.start([this](const CompletionEvent& event) {
      std::lock_guard guard(mutex);
      events.push_back(event);
      arrived.notify_all();
    });
  }

  ChildResult hook(const std::vector<std::string>& arguments, std::optional<std::string> input = kFinalStop) {
    ChildOptions options;
    options.standardInput = std::move(input);
    return runChild(NOTCH_EXECUTABLE_PATH, arguments, options);
  }

  std::size_t eventsAfter(double seconds) {
    std::unique_lock lock(mutex);
    arrived.wait_for(lock, std::chrono::duration<double>(seconds), [] { return false; });
    return events.size();
  }

  static void expectSilentSuccess(const ChildResult& result) {
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.standardOutput + result.standardError, "");
  }

  std::mutex mutex;
  std::condition_variable arrived;
  std::vector<CompletionEvent> events;
  const SystemClock clock;
  CompletionServer server{bridgeDirectory(), clock}; // last: stops before what its deliveries touch goes
};

TEST_F(TurnEndHookEndToEnd, OnlyTheExactArgumentListSendsTheEvent) {
  expectSilentSuccess(hook(kExact));
  {
    std::unique_lock lock(mutex);
    ASSERT_TRUE(arrived.wait_for(lock, std::chrono::seconds(5), [&] { return events.size() == 1; }));
    EXPECT_EQ(events[0].kind, CompletionEvent::Kind::ended);
    EXPECT_EQ(events[0].reason, CompletionEvent::Reason::completed);
  }
  std::vector<std::string> otherSource = kExact;
  otherSource[2] = "workbuddyAI";
  std::vector<std::string> extra = kExact;
  extra.push_back("--hook");
  expectSilentSuccess(hook(otherSource));
  expectSilentSuccess(hook(extra));
  expectSilentSuccess(hook({"--completion-hook"}));
  EXPECT_EQ(eventsAfter(0.3), 1u);
}

TEST_F(TurnEndHookEndToEnd, OpenInputOrNoAppEndsQuickly) {
  const ChildResult open = hook(kExact, std::nullopt); // WorkBuddy never closes standard input
  expectSilentSuccess(open);
  EXPECT_LT(open.wallSeconds, 1.5); // 0.3 s of waiting for input, with room for a loaded machine
  server.stop();
  const ChildResult alone = hook(kExact);
  expectSilentSuccess(alone);
  EXPECT_LT(alone.wallSeconds, 1.5);
  EXPECT_EQ(eventsAfter(0.1), 0u);
}

} // namespace
} // namespace notch
