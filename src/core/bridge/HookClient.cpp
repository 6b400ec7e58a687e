#include "core/bridge/HookClient.h"

#include <cerrno>

#include "core/bridge/BridgeConnection.h"
#include "core/bridge/DecisionReply.h"
#include "core/bridge/HookEventPolicy.h"
#include "core/bridge/HookOutput.h"
#include "core/bridge/LineFraming.h"
#include "support/Json.h"
#include "support/Uuid.h"

namespace notch::HookClient {
namespace {

void writeOutput(int fd, const std::string& bytes) {
  // One write: the output is far below PIPE_BUF, so WorkBuddy reads it whole.
  // A reader that has gone away only makes the write fail (SIGPIPE is
  // ignored by the hook modes), and there is nobody left to tell.
  while (::write(fd, bytes.data(), bytes.size()) < 0 && errno == EINTR) {
  }
}

std::string stringOrEmpty(const Json& object, std::string_view key) {
  const std::string* value = stringMember(object, key);
  return value != nullptr ? *value : std::string();
}

} // namespace

std::optional<ApprovalRequest> requestFromHookInput(std::string_view input, std::string_view source, double now,
                                                    double lifetime) {
  const auto hook = parseJson(input);
  if (!hook || !hook->is_object() || hook->empty()) {
    return std::nullopt;
  }
  const std::string* eventName = stringMember(*hook, "hook_event_name");
  const std::string* toolName = stringMember(*hook, "tool_name");
  if (eventName == nullptr || toolName == nullptr || !HookEventPolicy::acceptsApproval(*eventName, *toolName)) {
    return std::nullopt;
  }
  const auto toolInput = hook->find("tool_input");
  if (toolInput == hook->end() || !toolInput->is_object()) {
    return std::nullopt;
  }
  auto toolInputJSON = writePrettyJson(*toolInput);
  if (!toolInputJSON) {
    return std::nullopt;
  }
  return ApprovalRequest{.id = Uuid::random().string(),
                         .sessionID = stringOrEmpty(*hook, "session_id"),
                         .toolName = *toolName,
                         .toolInputJSON = std::move(*toolInputJSON),
                         .cwd = stringOrEmpty(*hook, "cwd"),
                         .eventName = *eventName,
                         .expiresAt = now + lifetime,
                         .source = std::string(source)};
}

std::optional<Decision> exchange(const ApprovalRequest& request, const HookClientOptions& options) {
  // A request too large to send never opens a connection: the app would
  // only see a client that connects and goes away.
  const auto line = request.encode();
  if (!line || line->size() > kMaxLineBytes) {
    return std::nullopt;
  }
  // Non-blocking: anything but an immediate connection (a full backlog, a
  // refused connection) means no app to ask. There is no retry.
  const FileDescriptor socket =
      connectToBridge(options.directory, bridgeSocketPath(options.directory), /*connectWait=*/0);
  if (!socket) {
    return std::nullopt;
  }
  const Clock& clock = *options.clock;
  const double answerDeadline = clock.uptime() + options.answerDeadline;
  const LineChannel channel{.fd = socket.get(), .clock = clock, .pollStep = options.pollStep};
  if (!sendLine(channel, *line, clock.uptime() + options.sendDeadline, [] { return true; })) {
    return std::nullopt;
  }
  const auto answer = readLine(channel, answerDeadline);
  if (!answer) {
    return std::nullopt;
  }
  const auto reply = DecisionReply::decode(*answer);
  if (!reply || reply->id != request.id) {
    return std::nullopt;
  }
  return reply->decision;
}

void run(std::string_view source, const HookClientOptions& options) {
  const auto input = readHookInput(options.inputFd, *options.clock, options.input);
  if (!input) {
    return;
  }
  const auto request = requestFromHookInput(*input, source, options.clock->now(), options.requestLifetime);
  if (!request) {
    return;
  }
  const auto decision = exchange(*request, options);
  if (!decision) {
    return;
  }
  if (const auto output = hookOutputLine(request->eventName, *decision)) {
    writeOutput(options.outputFd, *output);
  }
}

} // namespace notch::HookClient
