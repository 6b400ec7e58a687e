#include <gtest/gtest.h>

#include <future>
#include <thread>

#include <unistd.h>

#include "core/bridge/TestBridge.h"
#include "core/bridge/TransportError.h"
#include "core/completion/CompletionServer.h"

namespace notch {
namespace {

using testing::TestClient;

// The hook's side is run end to end (HookEndToEndTest); here clients write
// the wire lines themselves: an event observed `age` seconds ago, with `id`
// in place of a fresh UUID.
std::string lineOf(double age = 0.5, const std::string& id = "") {
  auto event =
      CompletionEvent::decodeHook(R"({"hook_event_name":"FinalStop","session_id":"s-1"})", wallClockNow() - age)
          .value();
  event.id = id.empty() ? event.id : id;
  return event.encode().value() + "\n";
}

TEST(CompletionTransportTest, HostileConnectionsGiveNothingAndDoNotBlockTheNext) {
  const SystemClock clock;
  testing::TemporaryDirectory directory;
  testing::Inbox<std::string> lines;
  CompletionServer server(directory.child("bridge"), clock);
  server.start([&](const CompletionEvent& event) { lines.push(event.encode().value() + "\n"); });
  // Stale, from the future, invalid, two lines, malformed, over the line limit.
  for (const std::string& bytes : {lineOf(3.2), lineOf(-1.0), lineOf(0.5, "x"), lineOf() + lineOf(),
                                   std::string("{\"id\":\"x\"}\n"), std::string(4'097, ' ') + "\n"}) {
    TestClient client(server.socketPath());
    ASSERT_TRUE(client.send(bytes));
    EXPECT_TRUE(client.readUntilClosed());
  }
  // A silent client uses up its budget; the next one is served right after.
  TestClient silent(server.socketPath());
  TestClient next(server.socketPath());
  const std::string expected = lineOf(2.8);
  ASSERT_TRUE(next.send(expected));
  ASSERT_EQ(lines.waitFor(1).size(), 1u);
  // A line of exactly 4,096 bytes is accepted: the JSON padded with spaces.
  const std::string line = lineOf();
  TestClient largest(server.socketPath());
  ASSERT_TRUE(largest.send("{" + std::string(4'097 - line.size(), ' ') + line.substr(1)));
  EXPECT_EQ(lines.waitFor(2, 5, 0.1), (std::vector<std::string>{expected, line})); // none refused got through
}

TEST(CompletionTransportTest, StopDropsDeliveriesOfTheOldRun) {
  const SystemClock clock;
  testing::TemporaryDirectory directory;
  const std::string bridge = directory.child("bridge");
  auto server = std::make_unique<CompletionServer>(bridge, clock);
  server->start(nullptr);
  EXPECT_EQ(testing::transportFailure([&] { server->start(nullptr); }), TransportError::alreadyRunning());
  EXPECT_EQ(testing::transportFailure([&] { CompletionServer(bridge, clock).start(nullptr); }),
            TransportError::alreadyRunning()); // another server on the same socket
  server->stop();

  // With a 30 s poll step only the wake-up can end the accept loop in time.
  server = std::make_unique<CompletionServer>(bridge, clock, CompletionServer::Limits{.acceptPollStep = 30});
  server->start(nullptr);
  const double stopping = uptimeNow();
  server->stop();
  EXPECT_LT(uptimeNow() - stopping, 5.0);

  // The first delivery blocks in the callback; the second waits behind it.
  std::promise<void> entered;
  std::promise<void> open;
  const std::shared_future<void> opened = open.get_future().share();
  std::atomic<int> calls = 0;
  server = std::make_unique<CompletionServer>(bridge, clock);
  server->start([&](const CompletionEvent&) {
    if (++calls == 1) {
      entered.set_value();
    }
    opened.wait();
  });
  TestClient first(server->socketPath());
  ASSERT_TRUE(first.send(lineOf()));
  ASSERT_EQ(entered.get_future().wait_for(std::chrono::seconds(5)), std::future_status::ready);
  TestClient queued(server->socketPath());
  ASSERT_TRUE(queued.send(lineOf()));
  ASSERT_TRUE(queued.readUntilClosed()); // its delivery is queued by now
  std::thread stopper([&] { server->stop(); });
  for (int wait = 0; wait < 5000 && server->isRunning(); ++wait) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_FALSE(server->isRunning()); // the token is gone; stop waits for the running delivery
  open.set_value();
  stopper.join();
  EXPECT_EQ(calls, 1);
  EXPECT_NE(::access(completionSocketPath(bridge).c_str(), F_OK), 0);
}

} // namespace
} // namespace notch
