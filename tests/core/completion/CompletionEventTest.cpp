#include <gtest/gtest.h>

#include <limits>

#include "core/completion/CompletionEvent.h"
#include "support/Json.h"

namespace notch {
namespace {

using Kind = CompletionEvent::Kind;
using Reason = CompletionEvent::Reason;
constexpr double kNow = 800'000'000.5;

std::optional<CompletionEvent> decode(Json hook, double now = kNow) {
  return CompletionEvent::decodeHook(writeCompactJson(hook).value(), now);
}

Json finalStop() {
  return {{"hook_event_name", "FinalStop"}, {"session_id", "s-1"}, {"final_stop_reason", "completed"}};
}

TEST(CompletionEventTest, DecodesStartsAndEndsOfUserTurns) {
  const auto ended = decode(finalStop());
  ASSERT_TRUE(ended);
  EXPECT_EQ(ended->kind, Kind::ended);
  EXPECT_EQ(ended->reason, Reason::completed);
  EXPECT_EQ(ended->observedAt, kNow);
  EXPECT_TRUE(ended->isValid());

  for (const Json& reason : {Json("Completed"), Json(3), Json(nullptr)}) {
    Json hook = finalStop();
    hook["final_stop_reason"] = reason;
    const auto decoded = decode(hook);
    ASSERT_TRUE(decoded) << reason.dump();
    EXPECT_EQ(decoded->reason, Reason::unknown);
  }
  Json noReason = finalStop();
  noReason.erase("final_stop_reason");
  EXPECT_EQ(decode(noReason)->reason, Reason::unknown);

  const auto started = decode({{"hook_event_name", "UserPromptSubmit"},
                               {"session_id", "s-1"},
                               {"final_stop_reason", "failed"},
                               {"generation_id", "g.1"},
                               {"agent_id", "a:2"}});
  ASSERT_TRUE(started);
  EXPECT_EQ(started->kind, Kind::started);
  EXPECT_FALSE(started->reason);
  EXPECT_EQ(started->generationID, "g.1");
  EXPECT_EQ(started->agentID, "a:2");

  const auto again = decode(finalStop());
  EXPECT_NE(again->id, ended->id);
  CompletionEvent sameButID = *again;
  sameButID.id = ended->id;
  EXPECT_EQ(sameButID, *ended);
}

TEST(CompletionEventTest, RefusesEveryDoubtfulInput) {
  std::vector<Json> refused;
  for (const char* event : {"Stop", "PermissionRequest", "finalstop"}) {
    Json hook = finalStop();
    hook["hook_event_name"] = event;
    refused.push_back(hook);
  }
  for (const Json& session : {Json(std::string(257, 'a')), Json(""), Json("a b"), Json("a/b"), Json("é"), Json(1)}) {
    Json hook = finalStop();
    hook["session_id"] = session;
    refused.push_back(hook);
  }
  for (const char* key : {"generation_id", "agent_id"}) {
    for (const Json& value : {Json(nullptr), Json(""), Json("x y"), Json(7)}) {
      Json hook = finalStop();
      hook[key] = value;
      refused.push_back(hook);
    }
  }
  for (const auto& [key, value] : std::vector<std::pair<const char*, Json>>{{"subagent_type", nullptr},
                                                                            {"parent_session_id", nullptr},
                                                                            {"is_subagent", true},
                                                                            {"is_subagent", "false"},
                                                                            {"is_subagent", 0}}) {
    Json hook = finalStop();
    hook[key] = value;
    refused.push_back(hook);
  }
  Json missing = finalStop();
  missing.erase("hook_event_name");
  refused.push_back(missing);
  for (const Json& hook : refused) {
    EXPECT_FALSE(decode(hook)) << hook.dump();
  }
  for (const char* text : {"", "{}", "[]", "\"FinalStop\"", "{\"hook_event_name\":"}) {
    EXPECT_FALSE(CompletionEvent::decodeHook(text, kNow)) << text;
  }
  EXPECT_FALSE(decode(finalStop(), std::numeric_limits<double>::infinity()));

  for (const Json& flag : {Json(false), Json(nullptr)}) {
    Json hook = finalStop();
    hook["is_subagent"] = flag;
    EXPECT_TRUE(decode(hook));
  }
  Json longest = finalStop();
  longest["session_id"] = std::string(252, 'a') + "-.:_";
  EXPECT_TRUE(decode(longest));

  // The size limit counts bytes, valid JSON or not.
  std::string padded = writeCompactJson(finalStop()).value();
  padded.insert(1, CompletionEvent::maximumInputBytes - padded.size(), ' ');
  EXPECT_TRUE(CompletionEvent::decodeHook(padded, kNow));
  EXPECT_FALSE(CompletionEvent::decodeHook(" " + padded, kNow));
}

TEST(CompletionEventTest, WireFormRoundTripsAndValidityHolds) {
  CompletionEvent event = *decode({{"hook_event_name", "FinalStop"}, {"session_id", "s"}, {"agent_id", "a"}});
  const auto wire = event.encode();
  ASSERT_TRUE(wire);
  EXPECT_EQ(CompletionEvent::decode(*wire), event);
  EXPECT_EQ(wire->find("generationID"), std::string::npos); // absent members are left out

  EXPECT_FALSE(CompletionEvent::decode(R"({"id":"x","sessionID":"s","kind":"Ended","observedAt":1})"));
  EXPECT_FALSE(CompletionEvent::decode(R"({"id":"x","sessionID":"s","kind":"ended","observedAt":"1"})"));
  EXPECT_FALSE(CompletionEvent::decode(R"({"id":"x","sessionID":"s","kind":"ended","observedAt":1,"reason":"odd"})"));
  EXPECT_TRUE(CompletionEvent::decode(R"({"id":"x","sessionID":"s","kind":"ended","observedAt":1})"));

  CompletionEvent startedWithReason = event;
  startedWithReason.kind = Kind::started;
  EXPECT_FALSE(startedWithReason.isValid());
  CompletionEvent endedWithoutReason = event;
  endedWithoutReason.reason.reset();
  EXPECT_TRUE(endedWithoutReason.isValid());
  CompletionEvent badID = event;
  badID.id = "not-a-uuid";
  EXPECT_FALSE(badID.isValid());
  CompletionEvent unsafe = event;
  unsafe.agentID = "a b";
  EXPECT_FALSE(unsafe.isValid());
}

} // namespace
} // namespace notch
