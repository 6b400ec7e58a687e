#include <gtest/gtest.h>

#include <sys/stat.h>

#include "core/config/ConfigTestSupport.h"
#include "core/config/HookCommand.h"
#include "core/config/HookInstaller.h"
#include "core/config/HookRules.h"
#include "core/config/TargetApplicationProfile.h"
#include "support/Json.h"

namespace notch {
namespace {

using testing::readFile;
using testing::TemporaryHome;

const std::string kExecutable = "/Applications/Vantrel Dozer.app/Contents/MacOS/VantrelNotch";
const SystemFileSystem fileSystem;

std::string own(std::string_view source = "workbuddy", const std::string& executable = kExecutable) {
  return HookCommand::approvalCommand(executable, source);
}

Json hook(const std::string& command, Json timeout = 60) {
  return Json{{"type", "command"}, {"command", command}, {"timeout", std::move(timeout)}};
}

Json withApprovalHook(Json root, const std::string& command) {
  HookRules::installApprovalHook(root, command);
  return root;
}

Json withoutApprovalHooks(Json root) {
  HookRules::uninstallApprovalHooks(root);
  return root;
}

Json legacyOnlyGroups() { return Json::array({{{"matcher", "Bash"}, {"hooks", Json::array({hook(own())})}}}); }

Json parsed(const std::optional<std::string>& text) { return parseJson(text.value()).value(); }

std::string failureOf(const std::function<void()>& operation) {
  try {
    operation();
  } catch (const HookInstaller::Failure& failure) {
    return failure.message();
  }
  return "no failure";
}

TEST(HookCommandTest, QuotesAndRecognisesOnlyTheCanonicalForm) {
  EXPECT_EQ(own(), "'/Applications/Vantrel Dozer.app/Contents/MacOS/VantrelNotch' '--hook' '--source' 'workbuddy' "
                   "'--owner-marker' 'vantrel-notch-v1'");
  const std::string quoted = own("workbuddyAI", "/Users/o'neil/VantrelNotch");
  EXPECT_NE(quoted.find("'/Users/o'\\''neil/VantrelNotch'"), std::string::npos);
  EXPECT_TRUE(HookCommand::isOwnCommand(quoted, "--hook", HookCommand::ownerMarker));
  EXPECT_TRUE(HookCommand::isOwnCommand(quoted, "--hook", HookCommand::ownerMarker, "workbuddyAI"));
  EXPECT_FALSE(HookCommand::isOwnCommand(quoted, "--hook", HookCommand::ownerMarker, "workbuddy"));

  const std::string unquotedFlag =
      "'/x/VantrelNotch' --hook '--source' 'workbuddy' '--owner-marker' 'vantrel-notch-v1'";
  for (const std::string& other : std::vector<std::string>{
           unquotedFlag, own() + " ", own() + " 'extra'",
           "'/x/VantrelNotch'  '--hook' '--source' 'workbuddy' '--owner-marker' 'vantrel-notch-v1'",
           std::string("'relative' '--hook' '--source' 'workbuddy' '--owner-marker' 'vantrel-notch-v1'"),
           std::string("'/x' '--hook' '--source' 'WorkBuddy' '--owner-marker' 'vantrel-notch-v1'"),
           std::string("'/x' '--hook' '--source' 'workbuddy' '--owner-marker' 'vantrel-notch-v2'"), std::string("'"),
           std::string("")}) {
    EXPECT_FALSE(HookCommand::isOwnCommand(other, "--hook", HookCommand::ownerMarker)) << other;
  }
  EXPECT_EQ(failureOf([] { own("workbuddy", "relative/VantrelNotch"); }),
            "需要绝对可执行文件路径和有效的 WorkBuddy来源。");
  EXPECT_EQ(failureOf([] { own("target"); }), "需要绝对可执行文件路径和有效的 WorkBuddy来源。");
  EXPECT_EQ(failureOf([] { own("workbuddy", "/a\nb"); }), "需要绝对可执行文件路径和有效的 WorkBuddy来源。");
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
  };
  for (const auto& [document, message] : cases) {
    EXPECT_EQ(failureOf([&] { HookRules::validateSettings(std::string(document)); }), message) << document;
  }
  // Whatever follows a NUL byte would be lost by a reader that stops there.
  using namespace std::string_literals;
  EXPECT_EQ(failureOf([] { HookRules::validateSettings("{\"model\":\"m\"}\0{\"env\":{\"TOKEN\":\"keep-me\"}}"s); }),
            "配置必须是合法 JSON 对象；未修改文件。");
  EXPECT_EQ(HookRules::validateSettings(std::nullopt), Json::object());
  EXPECT_NO_THROW(HookRules::validateSettings(std::string(R"({"hooks":{"E":[{"hooks":[{"type":"x"}],"k":1}]}})")));
}

TEST(HookRulesTest, InstallKeepsForeignEntriesAndRemovesTheLegacyInterception) {
  const Json foreign = {{"hooks", Json::array({{{"type", "command"}, {"command", "audit"}}})}};
  Json root = {
      {"theme", "dark"},
      {"hooks",
       {{"PermissionRequest", Json::array({foreign, {{"hooks", Json::array({hook(own("workbuddyAI"))})}}})},
        {"PreToolUse", Json::array({{{"matcher", "Bash"}, {"hooks", Json::array({hook(own()), foreign["hooks"][0]})}},
                                    {{"matcher", "Bash"}, {"hooks", Json::array({hook(own())})}, {"x-other", 1}},
                                    {{"matcher", "Bash"}, {"hooks", Json::array({hook(own())})}}})}}}};
  const Json installed = withApprovalHook(root, own());
  const Json& permission = installed["hooks"]["PermissionRequest"];
  ASSERT_EQ(permission.size(), 2u);
  EXPECT_EQ(permission[0], foreign); // foreign first, own group last
  EXPECT_EQ(permission[1], (Json{{"hooks", Json::array({hook(own())})}}));
  const Json& preToolUse = installed["hooks"]["PreToolUse"];
  ASSERT_EQ(preToolUse.size(), 2u);
  EXPECT_EQ(preToolUse[0], (Json{{"matcher", "Bash"}, {"hooks", foreign["hooks"]}}));
  EXPECT_EQ(preToolUse[1], (Json{{"matcher", "Bash"}, {"hooks", Json::array()}, {"x-other", 1}}));
  EXPECT_EQ(installed["theme"], "dark");
  Json again = installed;
  EXPECT_FALSE(HookRules::installApprovalHook(again, own())); // idempotent, and known to be
  EXPECT_EQ(again, installed);
  // Anything besides the closing own group still counts as a change.
  const Json closing = HookRules::approvalGroup(own());
  for (const Json& extra : {Json{{"PreToolUse", legacyOnlyGroups()}}, Json{{"PreToolUse", Json::array()}},
                            Json{{"PermissionRequest", Json::array({closing})}}}) {
    Json document = {{"hooks", {{"PermissionRequest", Json::array({closing})}}}};
    for (const auto& [event, groups] : extra.items()) {
      Json& target = document["hooks"][event];
      target = target.is_null() ? groups : Json(Json::array({groups[0], closing}));
    }
    EXPECT_TRUE(HookRules::installApprovalHook(document, own())) << extra.dump();
  }
  Json completion = {};
  HookRules::installCompletionHooks(completion, HookCommand::completionCommand(kExecutable, false));
  completion["hooks"]["FinalStop"].push_back(Json{{"hooks", Json::array()}});
  EXPECT_TRUE(HookRules::installCompletionHooks(completion, HookCommand::completionCommand(kExecutable, false)));
  EXPECT_FALSE(HookRules::installCompletionHooks(completion, HookCommand::completionCommand(kExecutable, false)));

  Json legacyOnly = root;
  EXPECT_TRUE(HookRules::uninstallApprovalHooks(legacyOnly));
  Json nothingOwn = Json{{"hooks", {{"PermissionRequest", Json::array({foreign})}}}};
  EXPECT_FALSE(HookRules::uninstallApprovalHooks(nothingOwn));
  Json emptyEvent = Json{{"hooks", {{"PreToolUse", Json::array()}, {"X", Json::array()}}}};
  EXPECT_TRUE(HookRules::uninstallApprovalHooks(emptyEvent)); // an empty event array goes
  EXPECT_EQ(emptyEvent, (Json{{"hooks", {{"X", Json::array()}}}}));

  const Json removed = withoutApprovalHooks(installed);
  EXPECT_EQ(removed["hooks"]["PermissionRequest"], Json::array({foreign}));
  EXPECT_EQ(withoutApprovalHooks(withApprovalHook(Json{{"a", 1}}, own())), (Json{{"a", 1}}));
  // A foreign group that was empty before stays; only groups emptied by the removal go.
  const Json emptyForeign = {{"hooks", Json::array()}};
  EXPECT_EQ(withoutApprovalHooks(withApprovalHook(Json{{"hooks", {{"PermissionRequest", Json::array({emptyForeign})}}}},
                                                  own()))["hooks"]["PermissionRequest"],
            Json::array({emptyForeign}));
}

TEST(HookRulesTest, HandEditedOwnHooksStopEveryWriter) {
  const char* edited = "本应用的 hook 已被手动修改；为避免覆盖更改，操作已停止。";
  for (const Json& group :
       {Json{{"hooks", Json::array({hook(own(), 30)})}}, Json{{"hooks", Json::array({hook(own(), "60")})}},
        Json{{"matcher", "*"}, {"hooks", Json::array({hook(own())})}}, Json{{"hooks", Json::array({[] {
                                                                               Json h = hook(own());
                                                                               h["async"] = true;
                                                                               return h;
                                                                             }()})}}}) {
    const Json root = {{"hooks", {{"PermissionRequest", Json::array({group})}}}};
    EXPECT_EQ(failureOf([&] { withApprovalHook(root, own()); }), edited) << group.dump();
    EXPECT_EQ(failureOf([&] { withoutApprovalHooks(root); }), edited);
  }
  const Json wrongMatcher = {{"hooks", {{"PreToolUse", Json::array({{{"hooks", Json::array({hook(own())})}}})}}}};
  EXPECT_EQ(failureOf([&] { withoutApprovalHooks(wrongMatcher); }), edited);
  EXPECT_EQ(
      withApprovalHook(Json{{"hooks", {{"PermissionRequest", Json::array()}}}}, own())["hooks"]["PermissionRequest"]
          .size(),
      1u);
}

TEST(HookInstallerTest, InstallingTwiceChangesNothingAndBackupsHoldWhatWasRead) {
  TemporaryHome home;
  home.writeSettings("{}");
  const HookInstaller installer(fileSystem);
  const std::string firstBackup = installer.install(home.settings(), kExecutable, "workbuddy", false);
  EXPECT_EQ(readFile(firstBackup), "{}");
  const auto once = readFile(home.settings());
  EXPECT_EQ(parsed(once)["hooks"]["PermissionRequest"], Json::array({{{"hooks", Json::array({hook(own())})}}}));
  EXPECT_EQ(once->back(), '\n');
  EXPECT_EQ(once->find("\\/"), std::string::npos);

  struct stat before {};
  ASSERT_EQ(::stat(home.settings().c_str(), &before), 0);
  const std::string secondBackup = installer.install(home.settings(), kExecutable, "workbuddy", false);
  struct stat after {};
  ASSERT_EQ(::stat(home.settings().c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino); // not rewritten at all
  EXPECT_EQ(readFile(home.settings()), once);
  EXPECT_EQ(readFile(secondBackup), once);
  EXPECT_NE(secondBackup, firstBackup);

  installer.install(home.settings(), "/elsewhere/VantrelNotch", "workbuddy", false); // a moved app
  EXPECT_NE(readFile(home.settings())->find("/elsewhere/VantrelNotch"), std::string::npos);
  installer.uninstall(home.settings());
  EXPECT_EQ(readFile(home.settings()), "{}\n");

  EXPECT_EQ(failureOf([&] { installer.install(home.settings(), kExecutable, "workbuddy", true); }),
            "已停用逐命令拦截；仅支持 WorkBuddy真实权限请求。");
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

  home.writeSettings(R"({"hooks":{"PermissionRequest":[{"hooks":[{"type":"command","command":"x"}]}]}})");
  installer.installCompletion(home.settings(), kExecutable, false);
  installer.uninstallCompletion(home.settings());
  EXPECT_EQ(parsed(readFile(home.settings())),
            parseJson(R"({"hooks":{"PermissionRequest":[{"hooks":[{"type":"command","command":"x"}]}]}})"));
}

TEST(HookInstallerTest, InspectionClassifiesWhatItFinds) {
  using State = SettingsHookConfiguration::State;
  TemporaryHome home;
  const HookInstaller installer(fileSystem);
  auto inspect = [&](const std::optional<std::string>& executable = kExecutable) {
    return installer.inspectApprovalHooks(TargetApplicationProfile::workbuddy, home.settings(), executable);
  };
  EXPECT_EQ(inspect().state, State::missing);
  auto write = [&](const Json& hooks) { home.writeSettings(Json{{"hooks", hooks}}.dump()); };

  const Json exact = Json::array({HookRules::approvalGroup(own())});
  const Json legacy = Json::array({{{"matcher", "Bash"}, {"hooks", Json::array({hook(own())})}}});
  write({{"PermissionRequest", exact}, {"PreToolUse", legacy}});
  EXPECT_EQ(inspect(), (SettingsHookConfiguration{State::installed,
                                                  "PermissionRequest 命令与当前应用路径、所选版本完全匹配。", true}));
  write({{"PreToolUse", legacy}});
  EXPECT_EQ(inspect(),
            (SettingsHookConfiguration{State::review,
                                       "发现本应用 Hook，但缺少完整的 PermissionRequest 接入，请检查或更新。", true}));
  write({{"PermissionRequest", Json::array({{{"hooks", Json::array({hook(own(), 30)})}}})}});
  EXPECT_EQ(inspect().state, State::review);
  write({{"PermissionRequest", Json::array({HookRules::approvalGroup(own("workbuddyAI"))})}});
  EXPECT_EQ(inspect().state, State::review); // another profile's hook in this file
  write({{"PermissionRequest", Json::array({HookRules::approvalGroup(own("workbuddy", "/old/VantrelNotch"))})}});
  EXPECT_EQ(inspect().state, State::reconnect);
  write({{"PermissionRequest", exact}});
  EXPECT_EQ(inspect(std::nullopt).state, State::review);

  home.writeSettings(R"({"hooks":{"E":[{"hooks":[{"type":"command"}]}]}})");
  EXPECT_EQ(inspect(), (SettingsHookConfiguration{
                           State::invalid, "Command hook 缺少字符串 command。 仅读取，未修改配置。", std::nullopt}));
  home.writeSettings("[]");
  EXPECT_EQ(inspect().detail, "settings.json 必须是 JSON 对象。 仅读取，未修改配置。");
}

TEST(TargetApplicationProfileTest, NamesAndPaths) {
  EXPECT_EQ(profileFromCommandLineName("target"), TargetApplicationProfile::workbuddy);
  EXPECT_EQ(profileFromCommandLineName("workbuddy"), TargetApplicationProfile::workbuddy);
  EXPECT_EQ(profileFromCommandLineName("targetAI"), TargetApplicationProfile::workbuddyAI);
  EXPECT_FALSE(profileFromCommandLineName("Target"));
  EXPECT_FALSE(profileFromCommandLineName(""));
  EXPECT_FALSE(profileFromRawValue("WorkbuddyAI"));
  EXPECT_EQ(settingsURL(TargetApplicationProfile::workbuddyAI, "/Users/me"), "/Users/me/.workbuddy-ai/settings.json");
  EXPECT_EQ(displayName(TargetApplicationProfile::workbuddyAI), "WorkBuddy（AI 版）");
  EXPECT_EQ(bundleCandidates("workbuddyAI").front(), "/Applications/WorkBuddy AI.app");
  EXPECT_EQ(bundleCandidates("other").front(), "/Applications/WorkBuddy.app");
}

} // namespace
} // namespace notch
