#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <thread>

#include "core/bridge/ApprovalServer.h"
#include "core/bridge/BridgeSocket.h"
#include "core/bridge/TestBridge.h"
#include "support/FakeClock.h"

namespace notch {
namespace {

using testing::lineOf;
using testing::makeRequest;
using testing::TestClient;

// The reply lines as the hook reads them, written out.
std::string reply(const std::string& id, const char* decision = "allow") {
  return "{\"decision\":\"" + std::string(decision) + "\",\"id\":\"" + id + "\"}\n";
}

std::ptrdiff_t entries(const char* path) {
  const std::filesystem::directory_iterator list(path);
  return std::distance(begin(list), end(list));
}

class ApprovalServerTest : public ::testing::Test {
protected:
  // Loops re-check often (or every 30 s, so that only wake-ups answer in
  // time); deadlines follow the fake clock.
  std::unique_ptr<ApprovalServer> makeServer(const std::string& path, double pollStep = 0.01) {
    return std::make_unique<ApprovalServer>(path, clock,
                                            ApprovalServer::Limits{.pollStep = pollStep, .maxLineBytes = 4096});
  }

  void startServer(double pollStep = 0.01) {
    server = server ? std::move(server) : makeServer(directory, pollStep);
    server->start([this](const ApprovalRequest& request) { recorder.push("request:" + request.id); },
                  [this](const std::string& id) { recorder.push("removal:" + id); });
  }

  // Connects and sends `request`; returns once the server has announced it.
  std::unique_ptr<TestClient> submit(const ApprovalRequest& request) {
    auto client = std::make_unique<TestClient>(socket);
    EXPECT_TRUE(client->send(lineOf(request)));
    EXPECT_TRUE(recorder.waitFor("request:" + request.id));
    return client;
  }

  testing::TemporaryDirectory temporary;
  const std::string directory = temporary.child("bridge");
  const std::string socket = bridgeSocketPath(directory);
  testing::FakeClock clock;
  testing::Inbox<std::string> recorder;
  std::unique_ptr<ApprovalServer> server; // destroyed before the recorder
};

TEST_F(ApprovalServerTest, RepliesAllowAndDenyOnceAndPassthroughWithoutAByteLeavingNothingBehind) {
  server = makeServer(directory); // its callback queue counts
  const auto descriptors = entries("/proc/self/fd");
  const auto threads = entries("/proc/self/task");
  startServer();
  EXPECT_TRUE(isBridgeSocketSafe(socket));
  for (const Decision decision : {Decision::allow, Decision::deny, Decision::passthrough}) {
    const ApprovalRequest request = makeRequest(clock.now());
    const auto client = submit(request);
    TestClient duplicate(socket); // the same id again: refused, the first left alone
    ASSERT_TRUE(duplicate.send(lineOf(request)));
    EXPECT_EQ(duplicate.readUntilClosed(), "");
    EXPECT_TRUE(server->decide(request.id, decision));
    EXPECT_FALSE(server->decide(request.id, Decision::allow)); // decided already
    EXPECT_EQ(client->readUntilClosed(), decision == Decision::allow  ? reply(request.id)
                                         : decision == Decision::deny ? reply(request.id, "deny")
                                                                      : "");
    ASSERT_TRUE(recorder.waitFor("removal:" + request.id));
    EXPECT_FALSE(server->decide(request.id, decision)); // gone
  }
  EXPECT_EQ(recorder.items().size(), 6u); // one request and one removal each
  server->stop();
  EXPECT_EQ(entries("/proc/self/task"), threads);
  EXPECT_EQ(entries("/proc/self/fd"), descriptors);
}

// One valid request, then one row per rule it breaks.
TEST_F(ApprovalServerTest, RefusedRequestsAreClosedUnannounced) {
  startServer();
  const double now = clock.now();
  std::vector<std::string> lines = {"{\"id\":\"x\"}\n", lineOf(makeRequest(now)) + "trailing",
                                    std::string(4097, 'x') + "\n"};
  // clang-format off
  for (const auto& change : std::vector<std::function<void(ApprovalRequest&)>>{
           [](ApprovalRequest& r) { r.id = "not-a-uuid"; }, [](ApprovalRequest& r) { r.eventName = "PreToolUse"; },
           [](ApprovalRequest& r) { r.eventName = "NativeApproval"; }, [](ApprovalRequest& r) { r.toolName = "AskUserQuestion"; },
           [&](ApprovalRequest& r) { r.expiresAt = now; }, [](ApprovalRequest& r) { r.toolInputJSON = "[]"; },
           [](ApprovalRequest& r) { r.toolInputJSON = "{\"a\":"; }}) {
    // clang-format on
    ApprovalRequest request = makeRequest(now);
    change(request);
    lines.push_back(lineOf(request));
  }
  for (const std::string& line : lines) {
    TestClient client(socket);
    ASSERT_TRUE(client.send(line));
    EXPECT_EQ(client.readUntilClosed(), "") << line.substr(0, 100);
  }
  // Silence and a partial line end at the read deadline. Each handler fixes
  // its deadline when its thread runs: move the clock until both gave up.
  TestClient silent(socket);
  TestClient partial(socket);
  ASSERT_TRUE(partial.send(lineOf(makeRequest(now)).substr(0, 40)));
  std::vector<const TestClient*> open{&silent, &partial};
  for (int step = 0; step < 200 && !open.empty(); ++step) {
    clock.advance(5);
    std::erase_if(open, [](const TestClient* client) { return client->readUntilClosed(0.02).has_value(); });
  }
  EXPECT_TRUE(open.empty());
  EXPECT_EQ(recorder.items(), std::vector<std::string>{});
}

TEST_F(ApprovalServerTest, TheWaitEndsWhenTheClientLeavesOrTalksOrTimeRunsOut) {
  startServer();
  const ApprovalRequest leaving = makeRequest(clock.now());
  submit(leaving)->close();
  ASSERT_TRUE(recorder.waitFor("removal:" + leaving.id));
  EXPECT_FALSE(server->decide(leaving.id, Decision::allow));
  const auto chatty = submit(makeRequest(clock.now()));
  ASSERT_TRUE(chatty->send("x"));
  EXPECT_EQ(chatty->readUntilClosed(), "");

  ApprovalRequest soon = makeRequest(clock.now());
  soon.expiresAt = clock.now() + 3;
  ApprovalRequest late = makeRequest(clock.now());
  late.expiresAt = clock.now() + 500; // still waits at most 50 s
  const auto soonClient = submit(soon);
  const auto lateClient = submit(late);
  // Past its expiry nobody may decide, even while the handler still waits
  // (its own deadline runs on uptime, which has not moved yet).
  clock.advanceWallClock(3);
  EXPECT_FALSE(server->decide(soon.id, Decision::allow));
  clock.advance(3);
  EXPECT_EQ(soonClient->readUntilClosed(), "");
  clock.advance(47 - 0.001);
  EXPECT_FALSE(lateClient->readUntilClosed(0.05));
  clock.advance(0.001);
  EXPECT_EQ(lateClient->readUntilClosed(), "");
}

// A decision that decide() accepted in the last moment before a handler
// gave up still goes out: true always means a reply. With a 30 s poll step a
// handler gives up only when its client talks; decisions follow that at
// spread moments, so that some land while the handler is giving up.
TEST_F(ApprovalServerTest, DecisionsRacingTheEndOfTheWaitAreRepliedOrRefused) {
  startServer(/*pollStep=*/30);
  int decidedInTime = 0;
  for (int round = 0; round < 24; ++round) {
    std::vector<std::pair<ApprovalRequest, std::unique_ptr<TestClient>>> waiting;
    for (int i = 0; i < 32; ++i) {
      const ApprovalRequest request = makeRequest(clock.now());
      waiting.emplace_back(request, submit(request));
    }
    for (int i = 0; i < 32; ++i) {
      const auto& [request, client] = waiting[i];
      ASSERT_TRUE(client->send("x"));
      for (const auto until = std::chrono::steady_clock::now() + std::chrono::nanoseconds(i * 600);
           std::chrono::steady_clock::now() < until;) {
      }
      const bool decided = server->decide(request.id, Decision::allow);
      decidedInTime += decided ? 1 : 0;
      EXPECT_EQ(client->readUntilClosed(), decided ? reply(request.id) : "") << "round " << round << ", " << i;
    }
  }
  EXPECT_GT(decidedInTime, 0);
}

// 32 wait at once and a 33rd is closed at once; decisions and stop wake the
// handlers (a 30 s poll step answers nothing in time) and stop ends every wait.
TEST_F(ApprovalServerTest, ThirtyTwoWaitAndDecisionsAndStopWakeThem) {
  startServer(/*pollStep=*/30);
  std::vector<std::unique_ptr<TestClient>> clients;
  std::vector<ApprovalRequest> requests;
  for (int i = 0; i < 32; ++i) {
    requests.push_back(makeRequest(clock.now()));
    clients.push_back(submit(requests.back()));
  }
  TestClient extra(socket);
  extra.send(lineOf(makeRequest(clock.now())));
  EXPECT_EQ(extra.readUntilClosed(), "");
  EXPECT_EQ(recorder.items().size(), 32u);
  ASSERT_TRUE(server->decide(requests[0].id, Decision::allow));
  EXPECT_EQ(clients[0]->readUntilClosed(), reply(requests[0].id));
  server->stop();
  EXPECT_FALSE(server->isRunning());
  for (int i = 1; i < 32; ++i) {
    EXPECT_EQ(clients[i]->readUntilClosed(), "");
  }
  EXPECT_EQ(recorder.waitFor(64).size(), 64u);
  EXPECT_FALSE(std::filesystem::exists(socket));
  EXPECT_FALSE(server->decide(requests[1].id, Decision::allow));

  startServer(); // afresh
  const ApprovalRequest again = makeRequest(clock.now());
  const auto client = submit(again);
  EXPECT_TRUE(server->decide(again.id, Decision::deny));
  EXPECT_EQ(client->readUntilClosed(), reply(again.id, "deny"));
}

TEST_F(ApprovalServerTest, ConnectionsOfAnotherUserAreClosedUnread) {
  if (!testing::OtherUserChild::available()) {
    GTEST_SKIP() << "needs root to act as another user";
  }
  const ApprovalRequest request = makeRequest(clock.now());
  testing::OtherUserChild child([&] {
    for (int attempt = 0; attempt < 500; ++attempt) { // until the server listens
      if (const TestClient client(socket); client.send(lineOf(request))) {
        return client.readUntilClosed() == "" ? 0 : 1;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return 2;
  });
  startServer();
  EXPECT_EQ(child.wait(), 0);
  EXPECT_EQ(recorder.items(), std::vector<std::string>{});
}

} // namespace
} // namespace notch
