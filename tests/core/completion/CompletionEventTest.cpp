#include <gtest/gtest.h>

#include <limits>

#include "core/completion/CompletionEvent.h"
#include "support/Json.h"

namespace notch {
namespace {

using Kind = CompletionEvent::Kind;
using Reason = CompletionEvent::Reason;
constexpr double kNow = 800'000'000.5;
const Json kRemoved(Json::value_t::discarded);

// A FinalStop hook input with `key` set to `value` (removed when discarded).
std::optional<CompletionEvent> decodeWith(const std::string& key = "", const Json& value = nullptr, double now = kNow) {
  Json hook = {{"hook_event_name", "FinalStop"}, {"session_id", "s-1"}, {"final_stop_reason", "completed"}};
  if (value.is_discarded()) {
    hook.erase(key);
  } else if (!key.empty()) {
    hook[key] = value;
  }
  return CompletionEvent::decodeHook(writeCompactJson(hook).value(), now);
}

TEST(CompletionEventTest, DecodesStartsAndEndsOfUserTurns) {
  const auto ended = decodeWith().value();
  EXPECT_EQ(ended,
            (CompletionEvent{ended.id, "s-1", std::nullopt, std::nullopt, Kind::ended, Reason::completed, kNow}));
  EXPECT_TRUE(ended.isValid());
  for (const Json& reason : {Json("Completed"), Json(3), Json(nullptr), kRemoved}) {
    EXPECT_EQ(decodeWith("final_stop_reason", reason).value().reason, Reason::unknown) << reason.dump();
  }
  const auto started = CompletionEvent::decodeHook(
                           R"({"hook_event_name":"UserPromptSubmit","session_id":"s-1","final_stop_reason":"failed",)"
                           R"("generation_id":"g.1","agent_id":"a:2"})",
                           kNow)
                           .value();
  EXPECT_EQ(started, (CompletionEvent{started.id, "s-1", "g.1", "a:2", Kind::started, std::nullopt, kNow}));
}

// One valid input, then one row per rule it breaks, and the accepted edges.
TEST(CompletionEventTest, RefusesEveryDoubtfulInput) {
  // clang-format off
  const std::pair<const char*, Json> refused[] = {
      {"hook_event_name", "Stop"}, {"hook_event_name", "PermissionRequest"}, {"hook_event_name", "finalstop"},
      {"hook_event_name", kRemoved}, {"session_id", std::string(257, 'a')}, {"session_id", ""}, {"session_id", "a b"},
      {"session_id", "a/b"}, {"session_id", "é"}, {"session_id", 1}, {"generation_id", nullptr}, {"generation_id", ""},
      {"generation_id", "x y"}, {"generation_id", 7}, {"agent_id", nullptr}, {"agent_id", ""}, {"agent_id", "x y"},
      {"agent_id", 7}, {"subagent_type", nullptr}, {"parent_session_id", nullptr}, {"is_subagent", true},
      {"is_subagent", "false"}, {"is_subagent", 0},
  };
  // clang-format on
  for (const auto& [key, value] : refused) {
    EXPECT_FALSE(decodeWith(key, value)) << key << " " << value.dump();
  }
  for (const char* text : {"", "{}", "[]", "\"FinalStop\"", "{\"hook_event_name\":"}) {
    EXPECT_FALSE(CompletionEvent::decodeHook(text, kNow)) << text;
  }
  EXPECT_FALSE(decodeWith("", nullptr, std::numeric_limits<double>::infinity()));
  EXPECT_TRUE(decodeWith("is_subagent", false));
  EXPECT_TRUE(decodeWith("is_subagent", nullptr));
  EXPECT_TRUE(decodeWith("session_id", std::string(252, 'a') + "-.:_"));

  // The size limit counts bytes, valid JSON or not.
  std::string padded = R"({"hook_event_name":"FinalStop","session_id":"s-1"})";
  padded.insert(1, CompletionEvent::maximumInputBytes - padded.size(), ' ');
  EXPECT_TRUE(CompletionEvent::decodeHook(padded, kNow));
  EXPECT_FALSE(CompletionEvent::decodeHook(" " + padded, kNow));
}

TEST(CompletionEventTest, WireFormRoundTripsAndValidityHolds) {
  CompletionEvent event = decodeWith("agent_id", "a").value();
  EXPECT_EQ(CompletionEvent::decode(event.encode().value()), event);
  EXPECT_EQ(event.encode().value().find("generationID"), std::string::npos); // absent members are left out
  for (const char* refused : {R"({"id":"x","sessionID":"s","kind":"Ended","observedAt":1})",
                              R"({"id":"x","sessionID":"s","kind":"ended","observedAt":"1"})",
                              R"({"id":"x","sessionID":"s","kind":"ended","observedAt":1,"reason":"odd"})"}) {
    EXPECT_FALSE(CompletionEvent::decode(refused)) << refused;
  }
  EXPECT_TRUE(CompletionEvent::decode(R"({"id":"x","sessionID":"s","kind":"ended","observedAt":1})"));

  event.reason.reset(); // an end without a reason is valid; a start with one, a bad id or token are not
  EXPECT_TRUE(event.isValid());
  for (const auto& change :
       {+[](CompletionEvent& e) { e.kind = Kind::started, e.reason = Reason::completed; },
        +[](CompletionEvent& e) { e.id = "not-a-uuid"; }, +[](CompletionEvent& e) { e.agentID = "a b"; }}) {
    CompletionEvent changed = event;
    change(changed);
    EXPECT_FALSE(changed.isValid());
  }
}

} // namespace
} // namespace notch
