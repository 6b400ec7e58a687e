// Hook configuration as a user runs it: the real VantrelNotch in a temporary
// home directory, and the WorkBuddy stand-in firing events through whatever
// the configuration wrote.

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>

#include "core/bridge/ApprovalServer.h"
#include "core/bridge/BridgeSocket.h"
#include "core/config/ConfigTestSupport.h"
#include "support/ChildProcess.h"

namespace notch {
namespace {

using testing::ChildOptions;
using testing::ChildResult;
using testing::readFile;
using testing::summary;

class ConfigurationEndToEnd : public ::testing::Test {
protected:
  ChildResult run(const char* program, const std::vector<std::string>& arguments, ChildOptions options = {}) const {
    options.environment.push_back("HOME=" + home.path());
    return testing::runChild(program, arguments, options);
  }
  ChildResult notch(const std::vector<std::string>& arguments, ChildOptions options = {}) const {
    return run(NOTCH_EXECUTABLE_PATH, arguments, std::move(options));
  }
  std::string askWorkBuddy() const { return run(STANDIN_EXECUTABLE_PATH, {"PermissionRequest"}).standardOutput; }

  testing::TemporaryHome home;
};

TEST_F(ConfigurationEndToEnd, WorkBuddyAsksTheNotchThroughTheInstalledHook) {
  FileDescriptor probe = makeBridgeSocket();
  if (connectBridgeSocket(probe.get(), bridgeSocketPath(bridgeDirectory())) == 0) {
    GTEST_SKIP() << "a running Vantrel Dozer serves the bridge; quit it to run this test";
  }
  const ChildResult configured = notch({"--configure", "target", "--apply"});
  ASSERT_EQ(configured.exitStatus, 0) << configured.standardError;
  EXPECT_TRUE(configured.standardOutput.ends_with(
      "Installed. Restart WorkBuddy to load hooks. 备份已安全保存（内部兼容路径不显示）\n"));
  EXPECT_EQ(askWorkBuddy(), "ask\n"); // no app running
  std::atomic<Decision> answer = Decision::allow;
  const SystemClock clock;
  ApprovalServer server(bridgeDirectory(), clock);
  server.start([&](const ApprovalRequest& request) { server.decide(request.id, answer.load()); }, nullptr);
  std::string answers;
  for (const Decision decision : {Decision::allow, Decision::deny, Decision::passthrough}) {
    answer = decision;
    answers += askWorkBuddy();
  }
  EXPECT_EQ(answers, "allow\ndeny\nask\n");
  ASSERT_EQ(notch({"--configure", "target", "--remove"}).exitStatus, 0);
  EXPECT_EQ(askWorkBuddy(), "ask\n");
}

TEST_F(ConfigurationEndToEnd, CommandLineUsageAndDryRuns) {
  const std::string usage = "1||Usage: VantrelNotch --configure target|targetAI [--apply|--remove]\n";
  const std::pair<std::vector<std::string>, std::string> rows[] = {
      {{"--configure"}, usage},
      {{"--configure", "Target"}, usage},
      {{"--configure", "--apply", "target"}, usage},
      {{"--configure-completion", "--apply", "x"}, "1||Usage: --configure-completion --apply|--remove\n"},
      {{"--configure", "target", "--remove", "--apply"}, "1||"},
      {{"--configure", "target", "--apply", "--compat-bash"},
       "1||Configuration failed: 已停用逐命令拦截；仅支持 WorkBuddy真实权限请求。\n"},
      {{"--configure-completion", "--remove"}, "1||Completion configuration failed: 配置文件不存在。\n"},
      {{"--configure-completion", "--apply"},
       "0|Installed independent turn-end notification hooks; existing approvals preserved.\n|"},
  };
  for (const auto& [arguments, expected] : rows) {
    EXPECT_EQ(summary(notch(arguments)), expected) << arguments.back();
  }
  EXPECT_TRUE(
      summary(notch({"--configure", "targetAI"})).starts_with("0|目标配置：WorkBuddy（AI 版） · settings.json\n"));
  EXPECT_FALSE(std::filesystem::exists(home.path() + "/.workbuddy-ai")); // the dry run wrote nothing
}

// The status tells what happened to the settings file, whether or not
// anybody reads the result line.
TEST_F(ConfigurationEndToEnd, TheStatusReflectsTheOperationWhenNobodyReads) {
  const ChildOptions readerGone{.closeStandardOutputAtOnce = true};
  for (const std::vector<std::string>& succeeding : {std::vector<std::string>{"--configure", "target", "--apply"},
                                                     {"--configure-completion", "--apply"},
                                                     {"--configure-completion", "--remove"},
                                                     {"--configure", "target", "--remove"}}) {
    EXPECT_EQ(summary(notch(succeeding, readerGone)), "0||") << succeeding[1];
  }
  EXPECT_EQ(summary(notch({"--configure", "target"}, readerGone)),
            "1||Configuration failed: the preview could not be written to standard output.\n");

  // Whatever follows a NUL byte is refused with the file, not dropped.
  using namespace std::string_literals;
  const std::string withNul = "{\"model\":\"m\"}\0{\"env\":{\"TOKEN\":\"keep-me\"}}"s;
  home.writeSettings(withNul);
  EXPECT_EQ(summary(notch({"--configure", "target", "--apply"}, readerGone)),
            "1||Configuration failed: 配置必须是合法 JSON 对象；未修改文件。\n");
  EXPECT_EQ(readFile(home.settings()), withNul);
}

} // namespace
} // namespace notch
