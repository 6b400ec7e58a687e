#include "support/Sha256.h"

#include <new>

#include <openssl/evp.h>

namespace notch {

Sha256Digest sha256(std::string_view data) {
  Sha256Digest digest{};
  unsigned int length = 0;
  if (EVP_Digest(data.data(), data.size(), digest.data(), &length, EVP_sha256(), nullptr) != 1 ||
      length != digest.size()) {
    // Only an allocation failure inside libcrypto can get here.
    throw std::bad_alloc();
  }
  return digest;
}

} // namespace notch
