#include "core/native/NativeCardRequest.h"

#include "core/config/TargetApplicationProfile.h"
#include "support/Json.h"
#include "support/Sha256.h"
#include "support/Uuid.h"

namespace notch::NativeCardRequest {

std::string_view rawValue(NativeApprovalLayout layout) {
  return layout == NativeApprovalLayout::grouped ? "grouped" : "flattened";
}

std::optional<std::string> toolInput(const NativeApprovalContext& context, const std::string& windowTitle) {
  const Json input = {
      {"description", context.title + "\n" + context.risk},
      {"command", context.command},
      {"原生允许按钮", context.allowLabel},
      {"原生拒绝按钮", context.denyLabel},
      {"窗口", windowTitle},
      {"接入方式", std::string(accessNote)},
  };
  return writePrettyJson(input);
}

std::string fingerprint(const NativeCardIdentity& identity, std::string_view toolInput) {
  std::string material;
  const auto field = [&material](std::string_view text) {
    material += text;
    material += '|';
  };
  field(std::to_string(identity.pid));
  field(std::to_string(identity.windowHash));
  field(std::to_string(identity.containerHash));
  field(std::to_string(identity.allowHash));
  field(std::to_string(identity.denyHash));
  field(rawValue(identity.layout));
  std::string contexts;
  for (const std::size_t hash : identity.contextHashes) {
    contexts += (contexts.empty() ? "" : ",") + std::to_string(hash);
  }
  field(contexts);
  field(identity.windowTitle);
  material += toolInput;
  return sha256Hex(material);
}

ApprovalRequest request(std::string toolInput, std::string windowTitle, double now) {
  return ApprovalRequest{
      .id = Uuid::random().string(),
      .sessionID = std::move(windowTitle),
      .toolName = std::string(toolName),
      .toolInputJSON = std::move(toolInput),
      .cwd = "",
      .eventName = std::string(eventName),
      .expiresAt = now + lifetime,
      .source = std::string(rawValue(TargetApplicationProfile::workbuddy)),
  };
}

} // namespace notch::NativeCardRequest
