#include <gtest/gtest.h>

#include "core/notch/ApprovalPresentation.h"
#include "core/text/PublicText.h"

namespace notch {
namespace {

ApprovalPresentation present(std::string tool, std::string toolInput, std::string event = "PermissionRequest",
                             std::string cwd = "/Users/me/project") {
  return ApprovalPresentation(ApprovalRequest{.toolName = std::move(tool),
                                              .toolInputJSON = std::move(toolInput),
                                              .cwd = std::move(cwd),
                                              .eventName = std::move(event)});
}

TEST(ApprovalPresentationTest, TerminalFormShowsTheCommandAsIsAndOtherwiseTheRawInput) {
  const auto plain = present("Bash", R"({"command":"  rm -rf /tmp/x \n","description":"清理临时文件"})");
  EXPECT_EQ(plain.title, "执行终端命令");
  EXPECT_EQ(plain.primaryText, "  rm -rf /tmp/x \n");
  EXPECT_EQ(plain.description, "清理临时文件");
  EXPECT_FALSE(plain.hasAdditionalParameters);
  EXPECT_TRUE(present("Bash", R"({"command":"ls","timeout":5})").hasAdditionalParameters);
  const auto native = present("原生安全确认", R"({"command":"删除 3 个文件","extra":1})", "NativeApproval");
  EXPECT_EQ(native.title + native.primaryText, "确认批量删除删除 3 个文件");
  EXPECT_TRUE(native.hasAdditionalParameters);

  const std::string emptyCommand = "{\n  \"command\" : \"\"\n}";
  const auto bash = present("Bash", emptyCommand);
  EXPECT_EQ(bash.primaryText, emptyCommand);
  EXPECT_FALSE(bash.hasAdditionalParameters);
  // Only Bash with a non-empty string command, and native cards, show the terminal form.
  // clang-format off
  for (const auto& [tool, input, title] : {std::tuple{"Bash", emptyCommand, "使用 Bash"}, {"Bash", R"({"command":7})", "使用 Bash"},
       {"Bash", R"({"cmd":"ls"})", "使用 Bash"}, {"Write", R"({"command":"ls"})", "写入文件"}, {"Read", "{}", "读取文件"},
       {"Edit", "{}", "修改文件"}, {"WebFetch", "{}", "访问网页"}, {"read", "{}", "使用 read"}}) {
    // clang-format on
    EXPECT_EQ(present(tool, input).title, title) << tool << input;
  }
  for (const std::string malformed : {"not json", R"(["command","ls"])", R"({"description":)"}) {
    EXPECT_TRUE(present("Bash", malformed).primaryText == malformed && !present("Bash", malformed).description);
  }
  EXPECT_FALSE(present("Bash", R"({"command":"ls","description":""})").description ||
               present("Bash", R"({"command":"ls","description":3})").description);
  EXPECT_EQ(present("Write", R"({"description":"写入"})").description, "写入");
}

TEST(ApprovalPresentationTest, ProjectIsTheLastComponentOfTheWorkingDirectory) {
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
