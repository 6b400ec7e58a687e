// Arbitrary bytes as turn-end hook input and as the turn-end wire line.
// Whatever decodeHook accepts must be a valid event that survives the wire
// unchanged; the sanitizers watch everything else.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "core/completion/CompletionEvent.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  if (const auto event = notch::CompletionEvent::decodeHook(text, 800'000'000.0)) {
    const auto wire = event->encode();
    if (!event->isValid() || !wire || notch::CompletionEvent::decode(*wire) != event) {
      std::abort();
    }
  }
  if (const auto event = notch::CompletionEvent::decode(text)) {
    const auto wire = event->encode();
    if (!wire || notch::CompletionEvent::decode(*wire) != event) {
      std::abort();
    }
  }
  return 0;
}
