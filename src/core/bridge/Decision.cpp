#include "core/bridge/Decision.h"

namespace notch {

std::string_view rawValue(Decision decision) {
  switch (decision) {
  case Decision::allow:
    return "allow";
  case Decision::deny:
    return "deny";
  case Decision::passthrough:
    return "passthrough";
  }
  return "passthrough";
}

std::optional<Decision> decisionFromRawValue(std::string_view text) {
  for (Decision decision : {Decision::allow, Decision::deny, Decision::passthrough}) {
    if (text == rawValue(decision)) {
      return decision;
    }
  }
  return std::nullopt;
}

} // namespace notch
