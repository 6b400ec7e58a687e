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

using testing::summary;

const std::vector<std::string> kExact = {"--completion-hook", "--source", "workbuddy", "--owner-marker",
                                         "vantrel-notch-completion-v1"};

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

  testing::ChildResult
  hook(const std::vector<std::string>& arguments,
       std::optional<std::string> input = R"({"hook_event_name":"FinalStop","session_id":"s-1",)"
                                          R"("generation_id":"g-1","final_stop_reason":"completed"})") {
    testing::ChildOptions options;
    options.standardInput = std::move(input);
    return testing::runChild(NOTCH_EXECUTABLE_PATH, arguments, options);
  }

  // The events delivered within `seconds`, or as soon as there are `count`.
  std::size_t eventsWithin(double seconds, std::size_t count = 99) {
    std::unique_lock lock(mutex);
    arrived.wait_for(lock, std::chrono::duration<double>(seconds), [&] { return events.size() >= count; });
    return events.size();
  }

  std::mutex mutex;
  std::condition_variable arrived;
  std::vector<CompletionEvent> events;
  const SystemClock clock;
  CompletionServer server{bridgeDirectory(), clock}; // last: stops before what its deliveries touch goes
};

TEST_F(TurnEndHookEndToEnd, OnlyTheExactArgumentListSendsTheEvent) {
  EXPECT_EQ(summary(hook(kExact)), "0||");
  ASSERT_EQ(eventsWithin(5, 1), 1u);
  EXPECT_EQ(events[0].kind, CompletionEvent::Kind::ended);
  EXPECT_EQ(events[0].reason, CompletionEvent::Reason::completed);
  std::vector<std::string> otherSource = kExact;
  otherSource[2] = "workbuddyAI";
  std::vector<std::string> extra = kExact;
  extra.push_back("--hook");
  for (const auto& arguments : {otherSource, extra, {"--completion-hook"}}) {
    EXPECT_EQ(summary(hook(arguments)), "0||");
  }
  EXPECT_EQ(eventsWithin(0.3), 1u);
}

// 0.3 s of waiting for input, with room for a loaded machine.
TEST_F(TurnEndHookEndToEnd, OpenInputOrNoAppEndsQuickly) {
  const auto open = hook(kExact, std::nullopt); // WorkBuddy never closes standard input
  EXPECT_EQ(summary(open), "0||");
  EXPECT_LT(open.wallSeconds, 1.5);
  server.stop();
  const auto alone = hook(kExact);
  EXPECT_EQ(summary(alone), "0||");
  EXPECT_LT(alone.wallSeconds, 1.5);
  EXPECT_EQ(eventsWithin(0.1), 0u);
}

} // namespace
} // namespace notch
