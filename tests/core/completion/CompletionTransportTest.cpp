#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <thread>

#include <unistd.h>

#include "core/bridge/TestBridge.h"
#include "core/bridge/TransportError.h"
#include "core/completion/CompletionServer.h"

namespace notch {
namespace {

using testing::TestClient;

// The hook's side is run end to end (TurnEndHookEndToEndTest); here clients
// write the wire lines themselves.
class CompletionTransportTest : public ::testing::Test {
protected:
  void SetUp() override {
    server->start([this](const CompletionEvent& event) {
      std::lock_guard guard(mutex);
      events.push_back(event);
      arrived.notify_all();
    });
  }

  // An event observed `age` seconds ago, as a line; with `id` in place of a fresh UUID.
  static std::string lineOf(double age = 0.5, const std::string& id = "") {
    auto event =
        CompletionEvent::decodeHook(R"({"hook_event_name":"FinalStop","session_id":"s-1"})", wallClockNow() - age)
            .value();
    event.id = id.empty() ? event.id : id;
    return event.encode().value() + "\n";
  }

  // The events delivered once `count` arrived (or after 5 s), then `settle` seconds more.
  std::vector<CompletionEvent> delivered(std::size_t count, double settle = 0) {
    std::unique_lock lock(mutex);
    arrived.wait_for(lock, std::chrono::seconds(5), [&] { return events.size() >= count; });
    arrived.wait_for(lock, std::chrono::duration<double>(settle), [] { return false; });
    return events;
  }

  const SystemClock clock;
  testing::TemporaryDirectory directory;
  const std::string bridge = directory.child("bridge");
  std::mutex mutex;
  std::condition_variable arrived;
  std::vector<CompletionEvent> events;
  std::unique_ptr<CompletionServer> server = std::make_unique<CompletionServer>(bridge, clock);
};

TEST_F(CompletionTransportTest, HostileConnectionsGiveNothingAndDoNotBlockTheNext) {
  // Stale, from the future, invalid, two lines, malformed, over the line limit.
  for (const std::string& bytes : {lineOf(3.2), lineOf(-1.0), lineOf(0.5, "x"), lineOf() + lineOf(),
                                   std::string("{\"id\":\"x\"}\n"), std::string(4'097, ' ') + "\n"}) {
    TestClient client(server->socketPath());
    ASSERT_TRUE(client.send(bytes));
    EXPECT_TRUE(client.readUntilClosed());
  }
  // A silent client uses up its budget; the next one is served right after.
  TestClient silent(server->socketPath());
  TestClient next(server->socketPath());
  const std::string expected = lineOf(2.8);
  ASSERT_TRUE(next.send(expected));
  ASSERT_EQ(delivered(1).size(), 1u);

  // A line of exactly 4,096 bytes is accepted: the JSON padded with spaces.
  const std::string line = lineOf();
  TestClient largest(server->socketPath());
  ASSERT_TRUE(largest.send("{" + std::string(4'097 - line.size(), ' ') + line.substr(1)));
  const auto got = delivered(2, 0.1);
  ASSERT_EQ(got.size(), 2u); // none of the refused lines got through
  EXPECT_EQ(got[0].encode().value() + "\n", expected);
  EXPECT_EQ(got[1].encode().value() + "\n", line);
}

TEST_F(CompletionTransportTest, StopDropsDeliveriesOfTheOldRun) {
  EXPECT_THROW(server->start(nullptr), TransportError);
  try {
    CompletionServer(bridge, clock).start(nullptr);
    FAIL() << "a second server started";
  } catch (const TransportError& error) {
    EXPECT_EQ(error.kind(), TransportError::Kind::alreadyRunning);
  }
  server->stop();

  // With a 30 s poll step only the wake-up can end the accept loop in time.
  server = std::make_unique<CompletionServer>(bridge, clock, CompletionServer::Limits{.acceptPollStep = 30});
  server->start(nullptr);
  const double stopping = uptimeNow();
  server->stop();
  EXPECT_LT(uptimeNow() - stopping, 5.0);

  // The first delivery blocks in the callback; the second waits behind it.
  std::mutex gateMutex;
  std::condition_variable gateSignal;
  bool open = false;
  int calls = 0;
  server = std::make_unique<CompletionServer>(bridge, clock);
  server->start([&](const CompletionEvent&) {
    std::unique_lock lock(gateMutex);
    ++calls;
    gateSignal.notify_all();
    gateSignal.wait(lock, [&] { return open; });
  });
  TestClient first(server->socketPath());
  ASSERT_TRUE(first.send(lineOf()));
  {
    std::unique_lock lock(gateMutex);
    ASSERT_TRUE(gateSignal.wait_for(lock, std::chrono::seconds(5), [&] { return calls == 1; }));
  }
  TestClient queued(server->socketPath());
  ASSERT_TRUE(queued.send(lineOf()));
  ASSERT_TRUE(queued.readUntilClosed()); // its delivery is queued by now

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
  EXPECT_NE(::access(completionSocketPath(bridge).c_str(), F_OK), 0);
}

} // namespace
} // namespace notch
