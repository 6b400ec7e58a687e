#include <gtest/gtest.h>

#include "core/bridge/ApprovalRequest.h"
#include "core/bridge/HookEventPolicy.h"
#include "support/Json.h"

namespace notch {
namespace {

// clang-format off
const ApprovalRequest kSample{"E621E1F8-C36C-495A-93FC-0C247A3E6E5F", "s/1", "Bash", "{\n  \"command\" : \"ls /tmp\"\n}",
                              "/Users/me/项目", "PermissionRequest", 786'000'123.456789, "workbuddyAI"};
// clang-format on

TEST(ApprovalRequestTest, RoundTripsThroughTheCompactWireForm) {
  EXPECT_EQ(kSample.encode(), R"({"cwd":"/Users/me/项目","eventName":"PermissionRequest","expiresAt":786000123.456789,)"
                              R"("id":"E621E1F8-C36C-495A-93FC-0C247A3E6E5F","sessionID":"s/1","source":"workbuddyAI",)"
                              R"("toolInputJSON":"{\n  \"command\" : \"ls /tmp\"\n}","toolName":"Bash"})");
  EXPECT_EQ(ApprovalRequest::decode(kSample.encode().value()), kSample);
}

TEST(ApprovalRequestTest, EveryKeyIsRequiredWithItsType) {
  const Json valid = parseJson(kSample.encode().value()).value();
  for (const auto& [key, value] : valid.items()) {
    for (const Json& bad : {Json(Json::value_t::discarded), key == "expiresAt" ? Json("1") : Json(42), Json()}) {
      Json changed = valid;
      bad.is_discarded() ? static_cast<void>(changed.erase(key)) : static_cast<void>(changed[key] = bad);
      EXPECT_FALSE(ApprovalRequest::decode(writeCompactJson(changed).value())) << key << " " << bad.dump();
    }
  }
  Json integerTime = valid;
  integerTime["expiresAt"] = 786000123;
  EXPECT_EQ(ApprovalRequest::decode(writeCompactJson(integerTime).value()).value().expiresAt, 786000123.0);
  for (const char* bad : {"", "[]", "\"text\"", "{\"id\":", "null"}) {
    EXPECT_FALSE(ApprovalRequest::decode(bad)) << bad;
  }
}

TEST(HookEventPolicyTest, OnlyPermissionRequestsForOrdinaryTools) {
  // clang-format off
  const std::tuple<const char*, const char*, bool> rows[] = {
      {"PermissionRequest", "Bash", true}, {"PermissionRequest", "", true}, {"PermissionRequest", "AskUserQuestions", true},
      {"permissionrequest", "Bash", false}, {"PreToolUse", "Bash", false}, {"NativeApproval", "Bash", false},
      {"PermissionRequest", "AskUserQuestion", false}, {"PermissionRequest", "ask_user_question", false},
      {"PermissionRequest", "ASK_USER_FOR_STRUCTURED_INPUT", false}, {"PermissionRequest", "AskUserForStructuredInput", false},
      {"PermissionRequest", "ExitPlanMode", false}, {"PermissionRequest", "exit_plan_mode", false},
      {"PermissionRequest", "As\xE2\x84\xAAUserQuestion", false}, // KELVIN SIGN lower-cases to an ASCII k
  };
  // clang-format on
  for (const auto& [event, tool, accepted] : rows) {
    EXPECT_EQ(HookEventPolicy::acceptsApproval(event, tool), accepted) << event << " " << tool;
  }
}

} // namespace
} // namespace notch
