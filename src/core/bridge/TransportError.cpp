#include "core/bridge/TransportError.h"

#include <system_error>

namespace notch {

TransportError::TransportError(Kind kind, int errorNumber, const std::string& text)
    : std::runtime_error(text), kind_(kind), errorNumber_(errorNumber) {}

TransportError TransportError::system(int errorNumber) {
  // The C library's message for the error, as strerror() words it, without
  // strerror()'s shared buffer.
  return TransportError(Kind::system, errorNumber, std::generic_category().message(errorNumber));
}

TransportError TransportError::unsafePath() {
  return TransportError(Kind::unsafePath, 0, "Unsafe bridge directory or socket ownership/type/permissions.");
}

TransportError TransportError::alreadyRunning() {
  return TransportError(Kind::alreadyRunning, 0, "An approval bridge is already running.");
}

} // namespace notch
