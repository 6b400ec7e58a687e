#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <thread>

#include <unistd.h>

#include "core/bridge/BridgePaths.h"
#include "core/bridge/TestBridge.h"
#include "core/bridge/TransportError.h"
#include "core/completion/CompletionHookClient.h"
#include "core/completion/CompletionServer.h"
#include "support/Json.h"

namespace notch {
namespace {

using testing::TemporaryDirectory;
using testing::TestClient;

class CompletionTransportTest : public ::testing::Test {
protected:
  void SetUp() override {
    server = std::make_unique<CompletionServer>(directory.path() + "/bridge", clock);
    server->start([this](const CompletionEvent& event) {
      std::lock_guard guard(mutex);
      events.push_back(event);
      arrived.notify_all();
    });
  }

  CompletionEvent event(double age = 0.5) {
    return *CompletionEvent::decodeHook(R"({"hook_event_name":"FinalStop","session_id":"s-1","generation_id":"g"})",
                                        wallClockNow() - age);
  }

  std::string lineOf(const CompletionEvent& e) { return e.encode().value() + "\n"; }

  // Waits for `count` deliveries; false after a generous bound.
  bool waitFor(std::size_t count) {
    std::unique_lock lock(mutex);
    return arrived.wait_for(lock, std::chrono::seconds(5), [&] { return events.size() >= count; });
  }

  std::size_t delivered() {
    std::lock_guard guard(mutex);
    return events.size();
  }

  CompletionHookOptions hookOptions(int inputFd) {
    CompletionHookOptions options(directory.path() + "/bridge", clock);
    options.inputFd = inputFd;
    return options;
  }

  const SystemClock clock;
  TemporaryDirectory directory;
  std::mutex mutex;
  std::condition_variable arrived;
  std::vector<CompletionEvent> events;
  std::unique_ptr<CompletionServer> server;
};

TEST_F(CompletionTransportTest, TheHookDeliversOneEventAndNothingElse) {
  int pipe[2];
  ASSERT_EQ(::pipe(pipe), 0);
  const std::string input = R"({"hook_event_name":"UserPromptSubmit","session_id":"s-9","generation_id":"g"})";
  ASSERT_EQ(::write(pipe[1], input.data(), 20), 20); // arrives in two pieces
  std::thread rest([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    ASSERT_EQ(::write(pipe[1], input.data() + 20, input.size() - 20), static_cast<ssize_t>(input.size() - 20));
    ::close(pipe[1]);
  });
  CompletionHookClient::run(hookOptions(pipe[0]));
  rest.join();
  ::close(pipe[0]);
  ASSERT_TRUE(waitFor(1));
  EXPECT_EQ(events[0].kind, CompletionEvent::Kind::started);
  EXPECT_EQ(events[0].sessionID, "s-9");

  // Input whose end never comes within the budget sends nothing.
  ASSERT_EQ(::pipe(pipe), 0);
  ASSERT_EQ(::write(pipe[1], input.data(), input.size()), static_cast<ssize_t>(input.size()));
  CompletionHookOptions slow = hookOptions(pipe[0]);
  slow.input.budget = 0.05;
  const double started = uptimeNow();
  CompletionHookClient::run(slow);
  EXPECT_LT(uptimeNow() - started, 2.0);
  ::close(pipe[0]);
  ::close(pipe[1]);
  std::this_thread::sleep_for(std::chrono::milliseconds(300)); // a wrong send would arrive by now
  EXPECT_EQ(delivered(), 1u);
}

TEST_F(CompletionTransportTest, HostileConnectionsGiveNothingAndDoNotBlockTheNext) {
  const std::vector<std::string> refused = {
      lineOf(event(5.0)),                // stale
      lineOf(event(-1.0)),               // from the future
      lineOf(event()) + lineOf(event()), // two lines
      "{\"id\":\"x\"}\n",                // malformed
      std::string(4'097, ' ') + "\n",    // over the line limit
  };
  for (const std::string& bytes : refused) {
    TestClient client(server->socketPath());
    ASSERT_TRUE(client.send(bytes));
    EXPECT_TRUE(client.readUntilClosed().endOfStream);
  }
  // A silent client uses up its budget; the next one is served right after.
  TestClient silent(server->socketPath());
  TestClient next(server->socketPath());
  const CompletionEvent expected = event();
  ASSERT_TRUE(next.send(lineOf(expected)));
  ASSERT_TRUE(waitFor(1));

  // A line of exactly 4,096 bytes is accepted: pad the JSON with spaces.
  const std::string line = lineOf(event());
  const std::string padded = line.substr(0, 1) + std::string(4'096 - (line.size() - 1), ' ') + line.substr(1);
  ASSERT_EQ(padded.size(), 4'097u);
  TestClient largest(server->socketPath());
  ASSERT_TRUE(largest.send(padded));
  ASSERT_TRUE(waitFor(2));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  std::lock_guard guard(mutex);
  ASSERT_EQ(events.size(), 2u); // none of the refused lines got through
  EXPECT_EQ(events[0], expected);
  EXPECT_EQ(events[1].id, CompletionEvent::decode(line.substr(0, line.size() - 1))->id);
}

TEST_F(CompletionTransportTest, StopDropsDeliveriesOfTheOldRun) {
  EXPECT_THROW(server->start(nullptr), TransportError);
  auto second = std::make_unique<CompletionServer>(directory.path() + "/bridge", clock);
  try {
    second->start(nullptr);
    FAIL() << "a second server started";
  } catch (const TransportError& error) {
    EXPECT_EQ(error.kind(), TransportError::Kind::alreadyRunning);
  }
  server->stop();

  // With a 30 s poll step only the wake-up can end the accept loop in time.
  CompletionServer::Limits slowPolling;
  slowPolling.acceptPollStep = 30;
  server = std::make_unique<CompletionServer>(directory.path() + "/bridge", clock, slowPolling);
  server->start(nullptr);
  const double stopping = uptimeNow();
  server->stop();
  EXPECT_LT(uptimeNow() - stopping, 5.0);

  // The first delivery blocks in the callback; the second waits behind it.
  std::mutex gateMutex;
  std::condition_variable gateSignal;
  bool open = false;
  int calls = 0;
  server = std::make_unique<CompletionServer>(directory.path() + "/bridge", clock);
  server->start([&](const CompletionEvent&) {
    std::unique_lock lock(gateMutex);
    ++calls;
    gateSignal.notify_all();
    gateSignal.wait(lock, [&] { return open; });
  });
  TestClient first(server->socketPath());
  ASSERT_TRUE(first.send(lineOf(event())));
  {
    std::unique_lock lock(gateMutex);
    ASSERT_TRUE(gateSignal.wait_for(lock, std::chrono::seconds(5), [&] { return calls == 1; }));
  }
  TestClient queued(server->socketPath());
  ASSERT_TRUE(queued.send(lineOf(event())));
  ASSERT_TRUE(queued.readUntilClosed().endOfStream); // its delivery is queued by now

  std::thread stopper([&] { server->stop(); });
  for (int wait = 0; wait < 5000 && server->isRunning(); ++wait) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ASSERT_FALSE(server->isRunning()); // the token is gone; stop waits for the running delivery
  {
    std::lock_guard lock(gateMutex);
    open = true;
  }
  gateSignal.notify_all();
  stopper.join();
  EXPECT_EQ(calls, 1);
  EXPECT_NE(::access(completionSocketPath(directory.path() + "/bridge").c_str(), F_OK), 0);
}

} // namespace
} // namespace notch
