#pragma once

// What runs when WorkBuddy starts the executable as its permission hook.
//
// Reads WorkBuddy's hook JSON, turns an eligible permission request into an
// ApprovalRequest, hands it to the running app over the approval socket,
// waits for the user's answer and prints WorkBuddy's hook output for an allow
// or a deny. Every other outcome — bad input, no app, an unsafe socket, a
// time-out, a mismatched or malformed answer — prints nothing, which leaves
// the decision to WorkBuddy's own prompt. Never an allow out of doubt.
//
// Stateless and single-threaded; every wait is bounded, the read of standard
// input included.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include <unistd.h>

#include "core/bridge/ApprovalRequest.h"
#include "core/bridge/BridgePaths.h"
#include "core/bridge/Decision.h"
#include "core/bridge/HookInput.h"
#include "support/Clock.h"

namespace notch {

// Where the hook talks to and the clock it reads, given by the caller; the
// rest are production values that tests shrink.
struct HookClientOptions {
  HookClientOptions(std::string bridgeDirectory, const Clock& hookClock)
      : directory(std::move(bridgeDirectory)), clock(&hookClock) {}

  std::string directory;
  const Clock* clock;
  int inputFd = STDIN_FILENO;
  int outputFd = STDOUT_FILENO;
  // WorkBuddy writes its input at once and closes it; five seconds can only
  // run out for a host that leaves standard input open, and together with
  // the answer deadline they stay below WorkBuddy's own 60 s time-out.
  HookInputLimits input;
  double requestLifetime = 50.0; // expiresAt = now + this
  double answerDeadline = 52.0;  // from the start of the socket exchange
  double sendDeadline = 2.0;
  double pollStep = 0.1;
};

namespace HookClient {

// The whole hook invocation for the profile `source`.
void run(std::string_view source, const HookClientOptions& options);

// One request-and-answer exchange over the approval socket; nullopt when no
// usable answer came.
std::optional<Decision> exchange(const ApprovalRequest& request, const HookClientOptions& options);

// The request for WorkBuddy's hook input, or nullopt when the input is not
// an eligible permission request: not a non-empty JSON object, missing or
// mistyped "hook_event_name" / "tool_name" / "tool_input", or refused by the
// hook event policy. `now` is the wall clock; the id is a fresh UUID.
std::optional<ApprovalRequest> requestFromHookInput(std::string_view input, std::string_view source, double now,
                                                    double lifetime = 50.0);

} // namespace HookClient
} // namespace notch
