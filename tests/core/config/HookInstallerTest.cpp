#include <gtest/gtest.h>

#include "core/config/ConfigTestSupport.h"
#include "core/config/HookCommand.h"
#include "core/config/HookInstaller.h"
#include "core/config/HookRules.h"
#include "support/Json.h"

namespace notch {
namespace {

using namespace testing;

const SystemFileSystem fileSystem;
const HookInstaller installer(fileSystem);

const std::string kOwn = HookCommand::approvalCommand(kExecutable, "workbuddy");
Json on(const char* event, const Json& group) { return Json{{"hooks", {{event, Json::array({group})}}}}; }

TEST(HookCommandTest, QuotesAndRecognisesOnlyTheCanonicalForm) {
  const std::string tail = " '--hook' '--source' 'workbuddy' '--owner-marker' 'vantrel-notch-v1'";
  EXPECT_EQ(HookCommand::approvalCommand("/o'neil/x", "workbuddy"), "'/o'\\''neil/x'" + tail);
  EXPECT_TRUE(HookCommand::isOwnCommand("'/o'\\''neil/x'" + tail, "--hook", HookCommand::ownerMarker));
  EXPECT_FALSE(
      HookCommand::isOwnCommand("'relative'" + tail, "--hook", HookCommand::ownerMarker) ||
      HookCommand::isOwnCommand("'/x'" + tail.substr(0, tail.size() - 3) + "v2'", "--hook", HookCommand::ownerMarker));
}

TEST(HookRulesTest, AnyOtherChangeCountsAndAnEditedOwnHookStopsTheWriter) {
  const Json closing = HookRules::approvalGroup(kOwn);
  Json document = on("PermissionRequest", closing), matched = closing;
  document["hooks"]["PreToolUse"] = Json::array(); // an empty event array goes: a change
  EXPECT_TRUE(HookRules::installApprovalHook(document, kOwn));
  document = on("PermissionRequest", Json{{"hooks", Json::array()}}); // a foreign group that was empty before stays
  EXPECT_FALSE(HookRules::uninstallApprovalHooks(document));
  matched["matcher"] = "*";
  document = on("PermissionRequest", matched);
  EXPECT_EQ(failureOf([&] { HookRules::installApprovalHook(document, kOwn); }),
            "本应用的 hook 已被手动修改；为避免覆盖更改，操作已停止。");
}

TEST(HookInstallerTest, EditedCompletionHooksStopTheCountAndALegacyHookAloneNeedsReview) {
  TemporaryHome home;
  installer.installCompletion(home.settings(), kExecutable, false);
  Json timed = parseJson(readFile(home.settings()).value()).value(), matched = timed;
  timed["hooks"]["FinalStop"][0]["hooks"][0]["timeout"] = 5;
  matched["hooks"]["FinalStop"][0]["matcher"] = "x";
  for (const Json& edited : {timed, matched}) {
    home.writeSettings(edited.dump());
    EXPECT_EQ(failureOf([&] { installer.completionInstalled(home.settings(), kExecutable, false); }),
              "结束提醒 Hook 的选项已被修改，请先手动核对；未覆盖配置。");
  }
  Json legacy = HookRules::approvalGroup(kOwn);
  legacy["matcher"] = "Bash";
  home.writeSettings(on("PreToolUse", legacy).dump());
  EXPECT_EQ(installer.inspectApprovalHooks(TargetApplicationProfile::workbuddy, home.settings(), kExecutable).state,
            SettingsHookConfiguration::State::review);
  EXPECT_EQ(profileFromCommandLineName("workbuddy"), TargetApplicationProfile::workbuddy); // the raw name works too
}

TEST(HookRulesTest, ValidationCoversEveryEntry) {
  const std::string invalid = "配置必须是合法 JSON 对象；未修改文件。", groups = "Hook 事件必须包含分组数组。";
  // clang-format off
  const std::pair<const char*, std::string> cases[] = {
      {"[]", invalid}, {"{\"a\":", invalid}, {R"({"hooks":[]})", "hooks 必须是 JSON 对象。"}, {R"({"hooks":{"E":{}}})", groups},
      {R"({"hooks":{"E":[1]}})", groups}, {R"({"hooks":{"E":[{"matcher":1,"hooks":[]}]}})", "Hook matcher 必须是字符串。"},
      {R"({"hooks":{"E":[{"matcher":"x"}]}})", "Hook 分组必须包含 hooks 数组。"}, {R"({"hooks":{"E":[{"hooks":[{"type":""}]}]}})", "Hook type 必须是字符串。"},
      {R"({"hooks":{"E":[{"hooks":[{"type":"command"}]}]}})", "Command hook 缺少字符串 command。"},
      {R"({"hooks":{"E":[{"hooks":[{"type":"http","url":3}]}]}})", "HTTP hook 缺少字符串 url。"},
      {R"({"hooks":{"E":[{"hooks":[{"type":"x","timeout":"5"}]}]}})", "Hook timeout 必须是数字。"},
      {R"({"hooks":{"E":[{"hooks":[{"type":"x"}],"k":1}]}})", "no failure"}};
  // clang-format on
  for (const auto& [document, message] : cases) {
    EXPECT_EQ(failureOf([&] { HookRules::validateSettings(std::string(document)); }), message) << document;
  }
  EXPECT_EQ(HookRules::validateSettings(std::nullopt), Json::object());
}

} // namespace
} // namespace notch
