#include "core/bridge/DecisionReply.h"

#include "support/Json.h"

namespace notch {

std::optional<std::string> DecisionReply::encode() const {
  return writeCompactJson(Json{{"id", id}, {"decision", rawValue(decision)}});
}

std::optional<DecisionReply> DecisionReply::decode(std::string_view text) {
  const auto object = parseJson(text);
  if (!object) {
    return std::nullopt;
  }
  const std::string* id = stringMember(*object, "id");
  const std::string* decisionText = stringMember(*object, "decision");
  if (id == nullptr || decisionText == nullptr) {
    return std::nullopt;
  }
  const auto decision = decisionFromRawValue(*decisionText);
  if (!decision) {
    return std::nullopt;
  }
  return DecisionReply{*id, *decision};
}

} // namespace notch
