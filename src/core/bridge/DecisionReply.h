#pragma once

// The approval server's answer on the socket: the request's id and the
// user's decision. A plain value.

#include <optional>
#include <string>
#include <string_view>

#include "core/bridge/Decision.h"

namespace notch {

struct DecisionReply {
  std::string id;
  Decision decision = Decision::passthrough;

  friend bool operator==(const DecisionReply&, const DecisionReply&) = default;

  // {"id":…,"decision":…}, compact.
  std::optional<std::string> encode() const;

  // Both keys required; the decision must be one of the three raw values
  // exactly (letter case included). Anything else is nullopt.
  static std::optional<DecisionReply> decode(std::string_view text);
};

} // namespace notch
