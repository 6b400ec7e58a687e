// Feeds arbitrary bytes to the decoders of the approval socket's records.
// Whatever decodes must survive a round trip unchanged; the sanitizers
// watch everything else.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "core/bridge/ApprovalRequest.h"
#include "core/bridge/DecisionReply.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  if (const auto request = notch::ApprovalRequest::decode(text)) {
    const auto wire = request->encode();
    if (!wire || notch::ApprovalRequest::decode(*wire) != request) {
      std::abort();
    }
  }

  if (const auto reply = notch::DecisionReply::decode(text)) {
    const auto wire = reply->encode();
    if (!wire || notch::DecisionReply::decode(*wire) != reply) {
      std::abort();
    }
  }
  return 0;
}
