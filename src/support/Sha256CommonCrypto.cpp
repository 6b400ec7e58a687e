#include "support/Sha256.h"

#include <algorithm>

#include <CommonCrypto/CommonDigest.h>

namespace notch {

Sha256Digest sha256(std::string_view data) {
  static_assert(CC_SHA256_DIGEST_LENGTH == std::tuple_size_v<Sha256Digest>);
  // CC_LONG is 32 bits wide: feed longer input in pieces.
  CC_SHA256_CTX context;
  CC_SHA256_Init(&context);
  constexpr std::size_t kPiece = 1u << 30;
  for (std::size_t offset = 0; offset < data.size(); offset += kPiece) {
    const std::size_t length = std::min(kPiece, data.size() - offset);
    CC_SHA256_Update(&context, data.data() + offset, static_cast<CC_LONG>(length));
  }
  Sha256Digest digest{};
  CC_SHA256_Final(digest.data(), &context);
  return digest;
}

} // namespace notch
