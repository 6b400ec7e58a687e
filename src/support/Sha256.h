#pragma once

// SHA-256 (libcrypto on Linux, CommonCrypto on macOS; both give the same
// digest).

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace notch {

using Sha256Digest = std::array<std::uint8_t, 32>;

Sha256Digest sha256(std::string_view data);

// The digest as 64 lower-case hexadecimal digits.
std::string sha256Hex(std::string_view data);

} // namespace notch
