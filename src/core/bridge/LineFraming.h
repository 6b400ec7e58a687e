#pragma once

// The framing of both bridge sockets: one message is one line of at most
// 1 MiB followed by a single line feed, and nothing may follow the line in
// the receive that completes it.

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "support/Clock.h"

namespace notch {

class WakePipe;

inline constexpr std::size_t kMaxLineBytes = 1'048'576;

// Assembles one line from successive receives. Pure, so the rules can be
// tested and fuzzed without sockets.
class LineFramer {
public:
  enum class Status {
    needMore, // no line feed yet; feed the next receive
    complete, // the line is ready: take it with line()
    refused,  // over-long, or bytes after the line feed: drop the connection
  };

  explicit LineFramer(std::size_t maxLineBytes = kMaxLineBytes) : maxLineBytes_(maxLineBytes) {}

  // Feeds the bytes of one receive. After complete or refused, the framer is
  // finished and further feeds are refused.
  Status feed(std::string_view received);

  // The line without its line feed, valid after feed() returned complete.
  const std::string& line() const { return held_; }

private:
  std::size_t maxLineBytes_;
  std::string held_;
  bool finished_ = false;
};

// How a line is moved over one connected, non-blocking bridge socket. Times
// are read from `clock` (uptime); every wait is at most `pollStep` long, and
// a notified `wake` ends a wait early so the caller's condition is re-checked.
struct LineChannel {
  int fd = -1;
  const Clock& clock;
  double pollStep = 0.1;
  const WakePipe* wake = nullptr;
  std::size_t maxLineBytes = kMaxLineBytes;
  std::size_t receiveBufferBytes = 8192;
};

// Sends `payload` plus one line feed before `deadline` (uptime) while
// `shouldContinue` holds. False for a payload over maxLineBytes, at the
// deadline, when told to stop, on a send error and on a send of zero bytes.
bool sendLine(const LineChannel& channel, std::string_view payload, double deadline,
              const std::function<bool()>& shouldContinue);

// Receives one line before `deadline` (uptime). nullopt at the deadline, on a
// receive error, at end of stream, for an over-long line and when bytes
// follow the line feed in the same receive.
std::optional<std::string> readLine(const LineChannel& channel, double deadline);

// As above, and also gives up as soon as `shouldContinue` yields false
// (checked once per pass); the server's variant.
std::optional<std::string> readLine(const LineChannel& channel, double deadline,
                                    const std::function<bool()>& shouldContinue);

} // namespace notch
