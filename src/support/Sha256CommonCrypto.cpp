#include "support/Sha256.h"

#include <CommonCrypto/CommonDigest.h>

namespace notch {

Sha256Digest sha256(std::string_view data) {
  static_assert(CC_SHA256_DIGEST_LENGTH == std::tuple_size_v<Sha256Digest>);
  Sha256Digest digest{};
  CC_SHA256(data.data(), static_cast<CC_LONG>(data.size()), digest.data());
  return digest;
}

} // namespace notch
