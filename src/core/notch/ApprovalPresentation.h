#pragma once

// The words the card shows for one request: title, main text (the command,
// or the raw tool input), the request's own description, the project name,
// and whether the tool input holds more than the command view shows.
// Computed on demand from the request; never fails.

#include <optional>
#include <string>

#include "core/bridge/ApprovalRequest.h"

namespace notch {

struct ApprovalPresentation {
  explicit ApprovalPresentation(const ApprovalRequest& request);

  std::string title;
  std::string primaryText;
  std::optional<std::string> description;
  std::string project;
  bool hasAdditionalParameters = false;
};

} // namespace notch
