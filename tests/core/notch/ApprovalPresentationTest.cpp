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

TEST(ApprovalPresentationTest, TerminalFormShowsTheCommandAsIs) {
  const auto plain = present("Bash", R"({"command":"  rm -rf /tmp/x \n","description":"清理临时文件"})");
  EXPECT_EQ(plain.title, "执行终端命令");
  EXPECT_EQ(plain.primaryText, "  rm -rf /tmp/x \n");
  EXPECT_EQ(plain.description, "清理临时文件");
  EXPECT_FALSE(plain.hasAdditionalParameters);
  EXPECT_EQ(plain.project, "project");

  EXPECT_TRUE(present("Bash", R"({"command":"ls","timeout":5})").hasAdditionalParameters);

  const auto native = present("原生安全确认", R"({"command":"删除 3 个文件","extra":1})", "NativeApproval");
  EXPECT_EQ(native.title, "确认批量删除");
  EXPECT_EQ(native.primaryText, "删除 3 个文件");
  EXPECT_TRUE(native.hasAdditionalParameters);
}

TEST(ApprovalPresentationTest, GenericFormShowsTheRawInput) {
  const std::string emptyCommand = "{\n  \"command\" : \"\"\n}";
  const auto bash = present("Bash", emptyCommand);
  EXPECT_EQ(bash.title, "使用 Bash");
  EXPECT_EQ(bash.primaryText, emptyCommand);
  EXPECT_FALSE(bash.hasAdditionalParameters);
  EXPECT_EQ(present("Bash", R"({"command":7})").title, "使用 Bash");
  EXPECT_EQ(present("Bash", R"({"cmd":"ls"})").title, "使用 Bash");
  EXPECT_EQ(present("Write", R"({"command":"ls"})").title, "写入文件"); // only Bash and native cards run commands

  EXPECT_EQ(present("Read", "{}").title, "读取文件");
  EXPECT_EQ(present("Edit", "{}").title, "修改文件");
  EXPECT_EQ(present("WebFetch", "{}").title, "访问网页");
  EXPECT_EQ(present("read", "{}").title, "使用 read");

  for (const std::string malformed : {"not json", R"(["command","ls"])", R"({"description":)"}) {
    const auto fallback = present("Bash", malformed);
    EXPECT_EQ(fallback.primaryText, malformed);
    EXPECT_FALSE(fallback.description.has_value());
  }
  EXPECT_FALSE(present("Bash", R"({"command":"ls","description":""})").description.has_value());
  EXPECT_FALSE(present("Bash", R"({"command":"ls","description":3})").description.has_value());
  EXPECT_EQ(present("Write", R"({"description":"写入"})").description, "写入");
}

TEST(ApprovalPresentationTest, ProjectIsTheLastComponentOfTheWorkingDirectory) {
  auto project = [](std::string cwd) { return present("Read", "{}", "PermissionRequest", std::move(cwd)).project; };
  EXPECT_EQ(project("  /Users/me/工程/ \n"), "工程");
  EXPECT_EQ(project("/Users/me/app///"), "app");
  EXPECT_EQ(project("/"), "/");
  EXPECT_EQ(project(" // "), "/");
  EXPECT_EQ(project("relative"), "relative");
  EXPECT_EQ(project("   "), "未提供目录");
  EXPECT_EQ(project(""), "未提供目录");
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
  EXPECT_EQ(PublicText::administrative(""), "");
}

} // namespace
} // namespace notch
