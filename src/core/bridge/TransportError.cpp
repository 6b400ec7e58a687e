#include "core/bridge/TransportError.h"

#include <cstring>

namespace notch {

TransportError::TransportError(Kind kind, int errorNumber, const std::string& text)
    : std::runtime_error(text), kind_(kind), errorNumber_(errorNumber) {}

TransportError TransportError::system(int errorNumber) {
  return TransportError(Kind::system, errorNumber, std::strerror(errorNumber));
}

TransportError TransportError::unsafePath() {
  return TransportError(Kind::unsafePath, 0, "Unsafe bridge directory or socket ownership/type/permissions.");
}

TransportError TransportError::alreadyRunning() {
  return TransportError(Kind::alreadyRunning, 0, "An approval bridge is already running.");
}

} // namespace notch
