#include <gtest/gtest.h>

#include "core/config/ConfigTestSupport.h"
#include "core/config/HookCommand.h"
#include "core/config/HookInstaller.h"
#include "core/config/HookRules.h"
#include "support/Json.h"

namespace notch {
namespace {

using testing::failureOf;
using testing::kExecutable;
using testing::readFile;
using testing::TemporaryHome;

const SystemFileSystem fileSystem;
const std::string kEdited = "本应用的 hook 已被手动修改；为避免覆盖更改，操作已停止。";

std::string own(std::string_view source = "workbuddy", const std::string& executable = kExecutable) {
  return HookCommand::approvalCommand(executable, source);
}

Json hook(const std::string& command, Json timeout = 60) {
  return Json{{"type", "command"}, {"command", command}, {"timeout", std::move(timeout)}};
}

Json withApprovalHook(Json root, const std::string& command = own()) {
  HookRules::installApprovalHook(root, command);
  return root;
}

Json withoutApprovalHooks(Json root) {
  HookRules::uninstallApprovalHooks(root);
  return root;
}

Json permissionGroups(Json groups) { return Json{{"hooks", {{"PermissionRequest", std::move(groups)}}}}; }

Json parsed(const std::optional<std::string>& text) { return parseJson(text.value()).value(); }

TEST(HookCommandTest, QuotesAndRecognisesOnlyTheCanonicalForm) {
  EXPECT_EQ(own(), "'/Applications/Vantrel Dozer.app/Contents/MacOS/VantrelNotch' '--hook' '--source' 'workbuddy' "
                   "'--owner-marker' 'vantrel-notch-v1'");
  const std::string quoted = own("workbuddyAI", "/Users/o'neil/VantrelNotch");
  EXPECT_NE(quoted.find("'/Users/o'\\''neil/VantrelNotch'"), std::string::npos);
  EXPECT_TRUE(HookCommand::isOwnCommand(quoted, "--hook", HookCommand::ownerMarker));
  EXPECT_TRUE(HookCommand::isOwnCommand(quoted, "--hook", HookCommand::ownerMarker, "workbuddyAI"));
  EXPECT_FALSE(HookCommand::isOwnCommand(quoted, "--hook", HookCommand::ownerMarker, "workbuddy"));
  for (const std::string& other : std::vector<std::string>{
           "'/x/VantrelNotch' --hook '--source' 'workbuddy' '--owner-marker' 'vantrel-notch-v1'", own() + " ",
           own() + " 'extra'", "'/x/VantrelNotch'  '--hook' '--source' 'workbuddy' '--owner-marker' 'vantrel-notch-v1'",
           "'relative' '--hook' '--source' 'workbuddy' '--owner-marker' 'vantrel-notch-v1'",
           "'/x' '--hook' '--source' 'WorkBuddy' '--owner-marker' 'vantrel-notch-v1'",
           "'/x' '--hook' '--source' 'workbuddy' '--owner-marker' 'vantrel-notch-v2'", "'", ""}) {
    EXPECT_FALSE(HookCommand::isOwnCommand(other, "--hook", HookCommand::ownerMarker)) << other;
  }
  for (const auto& [source, executable] :
       {std::pair{"workbuddy", "relative/VantrelNotch"}, {"target", "/x"}, {"workbuddy", "/a\nb"}}) {
    EXPECT_EQ(failureOf([&] { own(source, executable); }), "需要绝对可执行文件路径和有效的 WorkBuddy来源。");
  }
}

TEST(HookRulesTest, ValidationCoversEveryEntry) {
  const std::pair<const char*, const char*> cases[] = {
      {"[]", "配置必须是合法 JSON 对象；未修改文件。"},
      {"{\"a\":", "配置必须是合法 JSON 对象；未修改文件。"},
      {R"({"hooks":[]})", "hooks 必须是 JSON 对象。"},
      {R"({"hooks":{"E":{}}})", "Hook 事件必须包含分组数组。"},
      {R"({"hooks":{"E":[1]}})", "Hook 事件必须包含分组数组。"},
      {R"({"hooks":{"E":[{"matcher":1,"hooks":[]}]}})", "Hook matcher 必须是字符串。"},
      {R"({"hooks":{"E":[{"matcher":"x"}]}})", "Hook 分组必须包含 hooks 数组。"},
      {R"({"hooks":{"E":[{"hooks":[{"type":""}]}]}})", "Hook type 必须是字符串。"},
      {R"({"hooks":{"E":[{"hooks":[{"type":"command"}]}]}})", "Command hook 缺少字符串 command。"},
      {R"({"hooks":{"E":[{"hooks":[{"type":"http","url":3}]}]}})", "HTTP hook 缺少字符串 url。"},
      {R"({"hooks":{"E":[{"hooks":[{"type":"x","timeout":"5"}]}]}})", "Hook timeout 必须是数字。"},
      {R"({"hooks":{"E":[{"hooks":[{"type":"x"}],"k":1}]}})", "no failure"},
  };
  for (const auto& [document, message] : cases) {
    EXPECT_EQ(failureOf([&] { HookRules::validateSettings(std::string(document)); }), message) << document;
  }
  EXPECT_EQ(HookRules::validateSettings(std::nullopt), Json::object());
}

TEST(HookRulesTest, InstallKeepsForeignEntriesAndRemovesTheLegacyInterception) {
  const Json foreign = {{"hooks", Json::array({{{"type", "command"}, {"command", "audit"}}})}};
  const Json legacy = {{"matcher", "Bash"}, {"hooks", Json::array({hook(own())})}};
  const Json root = {
      {"theme", "dark"},
      {"hooks",
       {{"PermissionRequest", Json::array({foreign, {{"hooks", Json::array({hook(own("workbuddyAI"))})}}})},
        {"PreToolUse", Json::array({{{"matcher", "Bash"}, {"hooks", Json::array({hook(own()), foreign["hooks"][0]})}},
                                    {{"matcher", "Bash"}, {"hooks", Json::array({hook(own())})}, {"x-other", 1}},
                                    legacy})}}}};
  const Json installed = withApprovalHook(root);
  EXPECT_EQ(installed,
            (Json{{"theme", "dark"},
                  {"hooks",
                   {{"PermissionRequest", Json::array({foreign, HookRules::approvalGroup(own())})},
                    {"PreToolUse", Json::array({{{"matcher", "Bash"}, {"hooks", foreign["hooks"]}},
                                                {{"matcher", "Bash"}, {"hooks", Json::array()}, {"x-other", 1}}})}}}}));
  EXPECT_EQ(HookRules::approvalGroup(own()), (Json{{"hooks", Json::array({hook(own())})}}));
  Json again = installed;
  EXPECT_FALSE(HookRules::installApprovalHook(again, own())); // idempotent, and known to be
  EXPECT_EQ(again, installed);
  // Anything besides the closing own group still counts as a change.
  const Json closing = HookRules::approvalGroup(own());
  for (const Json& extra : {Json::array(), Json::array({legacy}), Json()}) {
    Json document = permissionGroups(Json::array({closing}));
    document["hooks"][extra.is_null() ? "PermissionRequest" : "PreToolUse"] =
        extra.is_null() ? Json::array({closing, closing}) : extra;
    EXPECT_TRUE(HookRules::installApprovalHook(document, own())) << document.dump();
  }
  Json completion = {};
  const std::string finalStop = HookCommand::completionCommand(kExecutable, false);
  HookRules::installCompletionHooks(completion, finalStop);
  completion["hooks"]["FinalStop"].push_back(Json{{"hooks", Json::array()}});
  EXPECT_TRUE(HookRules::installCompletionHooks(completion, finalStop));
  EXPECT_FALSE(HookRules::installCompletionHooks(completion, finalStop));

  Json nothingOwn = permissionGroups(Json::array({foreign}));
  EXPECT_FALSE(HookRules::uninstallApprovalHooks(nothingOwn));
  Json emptyEvent = Json{{"hooks", {{"PreToolUse", Json::array()}, {"X", Json::array()}}}};
  EXPECT_TRUE(HookRules::uninstallApprovalHooks(emptyEvent)); // an empty event array goes
  EXPECT_EQ(emptyEvent, (Json{{"hooks", {{"X", Json::array()}}}}));
  EXPECT_EQ(withoutApprovalHooks(installed)["hooks"]["PermissionRequest"], Json::array({foreign}));
  EXPECT_EQ(withoutApprovalHooks(withApprovalHook(Json{{"a", 1}})), (Json{{"a", 1}}));
  // A foreign group that was empty before stays; only groups emptied by the removal go.
  const Json emptyGroup = {{"hooks", Json::array()}};
  const Json emptyForeign = permissionGroups(Json::array({emptyGroup}));
  EXPECT_EQ(withoutApprovalHooks(withApprovalHook(emptyForeign)), emptyForeign);

  // Hand-edited own hooks stop every writer.
  Json async = hook(own());
  async["async"] = true;
  for (const Json& group : {Json{{"hooks", Json::array({hook(own(), 30)})}}, Json{{"hooks", Json::array({async})}},
                            Json{{"hooks", Json::array({hook(own(), "60")})}},
                            Json{{"matcher", "*"}, {"hooks", Json::array({hook(own())})}}}) {
    EXPECT_EQ(failureOf([&] { withApprovalHook(permissionGroups(Json::array({group}))); }), kEdited) << group.dump();
    EXPECT_EQ(failureOf([&] { withoutApprovalHooks(permissionGroups(Json::array({group}))); }), kEdited);
  }
  const Json noMatcher = {{"hooks", {{"PreToolUse", Json::array({HookRules::approvalGroup(own())})}}}};
  EXPECT_EQ(failureOf([&] { withoutApprovalHooks(noMatcher); }), kEdited);
}

TEST(HookInstallerTest, InstallingTwiceChangesNothingAndBackupsHoldWhatWasRead) {
  TemporaryHome home;
  home.writeSettings("{}");
  const HookInstaller installer(fileSystem);
  const std::string firstBackup = installer.install(home.settings(), kExecutable, "workbuddy", false);
  EXPECT_EQ(readFile(firstBackup), "{}");
  const auto once = readFile(home.settings());
  EXPECT_EQ(parsed(once), permissionGroups(Json::array({HookRules::approvalGroup(own())})));
  EXPECT_TRUE(once->ends_with("\n") && once->find("\\/") == std::string::npos);

  struct stat before {};
  ASSERT_EQ(::stat(home.settings().c_str(), &before), 0);
  const std::string secondBackup = installer.install(home.settings(), kExecutable, "workbuddy", false);
  struct stat after {};
  ASSERT_EQ(::stat(home.settings().c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino); // not rewritten at all
  EXPECT_EQ(readFile(secondBackup), once);
  EXPECT_NE(secondBackup, firstBackup);

  installer.install(home.settings(), "/elsewhere/VantrelNotch", "workbuddy", false); // a moved app
  EXPECT_NE(readFile(home.settings())->find("/elsewhere/VantrelNotch"), std::string::npos);
  installer.uninstall(home.settings());
  EXPECT_EQ(readFile(home.settings()), "{}\n");
}

TEST(HookInstallerTest, CompletionHooksAreCountedExactly) {
  TemporaryHome home;
  const HookInstaller installer(fileSystem);
  EXPECT_FALSE(installer.completionInstalled(home.settings(), kExecutable, false));
  installer.installCompletion(home.settings(), kExecutable, false);
  EXPECT_TRUE(installer.completionInstalled(home.settings(), kExecutable, false));
  EXPECT_FALSE(installer.completionInstalled(home.settings(), kExecutable, true));
  EXPECT_FALSE(installer.completionInstalled(home.settings(), "/other/VantrelNotch", false));

  Json root = parsed(readFile(home.settings()));
  root["hooks"]["FinalStop"].push_back(root["hooks"]["FinalStop"][0]); // two own hooks in one event
  home.writeSettings(root.dump());
  EXPECT_FALSE(installer.completionInstalled(home.settings(), kExecutable, false));

  root["hooks"]["FinalStop"][0]["hooks"][0]["timeout"] = 5;
  home.writeSettings(root.dump());
  const char* edited = "结束提醒 Hook 的选项已被修改，请先手动核对；未覆盖配置。";
  EXPECT_EQ(failureOf([&] { installer.completionInstalled(home.settings(), kExecutable, false); }), edited);
  EXPECT_EQ(failureOf([&] { installer.uninstallCompletion(home.settings()); }), edited);

  const std::string foreign = R"({"hooks":{"PermissionRequest":[{"hooks":[{"type":"command","command":"x"}]}]}})";
  home.writeSettings(foreign);
  installer.installCompletion(home.settings(), kExecutable, false);
  installer.uninstallCompletion(home.settings());
  EXPECT_EQ(parsed(readFile(home.settings())), parseJson(foreign));
}

TEST(HookInstallerTest, InspectionClassifiesWhatItFinds) {
  using State = SettingsHookConfiguration::State;
  TemporaryHome home;
  const auto inspect = [&](const std::optional<std::string>& executable = kExecutable) {
    return HookInstaller(fileSystem)
        .inspectApprovalHooks(TargetApplicationProfile::workbuddy, home.settings(), executable);
  };
  EXPECT_EQ(inspect().state, State::missing);
  const auto group = [](const std::string& command) { return Json::array({HookRules::approvalGroup(command)}); };
  const Json legacy = Json::array({{{"matcher", "Bash"}, {"hooks", Json::array({hook(own())})}}});
  const std::pair<Json, SettingsHookConfiguration> cases[] = {
      {{{"PermissionRequest", group(own())}, {"PreToolUse", legacy}},
       {State::installed, "PermissionRequest 命令与当前应用路径、所选版本完全匹配。", true}},
      {{{"PreToolUse", legacy}},
       {State::review, "发现本应用 Hook，但缺少完整的 PermissionRequest 接入，请检查或更新。", true}},
      {{{"PermissionRequest", Json::array({{{"hooks", Json::array({hook(own(), 30)})}}})}}, {State::review, "", {}}},
      {{{"PermissionRequest", group(own("workbuddyAI"))}}, {State::review, "", {}}}, // another profile's hook
      {{{"PermissionRequest", group(own("workbuddy", "/old/VantrelNotch"))}}, {State::reconnect, "", {}}},
      {parseJson(R"({"E":[{"hooks":[{"type":"command"}]}]})").value(),
       {State::invalid, "Command hook 缺少字符串 command。 仅读取，未修改配置。", std::nullopt}},
  };
  for (const auto& [hooks, expected] : cases) {
    home.writeSettings(Json{{"hooks", hooks}}.dump());
    const SettingsHookConfiguration found = inspect();
    EXPECT_EQ(found.state, expected.state) << hooks.dump();
    EXPECT_TRUE(expected.detail.empty() || found == expected) << hooks.dump();
  }
  home.writeSettings(Json{{"hooks", {{"PermissionRequest", group(own())}}}}.dump());
  EXPECT_EQ(inspect(std::nullopt).state, State::review);
  home.writeSettings("[]");
  EXPECT_EQ(inspect().detail, "settings.json 必须是 JSON 对象。 仅读取，未修改配置。");
}

TEST(TargetApplicationProfileTest, NamesAndPaths) {
  EXPECT_EQ(profileFromCommandLineName("workbuddy"), TargetApplicationProfile::workbuddy);
  EXPECT_FALSE(profileFromCommandLineName("") || profileFromRawValue("WorkbuddyAI"));
  EXPECT_EQ(settingsURL(TargetApplicationProfile::workbuddyAI, "/Users/me"), "/Users/me/.workbuddy-ai/settings.json");
}

} // namespace
} // namespace notch
