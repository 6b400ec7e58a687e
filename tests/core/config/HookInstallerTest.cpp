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
using State = SettingsHookConfiguration::State;

const SystemFileSystem fileSystem;
const HookInstaller installer(fileSystem);
const std::string kEdited = "本应用的 hook 已被手动修改；为避免覆盖更改，操作已停止。";

std::string own(std::string_view source = "workbuddy", const std::string& executable = kExecutable) {
  return HookCommand::approvalCommand(executable, source);
}
Json hook(const std::string& command, Json timeout = 60) {
  return Json{{"type", "command"}, {"command", command}, {"timeout", std::move(timeout)}};
}
Json group(const Json& hook, const char* matcher = nullptr) {
  Json result = {{"hooks", Json::array({hook})}};
  if (matcher) {
    result["matcher"] = matcher;
  }
  return result;
}
Json withApprovalHook(Json root) {
  HookRules::installApprovalHook(root, own());
  return root;
}
Json withoutApprovalHooks(Json root) {
  HookRules::uninstallApprovalHooks(root);
  return root;
}
Json on(const char* event, Json groups) { return Json{{"hooks", {{event, std::move(groups)}}}}; }
Json parsed(const std::optional<std::string>& text) { return parseJson(text.value()).value(); }

TEST(HookCommandTest, QuotesAndRecognisesOnlyTheCanonicalForm) {
  const std::string tail = " '--hook' '--source' 'workbuddy' '--owner-marker' 'vantrel-notch-v1'";
  EXPECT_EQ(own(), "'/Applications/Vantrel Dozer.app/Contents/MacOS/VantrelNotch'" + tail);
  const std::string quoted = own("workbuddyAI", "/Users/o'neil/VantrelNotch");
  EXPECT_NE(quoted.find("'/Users/o'\\''neil/VantrelNotch'"), std::string::npos);
  EXPECT_TRUE(HookCommand::isOwnCommand(quoted, "--hook", HookCommand::ownerMarker) &&
              HookCommand::isOwnCommand(quoted, "--hook", HookCommand::ownerMarker, "workbuddyAI"));
  EXPECT_FALSE(HookCommand::isOwnCommand(quoted, "--hook", HookCommand::ownerMarker, "workbuddy"));
  const std::string base = "'/x'" + tail;
  const auto with = [&](const std::string& from, const std::string& to) {
    return std::string(base).replace(base.find(from), from.size(), to);
  };
  for (const std::string& other :
       {with("'--hook'", "--hook"), with(" ", "  "), with("'/x'", "'relative'"), with("workbuddy", "WorkBuddy"),
        with("v1", "v2"), own() + " ", own() + " 'extra'", std::string("'"), std::string()}) {
    EXPECT_FALSE(HookCommand::isOwnCommand(other, "--hook", HookCommand::ownerMarker)) << other;
  }
  for (const auto& [source, executable] :
       {std::pair{"workbuddy", "rel/VantrelNotch"}, {"target", "/x"}, {"", "/a\nb"}}) {
    EXPECT_EQ(failureOf([&] { own(source, executable); }), "需要绝对可执行文件路径和有效的 WorkBuddy来源。");
  }
}

TEST(HookRulesTest, ValidationCoversEveryEntry) {
  const std::string invalid = "配置必须是合法 JSON 对象；未修改文件。", groups = "Hook 事件必须包含分组数组。";
  // clang-format off
  const std::pair<const char*, std::string> cases[] = {
      {"[]", invalid}, {"{\"a\":", invalid}, {R"({"hooks":[]})", "hooks 必须是 JSON 对象。"},
      {R"({"hooks":{"E":{}}})", groups}, {R"({"hooks":{"E":[1]}})", groups},
      {R"({"hooks":{"E":[{"matcher":1,"hooks":[]}]}})", "Hook matcher 必须是字符串。"},
      {R"({"hooks":{"E":[{"matcher":"x"}]}})", "Hook 分组必须包含 hooks 数组。"},
      {R"({"hooks":{"E":[{"hooks":[{"type":""}]}]}})", "Hook type 必须是字符串。"},
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

TEST(HookRulesTest, InstallKeepsForeignEntriesAndRemovesTheLegacyInterception) {
  const Json audit = {{"type", "command"}, {"command", "audit"}};
  const Json foreign = group(audit), legacy = group(hook(own()), "Bash");
  Json twoInOne = legacy, other = legacy;
  twoInOne["hooks"].push_back(audit);
  other["x-other"] = 1;
  const Json root = {{"theme", "dark"},
                     {"hooks",
                      {{"PermissionRequest", Json::array({foreign, group(hook(own("workbuddyAI")))})},
                       {"PreToolUse", Json::array({twoInOne, other, legacy})}}}};
  const Json installed = withApprovalHook(root);
  const Json closing = HookRules::approvalGroup(own());
  EXPECT_EQ(closing, group(hook(own())));
  other["hooks"] = Json::array();
  EXPECT_EQ(installed, (Json{{"theme", "dark"},
                             {"hooks",
                              {{"PermissionRequest", Json::array({foreign, closing})},
                               {"PreToolUse", Json::array({group(audit, "Bash"), other})}}}}));
  Json again = installed;
  EXPECT_FALSE(HookRules::installApprovalHook(again, own())); // idempotent, and known to be
  EXPECT_EQ(again, installed);
  // Anything besides the closing own group still counts as a change.
  for (Json document : {on("PreToolUse", Json::array()), on("PreToolUse", Json::array({legacy})), Json()}) {
    document["hooks"]["PermissionRequest"] =
        document.is_null() ? Json::array({closing, closing}) : Json::array({closing});
    EXPECT_TRUE(HookRules::installApprovalHook(document, own())) << document.dump();
  }
  Json completion = {};
  const std::string finalStop = HookCommand::completionCommand(kExecutable, false);
  HookRules::installCompletionHooks(completion, finalStop);
  completion["hooks"]["FinalStop"].push_back(Json{{"hooks", Json::array()}});
  EXPECT_TRUE(HookRules::installCompletionHooks(completion, finalStop));
  EXPECT_FALSE(HookRules::installCompletionHooks(completion, finalStop));

  Json nothingOwn = on("PermissionRequest", Json::array({foreign}));
  EXPECT_FALSE(HookRules::uninstallApprovalHooks(nothingOwn));
  Json emptyEvent = Json{{"hooks", {{"PreToolUse", Json::array()}, {"X", Json::array()}}}};
  EXPECT_TRUE(HookRules::uninstallApprovalHooks(emptyEvent)); // an empty event array goes
  EXPECT_EQ(emptyEvent, on("X", Json::array()));
  EXPECT_EQ(withoutApprovalHooks(installed)["hooks"]["PermissionRequest"], Json::array({foreign}));
  EXPECT_EQ(withoutApprovalHooks(withApprovalHook(Json{{"a", 1}})), (Json{{"a", 1}}));
  // A foreign group that was empty before stays; only groups emptied by the removal go.
  const Json emptyForeign = on("PermissionRequest", Json::array({Json{{"hooks", Json::array()}}}));
  EXPECT_EQ(withoutApprovalHooks(withApprovalHook(emptyForeign)), emptyForeign);

  // Hand-edited own hooks stop every writer.
  Json async = hook(own());
  async["async"] = true;
  for (const Json& edited : {group(hook(own(), 30)), group(async), group(hook(own(), "60")), group(hook(own()), "*")}) {
    const Json document = on("PermissionRequest", Json::array({edited}));
    EXPECT_EQ(failureOf([&] { withApprovalHook(document); }), kEdited) << edited.dump();
    EXPECT_EQ(failureOf([&] { withoutApprovalHooks(document); }), kEdited);
  }
  EXPECT_EQ(failureOf([&] { withoutApprovalHooks(on("PreToolUse", Json::array({closing}))); }), kEdited);
}

TEST(HookInstallerTest, InstallingTwiceChangesNothingAndBackupsHoldWhatWasRead) {
  testing::TemporaryHome home;
  home.writeSettings("{}");
  const std::string firstBackup = installer.install(home.settings(), kExecutable, "workbuddy", false);
  EXPECT_EQ(readFile(firstBackup), "{}");
  const auto once = readFile(home.settings());
  EXPECT_EQ(parsed(once), on("PermissionRequest", Json::array({HookRules::approvalGroup(own())})));
  EXPECT_TRUE(once->ends_with("\n") && once->find("\\/") == std::string::npos);
  struct stat before {
  }, after{};
  ASSERT_EQ(::stat(home.settings().c_str(), &before), 0);
  const std::string secondBackup = installer.install(home.settings(), kExecutable, "workbuddy", false);
  ASSERT_EQ(::stat(home.settings().c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino); // not rewritten at all
  EXPECT_TRUE(readFile(secondBackup) == once && secondBackup != firstBackup);
  installer.install(home.settings(), "/elsewhere/VantrelNotch", "workbuddy", false); // a moved app
  EXPECT_NE(readFile(home.settings())->find("/elsewhere/VantrelNotch"), std::string::npos);
  installer.uninstall(home.settings());
  EXPECT_EQ(readFile(home.settings()), "{}\n");
}

TEST(HookInstallerTest, CompletionHooksAreCountedExactly) {
  testing::TemporaryHome home;
  const auto installed = [&](const std::string& executable = kExecutable, bool probe = false) {
    return installer.completionInstalled(home.settings(), executable, probe);
  };
  EXPECT_FALSE(installed());
  installer.installCompletion(home.settings(), kExecutable, false);
  EXPECT_TRUE(installed());
  EXPECT_FALSE(installed(kExecutable, true) || installed("/other/VantrelNotch"));
  Json root = parsed(readFile(home.settings()));
  root["hooks"]["FinalStop"].push_back(root["hooks"]["FinalStop"][0]); // two own hooks in one event
  home.writeSettings(root.dump());
  EXPECT_FALSE(installed());
  root["hooks"]["FinalStop"][0]["hooks"][0]["timeout"] = 5;
  home.writeSettings(root.dump());
  const char* edited = "结束提醒 Hook 的选项已被修改，请先手动核对；未覆盖配置。";
  EXPECT_EQ(failureOf([&] { installed(); }), edited);
  EXPECT_EQ(failureOf([&] { installer.uninstallCompletion(home.settings()); }), edited);

  const std::string foreign = R"({"hooks":{"PermissionRequest":[{"hooks":[{"type":"command","command":"x"}]}]}})";
  home.writeSettings(foreign);
  installer.installCompletion(home.settings(), kExecutable, false);
  installer.uninstallCompletion(home.settings());
  EXPECT_EQ(parsed(readFile(home.settings())), parseJson(foreign));
}

TEST(HookInstallerTest, InspectionClassifiesWhatItFinds) {
  testing::TemporaryHome home;
  const auto inspect = [&](const std::optional<std::string>& executable = kExecutable) {
    return installer.inspectApprovalHooks(TargetApplicationProfile::workbuddy, home.settings(), executable);
  };
  EXPECT_EQ(inspect().state, State::missing);
  const auto approval = [](const std::string& command) { return Json::array({HookRules::approvalGroup(command)}); };
  const Json legacy = Json::array({group(hook(own()), "Bash")});
  // clang-format off
  const std::pair<Json, SettingsHookConfiguration> cases[] = {
      {{{"PermissionRequest", approval(own())}, {"PreToolUse", legacy}}, {State::installed, "PermissionRequest 命令与当前应用路径、所选版本完全匹配。", true}},
      {{{"PreToolUse", legacy}}, {State::review, "发现本应用 Hook，但缺少完整的 PermissionRequest 接入，请检查或更新。", true}},
      {{{"PermissionRequest", Json::array({group(hook(own(), 30))})}}, {State::review, "", {}}},
      {{{"PermissionRequest", approval(own("workbuddyAI"))}}, {State::review, "", {}}}, // another profile's hook
      {{{"PermissionRequest", approval(own("workbuddy", "/old/VantrelNotch"))}}, {State::reconnect, "", {}}},
      {parseJson(R"({"E":[{"hooks":[{"type":"command"}]}]})").value(), {State::invalid, "Command hook 缺少字符串 command。 仅读取，未修改配置。", std::nullopt}}};
  // clang-format on
  for (const auto& [hooks, expected] : cases) {
    home.writeSettings(Json{{"hooks", hooks}}.dump());
    const SettingsHookConfiguration found = inspect();
    EXPECT_EQ(found.state, expected.state) << hooks.dump();
    EXPECT_TRUE(expected.detail.empty() || found == expected) << hooks.dump();
  }
  home.writeSettings(on("PermissionRequest", approval(own())).dump());
  EXPECT_EQ(inspect(std::nullopt).state, State::review);
  home.writeSettings("[]");
  EXPECT_EQ(inspect().detail, "settings.json 必须是 JSON 对象。 仅读取，未修改配置。");
  EXPECT_EQ(profileFromCommandLineName("workbuddy"), TargetApplicationProfile::workbuddy); // the raw name works too
}

} // namespace
} // namespace notch
