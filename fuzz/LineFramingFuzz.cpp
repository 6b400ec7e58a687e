// Splits arbitrary bytes into receives (the first byte of each chunk gives
// its length) and checks the line framer's promises: a completed line never
// holds a line feed, is never longer than the limit, and is exactly the
// bytes fed before a line feed that ended its receive.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "core/bridge/LineFraming.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  constexpr std::size_t kLimit = 64; // small, so that the limit is reached often
  notch::LineFramer framer(kLimit);
  std::string fed;
  std::size_t offset = 0;
  while (offset < size) {
    const std::size_t length = std::min<std::size_t>(data[offset], size - offset - 1);
    const std::string_view chunk(reinterpret_cast<const char*>(data) + offset + 1, length);
    offset += length + 1;
    const auto status = framer.feed(chunk);
    fed.append(chunk);
    if (status == notch::LineFramer::Status::complete) {
      const std::string& line = framer.line();
      if (line.find('\n') != std::string::npos || line.size() > kLimit || fed != line + "\n") {
        std::abort();
      }
      break;
    }
    if (status == notch::LineFramer::Status::refused) {
      const bool overLong = fed.find('\n') == std::string::npos ? fed.size() > kLimit : fed.find('\n') > kLimit;
      const bool trailing = fed.find('\n') != std::string::npos && fed.find('\n') + 1 != fed.size();
      if (!overLong && !trailing) {
        std::abort(); // refused a line that was fine
      }
      break;
    }
  }
  return 0;
}
