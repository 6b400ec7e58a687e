#include "support/Sha256.h"

namespace notch {

std::string sha256Hex(std::string_view data) {
  static constexpr char kDigits[] = "0123456789abcdef";
  const Sha256Digest digest = sha256(data);
  std::string hex;
  hex.reserve(digest.size() * 2);
  for (std::uint8_t byte : digest) {
    hex += kDigits[byte >> 4];
    hex += kDigits[byte & 0x0F];
  }
  return hex;
}

} // namespace notch
