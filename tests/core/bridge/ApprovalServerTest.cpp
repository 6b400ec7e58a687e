#include <gtest/gtest.h>

#include <memory>
#include <thread>

#include <sys/stat.h>
#include <unistd.h>

#include "core/bridge/ApprovalServer.h"
#include "core/bridge/BridgeSocket.h"
#include "core/bridge/TestBridge.h"
#include "core/bridge/TransportError.h"
#include "support/FakeClock.h"

namespace notch {
namespace {

using testing::CallbackRecorder;
using testing::FakeClock;
using testing::lineOf;
using testing::makeRequest;
using testing::TemporaryDirectory;
using testing::TestClient;

bool exists(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0;
}

// The reply lines as the hook reads them, written out.
std::string allowLine(const std::string& id) { return "{\"decision\":\"allow\",\"id\":\"" + id + "\"}\n"; }
std::string denyLine(const std::string& id) { return "{\"decision\":\"deny\",\"id\":\"" + id + "\"}\n"; }

TransportError::Kind startFailure(ApprovalServer& server) {
  try {
    server.start(nullptr, nullptr);
  } catch (const TransportError& error) {
    return error.kind();
  }
  ADD_FAILURE() << "start succeeded";
  return TransportError::Kind::system;
}

class ApprovalServerTest : public ::testing::Test {
protected:
  static ApprovalServer::Limits limits(double pollStep = 0.01) {
    ApprovalServer::Limits fast;
    fast.pollStep = pollStep; // loops re-check often; deadlines follow the fake clock
    fast.maxLineBytes = 4096;
    return fast;
  }

  void startServer(double pollStep = 0.01) {
    server = std::make_unique<ApprovalServer>(directory, clock, limits(pollStep));
    server->start([this](const ApprovalRequest& request) { recorder.requested(request); },
                  [this](const std::string& id) { recorder.removed(id); });
  }

  std::string socketPath() const { return bridgeSocketPath(directory); }

  // Connects and sends `request`; returns once the server has announced it.
  std::unique_ptr<TestClient> submit(const ApprovalRequest& request) {
    auto client = std::make_unique<TestClient>(socketPath());
    EXPECT_TRUE(client->send(lineOf(request)));
    EXPECT_TRUE(recorder.waitForEvent("request:" + request.id));
    return client;
  }

  static void expectClosedSilently(const TestClient& client) {
    const auto received = client.readUntilClosed();
    EXPECT_TRUE(received.endOfStream);
    EXPECT_EQ(received.bytes, "");
  }

  TemporaryDirectory temporary;
  const std::string directory = temporary.child("bridge");
  FakeClock clock;
  CallbackRecorder recorder;
  std::unique_ptr<ApprovalServer> server; // destroyed before the recorder
};

TEST_F(ApprovalServerTest, RepliesAllowAndDenyOnceAndPassthroughWithoutAByte) {
  startServer();
  EXPECT_TRUE(isBridgeSocketSafe(socketPath()));
  for (const Decision decision : {Decision::allow, Decision::deny, Decision::passthrough}) {
    const ApprovalRequest request = makeRequest(clock.now());
    const auto client = submit(request);
    EXPECT_EQ(recorder.requests().back(), request);
    TestClient duplicate(socketPath()); // the same id again: refused, the first left alone
    ASSERT_TRUE(duplicate.send(lineOf(request)));
    expectClosedSilently(duplicate);
    EXPECT_TRUE(server->decide(request.id, decision));
    EXPECT_FALSE(server->decide(request.id, Decision::allow)); // decided already
    const auto received = client->readUntilClosed();
    EXPECT_TRUE(received.endOfStream);
    EXPECT_EQ(received.bytes, decision == Decision::allow  ? allowLine(request.id)
                              : decision == Decision::deny ? denyLine(request.id)
                                                           : "");
    ASSERT_TRUE(recorder.waitForEvent("removal:" + request.id));
    EXPECT_FALSE(server->decide(request.id, decision)); // gone
  }
  EXPECT_EQ(recorder.events().size(), 6u); // one request and one removal each, in that order
}

TEST_F(ApprovalServerTest, RefusedRequestsAreClosedUnannounced) {
  startServer();
  const double now = clock.now();
  std::vector<std::string> lines;
  const auto add = [&](auto change) {
    ApprovalRequest request = makeRequest(now);
    change(request);
    lines.push_back(lineOf(request));
  };
  add([](ApprovalRequest& r) { r.id = "not-a-uuid"; });
  add([](ApprovalRequest& r) { r.eventName = "PreToolUse"; });
  add([](ApprovalRequest& r) { r.eventName = "NativeApproval"; });
  add([](ApprovalRequest& r) { r.toolName = "AskUserQuestion"; });
  add([&](ApprovalRequest& r) { r.expiresAt = now; });
  add([](ApprovalRequest& r) { r.toolInputJSON = "[]"; });
  add([](ApprovalRequest& r) { r.toolInputJSON = "{\"a\":"; });
  lines.push_back("{\"id\":\"x\"}\n");
  lines.push_back(lineOf(makeRequest(now)) + "trailing"); // bytes after the line feed
  lines.push_back(std::string(4097, 'x') + "\n");         // over the line limit
  for (const std::string& line : lines) {
    TestClient client(socketPath());
    ASSERT_TRUE(client.send(line));
    expectClosedSilently(client);
  }
  // Silence and a partial line end at the read deadline. Each handler fixes
  // its deadline when its thread runs: move the clock until both gave up.
  TestClient silent(socketPath());
  TestClient partial(socketPath());
  ASSERT_TRUE(partial.send(lineOf(makeRequest(now)).substr(0, 40)));
  std::vector<const TestClient*> open{&silent, &partial};
  for (int step = 0; step < 200 && !open.empty(); ++step) {
    clock.advance(5);
    std::erase_if(open, [](const TestClient* client) { return client->readUntilClosed(0.02).endOfStream; });
  }
  EXPECT_TRUE(open.empty());
  EXPECT_EQ(recorder.events(), std::vector<std::string>{});
}

TEST_F(ApprovalServerTest, TheWaitEndsWhenTheClientLeavesOrTalksOrTimeRunsOut) {
  startServer();
  const ApprovalRequest leaving = makeRequest(clock.now());
  submit(leaving)->close();
  ASSERT_TRUE(recorder.waitForEvent("removal:" + leaving.id));
  EXPECT_FALSE(server->decide(leaving.id, Decision::allow));
  const ApprovalRequest talking = makeRequest(clock.now());
  const auto chatty = submit(talking);
  ASSERT_TRUE(chatty->send("x"));
  expectClosedSilently(*chatty);

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
  expectClosedSilently(*soonClient);
  clock.advance(47 - 0.001);
  EXPECT_FALSE(lateClient->readUntilClosed(0.05).endOfStream);
  clock.advance(0.001);
  expectClosedSilently(*lateClient);
}

// A decision that decide() accepted in the last moment before the handler
// notices its deadline still goes out: true always means a reply.
TEST_F(ApprovalServerTest, DecisionsRacingTheDeadlineAreRepliedOrRefused) {
  startServer();
  int decidedInTime = 0;
  for (int round = 0; round < 20; ++round) {
    const ApprovalRequest request = makeRequest(clock.now());
    const auto client = submit(request);
    clock.advance(50);              // the handler's deadline has come, while the request
    clock.advanceWallClock(-0.001); // has not expired yet for decide()
    const bool decided = server->decide(request.id, Decision::allow);
    decidedInTime += decided ? 1 : 0;
    EXPECT_EQ(client->readUntilClosed().bytes, decided ? allowLine(request.id) : "") << "round " << round;
  }
  EXPECT_GT(decidedInTime, 0);
}

TEST_F(ApprovalServerTest, DecisionsAndStopWakeTheHandlersAndStopEndsEveryWait) {
  startServer(/*pollStep=*/30); // nothing but the wake-ups can answer in time
  const ApprovalRequest decided = makeRequest(clock.now());
  const auto decidedClient = submit(decided);
  ASSERT_TRUE(server->decide(decided.id, Decision::allow));
  EXPECT_EQ(decidedClient->readUntilClosed(5).bytes, allowLine(decided.id));

  std::vector<std::unique_ptr<TestClient>> waiting;
  std::vector<ApprovalRequest> requests;
  for (int i = 0; i < 3; ++i) {
    requests.push_back(makeRequest(clock.now()));
    waiting.push_back(submit(requests.back()));
  }
  const double started = uptimeNow();
  server->stop();
  EXPECT_LT(uptimeNow() - started, 5.0);
  EXPECT_FALSE(server->isRunning());
  for (const auto& client : waiting) {
    expectClosedSilently(*client);
  }
  ASSERT_TRUE(recorder.waitForEvents(8));
  EXPECT_FALSE(exists(socketPath()));
  EXPECT_FALSE(server->decide(requests[0].id, Decision::allow));

  server->start([this](const ApprovalRequest& request) { recorder.requested(request); }, nullptr); // afresh
  const ApprovalRequest again = makeRequest(clock.now());
  const auto client = submit(again);
  EXPECT_TRUE(server->decide(again.id, Decision::deny));
  EXPECT_EQ(client->readUntilClosed().bytes, denyLine(again.id));
}

TEST_F(ApprovalServerTest, The33rdConnectionIsClosedAtOnce) {
  startServer();
  std::vector<std::unique_ptr<TestClient>> clients;
  std::vector<ApprovalRequest> requests;
  for (int i = 0; i < 32; ++i) {
    requests.push_back(makeRequest(clock.now()));
    clients.push_back(submit(requests.back()));
  }
  TestClient extra(socketPath());
  extra.send(lineOf(makeRequest(clock.now())));
  expectClosedSilently(extra);
  EXPECT_EQ(recorder.requests().size(), 32u);
  for (std::size_t i = 0; i < requests.size(); ++i) {
    ASSERT_TRUE(server->decide(requests[i].id, Decision::allow));
    EXPECT_EQ(clients[i]->readUntilClosed().bytes, allowLine(requests[i].id));
  }
}

TEST_F(ApprovalServerTest, ConnectionsOfAnotherUserAreClosedUnread) {
  if (!testing::OtherUserChild::available()) {
    GTEST_SKIP() << "needs root to act as another user";
  }
  const ApprovalRequest request = makeRequest(clock.now());
  testing::OtherUserChild child([&] {
    for (int attempt = 0; attempt < 500; ++attempt) { // until the server listens
      TestClient client(socketPath());
      if (client.connected()) {
        client.send(lineOf(request));
        const auto received = client.readUntilClosed(5);
        return received.endOfStream && received.bytes.empty() ? 0 : 1;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return 2;
  });
  startServer();
  EXPECT_EQ(child.wait(), 0);
  EXPECT_EQ(recorder.events(), std::vector<std::string>{});
}

TEST_F(ApprovalServerTest, ManyExchangesLeaveNoDescriptorOrThreadBehind) {
  if (!testing::canCountProcessResources()) {
    GTEST_SKIP() << "needs /proc to count descriptors and threads";
  }
  server = std::make_unique<ApprovalServer>(directory, clock, limits()); // its callback queue counts
  const std::size_t descriptors = testing::openDescriptorCount();
  const std::size_t threads = testing::threadCount();
  server->start([this](const ApprovalRequest& request) { recorder.requested(request); },
                [this](const std::string& id) { recorder.removed(id); });
  for (int i = 0; i < 1000; ++i) {
    const ApprovalRequest request = makeRequest(clock.now());
    const auto client = submit(request);
    ASSERT_TRUE(server->decide(request.id, i % 2 == 0 ? Decision::allow : Decision::deny));
    ASSERT_TRUE(client->readUntilClosed().endOfStream);
  }
  ASSERT_TRUE(recorder.waitForEvents(2000));
  server->stop();
  EXPECT_EQ(testing::threadCount(), threads);
  EXPECT_EQ(testing::openDescriptorCount(), descriptors);
}

TEST_F(ApprovalServerTest, StartRefusesUnsafePathsAndLiveServersAndReplacesStaleSockets) {
  ASSERT_EQ(::mkdir(directory.c_str(), 0755), 0);
  ApprovalServer refused(directory, clock, limits());
  EXPECT_EQ(startFailure(refused), TransportError::Kind::unsafePath);
  struct stat info {};
  ASSERT_EQ(::lstat(directory.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0755u); // left alone
  ASSERT_EQ(::chmod(directory.c_str(), 0700), 0);
  {
    FileDescriptor squatter = makeBridgeSocket();
    ASSERT_EQ(bindBridgeSocket(squatter.get(), socketPath()), 0);
    ASSERT_EQ(::chmod(socketPath().c_str(), 0644), 0);
    EXPECT_EQ(startFailure(refused), TransportError::Kind::unsafePath);
    ASSERT_EQ(::chmod(socketPath().c_str(), 0600), 0);
  } // closed without listening: a stale socket, replaced by the next start
  const std::string link = temporary.child("link");
  ASSERT_EQ(::symlink(directory.c_str(), link.c_str()), 0);
  ApprovalServer throughLink(link, clock, limits());
  EXPECT_EQ(startFailure(throughLink), TransportError::Kind::unsafePath);

  startServer();
  EXPECT_EQ(startFailure(refused), TransportError::Kind::alreadyRunning);
  EXPECT_EQ(startFailure(*server), TransportError::Kind::alreadyRunning);
  const ApprovalRequest request = makeRequest(clock.now());
  const auto client = submit(request);
  EXPECT_TRUE(server->decide(request.id, Decision::allow));
  EXPECT_EQ(client->readUntilClosed().bytes, allowLine(request.id));

  ApprovalServer tooLong(temporary.child(std::string(100, 'd')), clock, limits());
  try {
    tooLong.start(nullptr, nullptr);
    FAIL() << "start succeeded";
  } catch (const TransportError& error) {
    EXPECT_EQ(error.errorNumber(), ENAMETOOLONG);
  }
  EXPECT_FALSE(tooLong.isRunning());
}

} // namespace
} // namespace notch
