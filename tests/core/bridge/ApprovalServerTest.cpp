#include <gtest/gtest.h>

#include <memory>
#include <thread>

#include <sys/stat.h>
#include <unistd.h>

#include "core/bridge/ApprovalServer.h"
#include "core/bridge/BridgeSocket.h"
#include "core/bridge/DecisionReply.h"
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

std::string replyLine(const std::string& id, Decision decision) {
  return DecisionReply{id, decision}.encode().value() + "\n";
}

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
  static ApprovalServer::Limits fastLimits() {
    ApprovalServer::Limits limits;
    limits.pollStep = 0.01; // loops re-check often; deadlines follow the fake clock
    limits.maxLineBytes = 4096;
    return limits;
  }

  std::unique_ptr<ApprovalServer> makeServer() {
    return std::make_unique<ApprovalServer>(directory, clock, fastLimits());
  }

  void startServer() {
    server = makeServer();
    server->start([this](const ApprovalRequest& request) { recorder.requested(request); },
                  [this](const std::string& id) { recorder.removed(id); });
  }

  std::string socketPath() const { return bridgeSocketPath(directory); }

  // Connects and sends `request`; returns once the server has announced it.
  std::unique_ptr<TestClient> submit(const ApprovalRequest& request) {
    auto client = std::make_unique<TestClient>(socketPath());
    EXPECT_TRUE(client->connected());
    EXPECT_TRUE(client->send(lineOf(request)));
    EXPECT_TRUE(recorder.waitForEvent("request:" + request.id));
    return client;
  }

  // A connection the server closed without writing anything.
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

TEST_F(ApprovalServerTest, AllowAndDenyAreRepliedOnceThenClosed) {
  startServer();
  EXPECT_TRUE(isBridgeSocketSafe(socketPath()));
  for (Decision decision : {Decision::allow, Decision::deny}) {
    const ApprovalRequest request = makeRequest(clock.now());
    const auto client = submit(request);
    EXPECT_EQ(recorder.requests().back(), request);
    EXPECT_TRUE(server->decide(request.id, decision));
    EXPECT_FALSE(server->decide(request.id, Decision::allow)); // decided already

    const auto received = client->readUntilClosed();
    EXPECT_TRUE(received.endOfStream);
    EXPECT_EQ(received.bytes, replyLine(request.id, decision));
    ASSERT_TRUE(recorder.waitForEvents(recorder.requests().size() * 2));
    EXPECT_EQ(recorder.events().back(), "removal:" + request.id);
    EXPECT_FALSE(server->decide(request.id, decision)); // gone
  }
}

TEST_F(ApprovalServerTest, PassthroughClosesWithoutAByte) {
  startServer();
  const ApprovalRequest request = makeRequest(clock.now());
  const auto client = submit(request);
  EXPECT_TRUE(server->decide(request.id, Decision::passthrough));
  expectClosedSilently(*client);
  ASSERT_TRUE(recorder.waitForEvents(2));
  EXPECT_EQ(recorder.events(), (std::vector<std::string>{"request:" + request.id, "removal:" + request.id}));
}

TEST_F(ApprovalServerTest, RefusedRequestsAreClosedUnannounced) {
  startServer();
  const double now = clock.now();
  std::vector<std::string> lines;
  auto add = [&](auto change) {
    ApprovalRequest request = makeRequest(now);
    change(request);
    lines.push_back(lineOf(request));
  };
  add([](ApprovalRequest& r) { r.id = "not-a-uuid"; });
  add([](ApprovalRequest& r) { r.eventName = "PreToolUse"; });
  add([](ApprovalRequest& r) { r.eventName = "NativeApproval"; });
  add([](ApprovalRequest& r) { r.toolName = "AskUserQuestion"; });
  add([&](ApprovalRequest& r) { r.expiresAt = now; });
  add([&](ApprovalRequest& r) { r.expiresAt = now - 10; });
  add([](ApprovalRequest& r) { r.toolInputJSON = "[]"; });
  add([](ApprovalRequest& r) { r.toolInputJSON = "{\"a\":"; });
  add([](ApprovalRequest& r) { r.toolInputJSON = "{\"a\":" + std::string(600, '[') + std::string(600, ']') + "}"; });
  lines.push_back("{\"id\":\"x\"}\n");
  lines.push_back("not json\n");
  lines.push_back(lineOf(makeRequest(now)) + "trailing"); // bytes after the line feed
  lines.push_back(std::string(5000, 'x') + "\n");         // over the line limit

  for (const std::string& line : lines) {
    TestClient client(socketPath());
    ASSERT_TRUE(client.connected());
    ASSERT_TRUE(client.send(line));
    expectClosedSilently(client);
  }

  // Silence and a partial line both end at the read deadline. Each handler
  // fixes its deadline when its thread runs, so move the clock until both
  // have given up.
  TestClient silent(socketPath());
  TestClient partial(socketPath());
  ASSERT_TRUE(partial.send(lineOf(makeRequest(now)).substr(0, 40)));
  std::vector<const TestClient*> open{&silent, &partial};
  for (int step = 0; step < 200 && !open.empty(); ++step) {
    clock.advance(fastLimits().requestReadTimeout);
    std::erase_if(open, [](const TestClient* client) {
      const auto received = client->readUntilClosed(0.02);
      EXPECT_EQ(received.bytes, "");
      return received.endOfStream;
    });
  }
  EXPECT_TRUE(open.empty());

  EXPECT_EQ(recorder.events(), std::vector<std::string>{});
}

TEST_F(ApprovalServerTest, DuplicateIdsLeaveTheFirstRequestAlone) {
  startServer();
  const ApprovalRequest request = makeRequest(clock.now());
  const auto first = submit(request);
  TestClient duplicate(socketPath());
  ASSERT_TRUE(duplicate.send(lineOf(request)));
  expectClosedSilently(duplicate);

  EXPECT_TRUE(server->decide(request.id, Decision::allow));
  EXPECT_EQ(first->readUntilClosed().bytes, replyLine(request.id, Decision::allow));
  ASSERT_TRUE(recorder.waitForEvents(2));
  EXPECT_EQ(recorder.events(), (std::vector<std::string>{"request:" + request.id, "removal:" + request.id}));
}

TEST_F(ApprovalServerTest, ClientLeavingOrTalkingEndsTheWait) {
  startServer();
  const ApprovalRequest leaving = makeRequest(clock.now());
  auto client = submit(leaving);
  client->close();
  ASSERT_TRUE(recorder.waitForEvents(2));
  EXPECT_EQ(recorder.events()[1], "removal:" + leaving.id);
  EXPECT_FALSE(server->decide(leaving.id, Decision::allow));

  const ApprovalRequest talking = makeRequest(clock.now());
  const auto chatty = submit(talking);
  ASSERT_TRUE(chatty->send("x"));
  expectClosedSilently(*chatty);
  ASSERT_TRUE(recorder.waitForEvents(4));
  EXPECT_EQ(recorder.events()[3], "removal:" + talking.id);
}

TEST_F(ApprovalServerTest, ExpiryAndTheLongestWaitEndTheWait) {
  startServer();
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
  EXPECT_EQ(recorder.events().size(), 2u);
  clock.advance(3);
  expectClosedSilently(*soonClient);

  clock.advance(47 - 0.001);
  EXPECT_FALSE(lateClient->readUntilClosed(0.05).endOfStream);
  clock.advance(0.001);
  expectClosedSilently(*lateClient);
  ASSERT_TRUE(recorder.waitForEvents(4));
}

// A decision that decide() accepted in the last moment before the handler
// notices its deadline still goes out: true always means a reply.
TEST_F(ApprovalServerTest, DecisionsRacingTheDeadlineAreRepliedOrRefused) {
  startServer();
  int decidedInTime = 0;
  for (int round = 0; round < 20; ++round) {
    const ApprovalRequest request = makeRequest(clock.now());
    const auto client = submit(request);
    clock.advance(50); // the handler's deadline has come, while the request
    clock.advanceWallClock(-0.001); // has not expired yet for decide()
    const bool decided = server->decide(request.id, Decision::allow);
    decidedInTime += decided ? 1 : 0;
    EXPECT_EQ(client->readUntilClosed().bytes, decided ? replyLine(request.id, Decision::allow) : "")
        << "round " << round;
  }
  EXPECT_GT(decidedInTime, 0);
}

TEST_F(ApprovalServerTest, StopEndsEveryWaitAndRemovesTheSocket) {
  startServer();
  std::vector<std::unique_ptr<TestClient>> clients;
  std::vector<ApprovalRequest> requests;
  for (int i = 0; i < 3; ++i) {
    requests.push_back(makeRequest(clock.now()));
    clients.push_back(submit(requests.back()));
  }
  server->stop();
  EXPECT_FALSE(server->isRunning());
  for (const auto& client : clients) {
    expectClosedSilently(*client);
  }
  ASSERT_TRUE(recorder.waitForEvents(6));
  EXPECT_FALSE(exists(socketPath()));
  EXPECT_FALSE(server->decide(requests[0].id, Decision::allow));

  // A stopped server starts afresh.
  server->start([this](const ApprovalRequest& request) { recorder.requested(request); }, nullptr);
  const ApprovalRequest again = makeRequest(clock.now());
  const auto client = submit(again);
  EXPECT_TRUE(server->decide(again.id, Decision::deny));
  EXPECT_TRUE(client->readUntilClosed().endOfStream);
}

TEST_F(ApprovalServerTest, DecisionsAndStopWakeWaitingHandlersAtOnce) {
  // With a 30 s poll step nothing but the wake-ups can answer in time.
  ApprovalServer::Limits slowPolling = fastLimits();
  slowPolling.pollStep = 30;
  server = std::make_unique<ApprovalServer>(directory, clock, slowPolling);
  server->start([this](const ApprovalRequest& request) { recorder.requested(request); }, nullptr);

  const ApprovalRequest decided = makeRequest(clock.now());
  const auto decidedClient = submit(decided);
  ASSERT_TRUE(server->decide(decided.id, Decision::allow));
  const auto reply = decidedClient->readUntilClosed(5);
  EXPECT_TRUE(reply.endOfStream);
  EXPECT_EQ(reply.bytes, replyLine(decided.id, Decision::allow));

  const auto waitingClient = submit(makeRequest(clock.now()));
  const double started = uptimeNow();
  server->stop();
  EXPECT_LT(uptimeNow() - started, 5.0);
  expectClosedSilently(*waitingClient);
}

TEST_F(ApprovalServerTest, ConnectionsBeyondTheCapAreClosedAtOnce) {
  startServer();
  std::vector<std::unique_ptr<TestClient>> clients;
  std::vector<ApprovalRequest> requests;
  for (int i = 0; i < 32; ++i) {
    requests.push_back(makeRequest(clock.now()));
    clients.push_back(submit(requests.back()));
  }
  TestClient extra(socketPath());
  ASSERT_TRUE(extra.connected());
  extra.send(lineOf(makeRequest(clock.now())));
  expectClosedSilently(extra);
  EXPECT_EQ(recorder.requests().size(), 32u);

  for (std::size_t i = 0; i < requests.size(); ++i) {
    ASSERT_TRUE(server->decide(requests[i].id, Decision::allow));
    EXPECT_EQ(clients[i]->readUntilClosed().bytes, replyLine(requests[i].id, Decision::allow));
  }
}

TEST_F(ApprovalServerTest, ManyExchangesLeaveNoDescriptorOrThreadBehind) {
  if (!testing::canCountProcessResources()) {
    GTEST_SKIP() << "needs /proc to count descriptors and threads";
  }
  server = makeServer();
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

TEST_F(ApprovalServerTest, UnsafeDirectoriesAndSocketsAreRefusedAndLeftAlone) {
  ASSERT_EQ(::mkdir(directory.c_str(), 0755), 0);
  auto refused = makeServer();
  EXPECT_EQ(startFailure(*refused), TransportError::Kind::unsafePath);
  struct stat info {};
  ASSERT_EQ(::lstat(directory.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0755u);
  EXPECT_FALSE(refused->isRunning());

  ASSERT_EQ(::chmod(directory.c_str(), 0700), 0);
  FileDescriptor squatter = makeBridgeSocket();
  ASSERT_EQ(bindBridgeSocket(squatter.get(), socketPath()), 0);
  ASSERT_EQ(::chmod(socketPath().c_str(), 0644), 0);
  EXPECT_EQ(startFailure(*refused), TransportError::Kind::unsafePath);
  ASSERT_EQ(::lstat(socketPath().c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0644u);

  const std::string link = temporary.child("link");
  ASSERT_EQ(::symlink(directory.c_str(), link.c_str()), 0);
  ApprovalServer throughLink(link, clock, fastLimits());
  EXPECT_EQ(startFailure(throughLink), TransportError::Kind::unsafePath);
}

TEST_F(ApprovalServerTest, AStaleSocketIsReplacedButALiveOneIsNot) {
  ensureBridgeDirectory(directory);
  {
    FileDescriptor crashed = makeBridgeSocket();
    ASSERT_EQ(bindBridgeSocket(crashed.get(), socketPath()), 0);
    ASSERT_EQ(::chmod(socketPath().c_str(), 0600), 0);
  } // closed without listening: connections are refused
  startServer();

  auto second = makeServer();
  EXPECT_EQ(startFailure(*second), TransportError::Kind::alreadyRunning);
  EXPECT_EQ(startFailure(*server), TransportError::Kind::alreadyRunning);
  second.reset();
  EXPECT_TRUE(exists(socketPath()));

  const ApprovalRequest request = makeRequest(clock.now());
  const auto client = submit(request);
  EXPECT_TRUE(server->decide(request.id, Decision::allow));
  EXPECT_FALSE(client->readUntilClosed().bytes.empty());
}

TEST_F(ApprovalServerTest, ASocketPathThatDoesNotFitIsAFailure) {
  const std::string deep = temporary.child(std::string(100, 'd'));
  ApprovalServer tooLong(deep, clock, fastLimits());
  try {
    tooLong.start(nullptr, nullptr);
    FAIL() << "start succeeded";
  } catch (const TransportError& error) {
    EXPECT_EQ(error.kind(), TransportError::Kind::system);
    EXPECT_EQ(error.errorNumber(), ENAMETOOLONG);
  }
  EXPECT_FALSE(exists(bridgeSocketPath(deep)));
  EXPECT_FALSE(tooLong.isRunning());
}

} // namespace
} // namespace notch
