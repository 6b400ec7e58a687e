#pragma once

// What runs when WorkBuddy starts the executable as its turn-end hook: read
// the hook JSON within a fixed budget, decode it, and push the event to the
// running app, fire and forget. Nothing is printed and nothing is waited
// for beyond small fixed budgets, so WorkBuddy's prompt submission and turn
// end are never held up; every failure is silent.

#include <cstddef>
#include <string>

#include <unistd.h>

#include "core/bridge/BridgePaths.h"
#include "core/bridge/HookInput.h"
#include "core/completion/CompletionEvent.h"
#include "support/Clock.h"

namespace notch {

// Where the hook talks to and the clock it reads, given by the caller; the
// rest are production values that tests shrink.
struct CompletionHookOptions {
  CompletionHookOptions(std::string bridgeDirectory, const Clock& hookClock)
      : directory(std::move(bridgeDirectory)), clock(&hookClock) {}

  std::string directory;
  const Clock* clock;
  int inputFd = STDIN_FILENO;
  HookInputLimits input{
      .budget = 0.3, .pollStep = 0.02, .chunkBytes = 8'192, .limitBytes = CompletionEvent::maximumInputBytes};
  std::size_t maxEventBytes = 4'096;
  double connectWait = 0.08;
  double sendDeadline = 0.12;
};

namespace CompletionHookClient {

void run(const CompletionHookOptions& options);

// True when the event's line was sent completely.
bool send(const CompletionEvent& event, const CompletionHookOptions& options);

} // namespace CompletionHookClient
} // namespace notch
