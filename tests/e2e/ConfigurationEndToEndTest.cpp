// Hook configuration as a user runs it: the real VantrelNotch in a temporary
// home directory, and the WorkBuddy stand-in firing events through whatever
// the configuration wrote.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <random>
#include <sys/stat.h>

#include "core/bridge/ApprovalServer.h"
#include "core/bridge/BridgeSocket.h"
#include "core/config/ConfigTestSupport.h"
#include "support/ChildProcess.h"
#include "support/Json.h"

namespace notch {
namespace {

using testing::ChildOptions;
using testing::ChildResult;
using testing::readFile;
using testing::runChild;
using testing::TemporaryHome;

class ConfigurationEndToEnd : public ::testing::Test {
protected:
  ChildResult notch(const std::vector<std::string>& arguments, ChildOptions options = {}) const {
    options.environment.push_back("HOME=" + home.path());
    return runChild(NOTCH_EXECUTABLE_PATH, arguments, options);
  }

  ChildResult standIn(const std::string& event) const {
    ChildOptions options;
    options.environment.push_back("HOME=" + home.path());
    return runChild(STANDIN_EXECUTABLE_PATH, {event}, options);
  }

  TemporaryHome home;
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

  EXPECT_EQ(standIn("PermissionRequest").standardOutput, "ask\n"); // no app running
  std::atomic<Decision> answer = Decision::allow;
  const SystemClock clock;
  ApprovalServer server(bridgeDirectory(), clock);
  server.start([&](const ApprovalRequest& request) { server.decide(request.id, answer.load()); }, nullptr);
  EXPECT_EQ(standIn("PermissionRequest").standardOutput, "allow\n");
  answer = Decision::deny;
  EXPECT_EQ(standIn("PermissionRequest").standardOutput, "deny\n");
  answer = Decision::passthrough;
  EXPECT_EQ(standIn("PermissionRequest").standardOutput, "ask\n");
  server.stop();

  ASSERT_EQ(notch({"--configure", "target", "--remove"}).exitStatus, 0);
  EXPECT_EQ(standIn("PermissionRequest").standardOutput, "ask\n");
}

TEST_F(ConfigurationEndToEnd, CommandLineUsageAndDryRuns) {
  const std::string usage = "Usage: VantrelNotch --configure target|targetAI [--apply|--remove]\n";
  struct Row {
    std::vector<std::string> arguments;
    int status;
    std::string outputStart;
    std::string error;
  };
  const Row rows[] = {
      {{"--configure"}, 1, "", usage},
      {{"--configure", "Target"}, 1, "", usage},
      {{"--configure", "--apply", "target"}, 1, "", usage},
      {{"--configure-completion", "--apply", "x"}, 1, "", "Usage: --configure-completion --apply|--remove\n"},
      {{"--configure", "target", "--remove", "--apply"}, 1, "", ""},
      {{"--configure", "target", "--apply", "--compat-bash"},
       1,
       "",
       "Configuration failed: 已停用逐命令拦截；仅支持 WorkBuddy真实权限请求。\n"},
      {{"--configure", "targetAI"}, 0, "目标配置：WorkBuddy（AI 版） · settings.json\n", ""},
      {{"--configure-completion", "--remove"}, 1, "", "Completion configuration failed: 配置文件不存在。\n"},
      {{"--configure-completion", "--apply"},
       0,
       "Installed independent turn-end notification hooks; existing approvals preserved.\n",
       ""},
  };
  for (const Row& row : rows) {
    const ChildResult result = notch(row.arguments);
    EXPECT_EQ(result.exitStatus, row.status) << row.arguments.back();
    EXPECT_EQ(result.standardOutput.substr(0, row.outputStart.size()), row.outputStart) << row.arguments.back();
    EXPECT_EQ(result.standardOutput.empty(), row.outputStart.empty()) << row.arguments.back();
    EXPECT_EQ(result.standardError, row.error) << row.arguments.back();
  }
  struct stat status {};
  EXPECT_NE(::stat((home.path() + "/.workbuddy-ai").c_str(), &status), 0); // the dry run wrote nothing
}

// The status tells what happened to the settings file, whether or not
// anybody reads the result line.
TEST_F(ConfigurationEndToEnd, TheStatusReflectsTheOperationWhenNobodyReads) {
  ChildOptions readerGone;
  readerGone.closeStandardOutputAtOnce = true;
  for (const std::vector<std::string>& succeeding : {std::vector<std::string>{"--configure", "target", "--apply"},
                                                     {"--configure-completion", "--apply"},
                                                     {"--configure-completion", "--remove"},
                                                     {"--configure", "target", "--remove"}}) {
    const ChildResult result = notch(succeeding, readerGone);
    EXPECT_EQ(result.signal, 0) << succeeding[1];
    EXPECT_EQ(result.exitStatus, 0) << succeeding[1];
  }
  const ChildResult dryRun = notch({"--configure", "target"}, readerGone);
  EXPECT_EQ(dryRun.exitStatus, 1);
  EXPECT_EQ(dryRun.standardError, "Configuration failed: the preview could not be written to standard output.\n");

  // Whatever follows a NUL byte is refused with the file, not dropped.
  using namespace std::string_literals;
  const std::string withNul = "{\"model\":\"m\"}\0{\"env\":{\"TOKEN\":\"keep-me\"}}"s;
  home.writeSettings(withNul);
  const ChildResult refused = notch({"--configure", "target", "--apply"}, readerGone);
  EXPECT_EQ(refused.exitStatus, 1);
  EXPECT_EQ(refused.standardError, "Configuration failed: 配置必须是合法 JSON 对象；未修改文件。\n");
  EXPECT_EQ(readFile(home.settings()), withNul);
}

// SIGKILL at random moments of real installs and removals: the settings file
// always holds the old or the new content, never anything else, and the next
// run is never blocked.
TEST_F(ConfigurationEndToEnd, KillsAtRandomMomentsNeverCorruptTheFile) {
  const std::string foreign = R"({"hooks":{"PermissionRequest":[{"hooks":[{"type":"command","command":"audit"}]}]},)"
                              R"("theme":"dark"})";
  constexpr int kRuns = 40;
  std::mt19937 random(77);
  for (const bool startMissing : {false, true}) {
    if (startMissing) {
      ::unlink(home.settings().c_str());
    } else {
      home.writeSettings(foreign);
    }
    const auto original = readFile(home.settings());
    // Learn the two contents the file may hold, and how long a run takes:
    // most of it is start-up, the file work comes last, so the kills are
    // spread over the second half and a little beyond.
    const ChildResult learned = notch({"--configure", "target", "--apply"});
    ASSERT_EQ(learned.exitStatus, 0);
    std::uniform_real_distribution<double> moment(learned.wallSeconds * 0.5, learned.wallSeconds * 1.1);
    const auto installed = readFile(home.settings());
    std::optional<std::string> removed = original;
    if (!startMissing) {
      ASSERT_EQ(notch({"--configure", "target", "--remove"}).exitStatus, 0);
      removed = readFile(home.settings());
      EXPECT_EQ(parseJson(*removed), parseJson(foreign));
    }

    int killedMidway = 0;
    int leftovers = 0;
    for (int run = 0; run < kRuns; ++run) {
      const bool apply = startMissing || run % 2 == 0;
      ChildOptions options;
      options.killAfter = moment(random);
      const ChildResult result = notch({"--configure", "target", apply ? "--apply" : "--remove"}, options);
      killedMidway += result.killed ? 1 : 0;
      for (const std::string& name : testing::directoryEntries(home.workbuddy())) {
        leftovers += name.ends_with(".tmp") ? 1 : 0;
      }
      const auto now = readFile(home.settings());
      ASSERT_TRUE(now == installed || now == removed) << "run " << run << ": " << now.value_or("(missing)");
      if (now) {
        ASSERT_TRUE(parseJson(*now)) << "run " << run;
      }
      if (startMissing && now) {
        ::unlink(home.settings().c_str()); // back to a missing file for the next run
      }
    }
    EXPECT_GT(killedMidway, 0);
    std::printf("%s file: %d of %d runs killed, %d temporary files seen after kills\n",
                startMissing ? "missing" : "existing", killedMidway, kRuns, leftovers);
    const ChildResult after = notch({"--configure", "target", "--apply"});
    EXPECT_EQ(after.exitStatus, 0) << after.standardError; // the lock died with its holder
    EXPECT_EQ(readFile(home.settings()), installed);
    for (const std::string& name : testing::directoryEntries(home.workbuddy())) {
      EXPECT_FALSE(name.ends_with(".tmp")) << name; // leftovers were cleared
    }
    for (const std::string& name : testing::directoryEntries(home.backups())) {
      EXPECT_FALSE(name.ends_with(".tmp")) << name;
    }
  }
}

} // namespace
} // namespace notch
