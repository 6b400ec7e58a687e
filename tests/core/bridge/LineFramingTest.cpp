#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include <sys/socket.h>

#include "core/bridge/BridgeSocket.h"
#include "core/bridge/LineFraming.h"
#include "core/bridge/WakePipe.h"
#include "support/FileDescriptor.h"

namespace notch {
namespace {

using Status = LineFramer::Status;

// Each row: the pieces fed to a framer for lines of at most 10 bytes, and
// the status after each.
TEST(LineFramerTest, TakesOneLineWithinItsLimit) {
  // clang-format off
  const std::vector<std::pair<std::string, Status>> rows[] = {
      {{"abc", Status::needMore}, {"", Status::needMore}, {"def\n", Status::complete}, {"more\n", Status::refused}},
      {{"12345", Status::needMore}, {"67890\n", Status::complete}}, {{"12345", Status::needMore}, {"678901\n", Status::refused}},
      {{"1234567890", Status::needMore}, {"1", Status::refused}}, {{"{}\n{}", Status::refused}}, {{"{}\n\n", Status::refused}},
      {{"\n", Status::complete}},
  };
  // clang-format on
  for (const auto& row : rows) {
    LineFramer framer(10);
    for (const auto& [piece, status] : row) {
      EXPECT_EQ(framer.feed(piece), status) << piece;
    }
  }
  LineFramer framer(10);
  framer.feed("abc");
  framer.feed("def\n");
  EXPECT_EQ(framer.line(), "abcdef");
}

// Lines up to the limit travel; reads give up at their deadline, at the end
// of the stream or when told; sends give up when the peer never reads.
TEST(LineChannelTest, MovesLinesWithinTheLimitAndGivesUpInTime) {
  int fds[2];
  ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
  FileDescriptor near(fds[0]);
  FileDescriptor far(fds[1]);
  ASSERT_TRUE(applyBridgeSocketOptions(near.get()) && applyBridgeSocketOptions(far.get()));
  const SystemClock clock;
  const auto channel = [&](int fd, const WakePipe* wake = nullptr, double pollStep = 0.01) {
    return LineChannel{.fd = fd, .clock = clock, .pollStep = pollStep, .wake = wake};
  };
  const auto always = [] { return true; };
  const std::string payload(kMaxLineBytes, 'x');
  std::optional<std::string> received;
  std::thread reader([&] { received = readLine(channel(far.get()), uptimeNow() + 10); });
  EXPECT_TRUE(sendLine(channel(near.get()), payload, uptimeNow() + 10, always));
  reader.join();
  EXPECT_EQ(received.value_or("").size(), payload.size());
  LineChannel small = channel(near.get());
  small.maxLineBytes = 4; // a longer line is refused before a byte goes out, not at the deadline
  EXPECT_FALSE(sendLine(small, "12345", uptimeNow() + 10, always));

  // With a 30 s poll step only the wake pipe can end the read promptly.
  std::atomic<bool> keepGoing{true};
  WakePipe wake;
  std::thread stopper([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    keepGoing = false;
    wake.notify();
  });
  const double started = uptimeNow();
  EXPECT_FALSE(readLine(channel(near.get(), &wake, 30.0), started + 60, [&] { return keepGoing.load(); }));
  stopper.join();
  EXPECT_LT(uptimeNow() - started, 5.0);

  // Fill the socket buffer of a peer that never reads: the rest can only time out.
  EXPECT_FALSE(sendLine(channel(near.get()), payload, uptimeNow() + 0.1, always));
}

} // namespace
} // namespace notch
