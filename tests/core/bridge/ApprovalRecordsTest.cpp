#include <gtest/gtest.h>

#include "core/bridge/ApprovalRequest.h"
#include "core/bridge/DecisionReply.h"
#include "core/bridge/HookEventPolicy.h"
#include "support/Json.h"

namespace notch {
namespace {

ApprovalRequest sampleRequest() {
  return ApprovalRequest{.id = "E621E1F8-C36C-495A-93FC-0C247A3E6E5F",
                         .sessionID = "s/1",
                         .toolName = "Bash",
                         .toolInputJSON = "{\n  \"command\" : \"ls /tmp\"\n}",
                         .cwd = "/Users/me/项目",
                         .eventName = "PermissionRequest",
                         .expiresAt = 786'000'123.456789,
                         .source = "workbuddyAI"};
}

TEST(ApprovalRequestTest, RoundTripsThroughTheCompactWireForm) {
  const ApprovalRequest request = sampleRequest();
  EXPECT_EQ(request.encode(), R"({"cwd":"/Users/me/项目","eventName":"PermissionRequest","expiresAt":786000123.456789,)"
                              R"("id":"E621E1F8-C36C-495A-93FC-0C247A3E6E5F","sessionID":"s/1","source":"workbuddyAI",)"
                              R"("toolInputJSON":"{\n  \"command\" : \"ls /tmp\"\n}","toolName":"Bash"})");
  EXPECT_EQ(ApprovalRequest::decode(request.encode().value()), request);
}

TEST(ApprovalRequestTest, EveryKeyIsRequiredWithItsType) {
  const Json valid = parseJson(sampleRequest().encode().value()).value();
  for (const auto& [key, value] : valid.items()) {
    Json missing = valid;
    missing.erase(key);
    EXPECT_FALSE(ApprovalRequest::decode(writeCompactJson(missing).value())) << "without " << key;

    Json wrongType = valid;
    wrongType[key] = key == "expiresAt" ? Json("786000123") : Json(42);
    EXPECT_FALSE(ApprovalRequest::decode(writeCompactJson(wrongType).value())) << "mistyped " << key;

    Json null = valid;
    null[key] = nullptr;
    EXPECT_FALSE(ApprovalRequest::decode(writeCompactJson(null).value())) << "null " << key;
  }
  Json integerTime = valid;
  integerTime["expiresAt"] = 786000123;
  const auto decoded = ApprovalRequest::decode(writeCompactJson(integerTime).value());
  ASSERT_TRUE(decoded);
  EXPECT_EQ(decoded->expiresAt, 786000123.0);

  for (const char* bad : {"", "[]", "\"text\"", "{\"id\":", "null"}) {
    EXPECT_FALSE(ApprovalRequest::decode(bad)) << bad;
  }
}

TEST(DecisionReplyTest, DecisionsAreCaseSensitive) {
  for (Decision decision : {Decision::allow, Decision::deny, Decision::passthrough}) {
    const DecisionReply reply{"ID", decision};
    EXPECT_EQ(DecisionReply::decode(reply.encode().value()), reply);
  }
  EXPECT_EQ((DecisionReply{"ID", Decision::deny}.encode()), R"({"decision":"deny","id":"ID"})");
  for (const char* bad : {R"({"id":"ID","decision":"Allow"})", R"({"id":"ID","decision":"ALLOW"})",
                          R"({"id":"ID","decision":"approve"})", R"({"id":"ID"})", R"({"decision":"allow"})",
                          R"({"id":1,"decision":"allow"})", R"({"id":"ID","decision":true})", "[]"}) {
    EXPECT_FALSE(DecisionReply::decode(bad)) << bad;
  }
  EXPECT_EQ(decisionFromRawValue("passthrough"), Decision::passthrough);
  EXPECT_FALSE(decisionFromRawValue("Passthrough"));
}

TEST(HookEventPolicyTest, OnlyPermissionRequestsForOrdinaryTools) {
  using HookEventPolicy::acceptsApproval;
  for (const char* tool : {"Bash", "", "AskUserQuestions"}) {
    EXPECT_TRUE(acceptsApproval("PermissionRequest", tool)) << tool;
  }
  for (const char* event : {"permissionrequest", "PreToolUse", "NativeApproval"}) {
    EXPECT_FALSE(acceptsApproval(event, "Bash")) << event;
  }
  for (const char* tool : {"AskUserQuestion", "ask_user_question", "ASK_USER_FOR_STRUCTURED_INPUT",
                           "AskUserForStructuredInput", "ExitPlanMode", "exit_plan_mode",
                           // KELVIN SIGN lower-cases to an ASCII k.
                           "As\xE2\x84\xAAUserQuestion"}) {
    EXPECT_FALSE(acceptsApproval("PermissionRequest", tool)) << tool;
  }
}

} // namespace
} // namespace notch
