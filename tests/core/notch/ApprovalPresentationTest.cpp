#include <gtest/gtest.h>

#include "core/notch/ApprovalPresentation.h"
#include "core/text/PublicText.h"

namespace notch {
namespace {

ApprovalPresentation present(std::string tool, std::string input, std::string event = "PermissionRequest",
                             std::string cwd = "/") {
  return ApprovalPresentation(
      ApprovalRequest{.toolName = tool, .toolInputJSON = input, .cwd = cwd, .eventName = event});
}

// Only Bash with a non-empty string command, and native cards, show the terminal form; others show the raw input.
TEST(ApprovalPresentationTest, ShowsTheCommandAsIsOrTheRawInputAndTheProject) {
  const std::string empty = "{\n  \"command\" : \"\",\"x\":1\n}";
  // Each row: tool, input, event, then title|primary text|description ("-": none), "|+" for more parameters.
  // clang-format off
  const std::tuple<std::string, std::string, std::string, std::string> rows[] = {
      {"Bash", R"({"command":"  rm -rf /tmp/x \n","description":"清理临时文件"})", "", "执行终端命令|  rm -rf /tmp/x \n|清理临时文件"},
      {"Bash", R"({"command":"ls","timeout":5})", "", "执行终端命令|ls|-|+"}, {"Bash", empty, "", "使用 Bash|" + empty + "|-"},
      {"原生安全确认", R"({"command":"删除 3 个文件","extra":1})", "NativeApproval", "确认批量删除|删除 3 个文件|-|+"},
      {"Bash", R"({"command":7})", "", R"(使用 Bash|{"command":7}|-)"}, {"Bash", R"({"cmd":"ls"})", "", R"(使用 Bash|{"cmd":"ls"}|-)"},
      {"Write", R"({"command":"ls","description":"写"})", "", R"(写入文件|{"command":"ls","description":"写"}|写)"},
      {"Read", "{}", "", "读取文件|{}|-"}, {"Edit", "{}", "", "修改文件|{}|-"}, {"WebFetch", "{}", "", "访问网页|{}|-"},
      {"read", "{}", "", "使用 read|{}|-"}, {"Bash", "not json", "", "使用 Bash|not json|-"},
      {"Bash", R"(["command","ls"])", "", R"(使用 Bash|["command","ls"]|-)"},
      {"Bash", R"({"description":)", "", R"(使用 Bash|{"description":|-)"},
      {"Bash", R"({"command":"ls","description":""})", "", "执行终端命令|ls|-"},
      {"Bash", R"({"command":"ls","description":3})", "", "执行终端命令|ls|-"}};
  // clang-format on
  for (const auto& [tool, input, event, expected] : rows) {
    const auto shown = present(tool, input, event.empty() ? "PermissionRequest" : event);
    EXPECT_EQ(shown.title + "|" + shown.primaryText + "|" + shown.description.value_or("-") +
                  (shown.hasAdditionalParameters ? "|+" : ""),
              expected);
  }
  // The project is the last component of the working directory.
  // clang-format off
  for (const auto& [cwd, project] : {std::pair{"  /Users/me/工程/ \n", "工程"}, {"/Users/me/app///", "app"}, {"/", "/"},
       {" // ", "/"}, {"relative", "relative"}, {"   ", "未提供目录"}, {"", "未提供目录"}}) {
    // clang-format on
    EXPECT_EQ(present("Read", "{}", "PermissionRequest", cwd).project, project) << cwd;
  }
}

TEST(PublicTextTest, NormalisesEveryFormOfBothNames) {
  for (const char* old :
       {"vantrel notch", "VantrelNotch", "VANTREL-NOTCH", "vAnTrElnOtCh", "VT Dozer", "vt dozer", "Vt DoZeR"}) {
    EXPECT_EQ(PublicText::administrative(std::string("by ") + old + "!"), "by Vantrel Dozer!") << old;
  }
  EXPECT_EQ(PublicText::administrative("workbuddy AI and WORKBUDDY-ai"), "WorkBuddy AI and WorkBuddy-ai");
  EXPECT_EQ(PublicText::administrative("vantrel  notch"), "vantrel  notch"); // two spaces: not a form of the name
  EXPECT_EQ(PublicText::administrative("VantrelNotch hooks in ~/.workbuddy/settings.json"),
            "Vantrel Dozer hooks in ~/.WorkBuddy/settings.json");
}

} // namespace
} // namespace notch
