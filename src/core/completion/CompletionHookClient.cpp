#include "core/completion/CompletionHookClient.h"

#include "core/bridge/BridgeConnection.h"
#include "core/bridge/LineFraming.h"

namespace notch::CompletionHookClient {

bool send(const CompletionEvent& event, const CompletionHookOptions& options) {
  if (!event.isValid()) {
    return false;
  }
  const auto line = event.encode();
  if (!line || line->size() > options.maxEventBytes) {
    return false;
  }
  const FileDescriptor socket =
      connectToBridge(options.directory, completionSocketPath(options.directory), options.connectWait);
  if (!socket) {
    return false;
  }
  const Clock& clock = *options.clock;
  const LineChannel channel{.fd = socket.get(), .clock = clock, .pollStep = options.sendDeadline};
  return sendLine(channel, *line, clock.uptime() + options.sendDeadline, [] { return true; });
}

void run(const CompletionHookOptions& options) {
  const auto input = readHookInput(options.inputFd, *options.clock, options.input);
  if (!input) {
    return;
  }
  if (const auto event = CompletionEvent::decodeHook(*input, options.clock->now())) {
    send(*event, options);
  }
}

} // namespace notch::CompletionHookClient
