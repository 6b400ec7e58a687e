#include "core/bridge/ApprovalRequest.h"

#include "support/Json.h"

namespace notch {

std::optional<std::string> ApprovalRequest::encode() const {
  const Json object = {
      {"id", id},   {"sessionID", sessionID}, {"toolName", toolName},   {"toolInputJSON", toolInputJSON},
      {"cwd", cwd}, {"eventName", eventName}, {"expiresAt", expiresAt}, {"source", source},
  };
  return writeCompactJson(object);
}

std::optional<ApprovalRequest> ApprovalRequest::decode(std::string_view text) {
  const auto object = parseJson(text);
  if (!object || !object->is_object()) {
    return std::nullopt;
  }
  ApprovalRequest request;
  const std::pair<const char*, std::string*> strings[] = {
      {"id", &request.id},
      {"sessionID", &request.sessionID},
      {"toolName", &request.toolName},
      {"toolInputJSON", &request.toolInputJSON},
      {"cwd", &request.cwd},
      {"eventName", &request.eventName},
      {"source", &request.source},
  };
  for (const auto& [key, field] : strings) {
    const std::string* value = stringMember(*object, key);
    if (value == nullptr) {
      return std::nullopt;
    }
    *field = *value;
  }
  const auto expiresAt = object->find("expiresAt");
  if (expiresAt == object->end() || !expiresAt->is_number()) {
    return std::nullopt;
  }
  request.expiresAt = expiresAt->get<double>();
  return request;
}

} // namespace notch
