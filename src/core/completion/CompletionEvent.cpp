#include "core/completion/CompletionEvent.h"

#include <cmath>

#include "support/Json.h"
#include "support/Uuid.h"

namespace notch {
namespace {

constexpr CompletionEvent::Reason kReasons[] = {
    CompletionEvent::Reason::completed, CompletionEvent::Reason::interrupted, CompletionEvent::Reason::cancelled,
    CompletionEvent::Reason::failed, CompletionEvent::Reason::unknown};

std::optional<CompletionEvent::Reason> reasonFromRawValue(std::string_view text) {
  for (CompletionEvent::Reason reason : kReasons) {
    if (text == rawValue(reason)) {
      return reason;
    }
  }
  return std::nullopt;
}

// An optional token member: absent is fine; present must be a safe token.
// nullopt in the outer optional means the input is refused.
std::optional<std::optional<std::string>> optionalToken(const Json& object, std::string_view key) {
  const auto member = object.find(key);
  if (member == object.end()) {
    return std::optional<std::string>();
  }
  if (!member->is_string() || !CompletionEvent::safeToken(member->get_ref<const std::string&>())) {
    return std::nullopt;
  }
  return std::optional<std::string>(member->get<std::string>());
}

// Turns of sub-agents are not the user's turns.
bool isSubagentTurn(const Json& hook) {
  if (hook.contains("subagent_type") || hook.contains("parent_session_id")) {
    return true;
  }
  const auto flag = hook.find("is_subagent");
  return flag != hook.end() && !flag->is_null() && *flag != false;
}

} // namespace

std::string_view rawValue(CompletionEvent::Kind kind) {
  return kind == CompletionEvent::Kind::ended ? "ended" : "started";
}

std::string_view rawValue(CompletionEvent::Reason reason) {
  switch (reason) {
  case CompletionEvent::Reason::completed:
    return "completed";
  case CompletionEvent::Reason::interrupted:
    return "interrupted";
  case CompletionEvent::Reason::cancelled:
    return "cancelled";
  case CompletionEvent::Reason::failed:
    return "failed";
  case CompletionEvent::Reason::unknown:
    return "unknown";
  }
  return "unknown";
}

bool CompletionEvent::safeToken(std::string_view text) {
  if (text.empty() || text.size() > maximumTokenBytes) {
    return false;
  }
  for (const char c : text) {
    const bool safe = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
                      c == '.' || c == ':' || c == '_';
    if (!safe) {
      return false;
    }
  }
  return true;
}

std::optional<CompletionEvent> CompletionEvent::decodeHook(std::string_view data, double now) {
  if (data.size() > maximumInputBytes || !std::isfinite(now)) {
    return std::nullopt;
  }
  const auto hook = parseJson(data);
  if (!hook || !hook->is_object() || hook->empty()) {
    return std::nullopt;
  }
  const std::string* eventName = stringMember(*hook, "hook_event_name");
  const std::string* sessionID = stringMember(*hook, "session_id");
  if (eventName == nullptr || sessionID == nullptr || !safeToken(*sessionID) ||
      (*eventName != "FinalStop" && *eventName != "UserPromptSubmit")) {
    return std::nullopt;
  }
  const auto generationID = optionalToken(*hook, "generation_id");
  const auto agentID = optionalToken(*hook, "agent_id");
  if (!generationID || !agentID || isSubagentTurn(*hook)) {
    return std::nullopt;
  }
  CompletionEvent event;
  event.id = Uuid::random().string();
  event.sessionID = *sessionID;
  event.generationID = *generationID;
  event.agentID = *agentID;
  event.observedAt = now;
  if (*eventName == "FinalStop") {
    event.kind = Kind::ended;
    const std::string* reason = stringMember(*hook, "final_stop_reason");
    event.reason = reason != nullptr ? reasonFromRawValue(*reason).value_or(Reason::unknown) : Reason::unknown;
  }
  return event;
}

bool CompletionEvent::isValid() const {
  return Uuid::parse(id).has_value() && safeToken(sessionID) && (!generationID || safeToken(*generationID)) &&
         (!agentID || safeToken(*agentID)) && std::isfinite(observedAt) && !(kind == Kind::started && reason);
}

std::optional<std::string> CompletionEvent::encode() const {
  Json object = {{"id", id}, {"sessionID", sessionID}, {"kind", rawValue(kind)}, {"observedAt", observedAt}};
  if (generationID) {
    object["generationID"] = *generationID;
  }
  if (agentID) {
    object["agentID"] = *agentID;
  }
  if (reason) {
    object["reason"] = rawValue(*reason);
  }
  return writeCompactJson(object);
}

std::optional<CompletionEvent> CompletionEvent::decode(std::string_view text) {
  const auto object = parseJson(text);
  if (!object || !object->is_object()) {
    return std::nullopt;
  }
  const std::string* id = stringMember(*object, "id");
  const std::string* sessionID = stringMember(*object, "sessionID");
  const std::string* kind = stringMember(*object, "kind");
  const auto observedAt = object->find("observedAt");
  if (id == nullptr || sessionID == nullptr || kind == nullptr || (*kind != "started" && *kind != "ended") ||
      observedAt == object->end() || !observedAt->is_number()) {
    return std::nullopt;
  }
  CompletionEvent event;
  event.id = *id;
  event.sessionID = *sessionID;
  event.kind = *kind == "ended" ? Kind::ended : Kind::started;
  event.observedAt = observedAt->get<double>();
  for (const auto& [key, field] : {std::pair{"generationID", &event.generationID}, {"agentID", &event.agentID}}) {
    if (object->contains(key)) {
      const std::string* value = stringMember(*object, key);
      if (value == nullptr) {
        return std::nullopt;
      }
      *field = *value;
    }
  }
  if (object->contains("reason")) {
    const std::string* reason = stringMember(*object, "reason");
    const auto decoded = reason != nullptr ? reasonFromRawValue(*reason) : std::nullopt;
    if (!decoded) {
      return std::nullopt;
    }
    event.reason = decoded;
  }
  return event;
}

} // namespace notch
