// The accessibility diagnosis as a user runs it: `VantrelNotch
// --native-diagnose` becomes the app image (same process), reports whether
// it may read WorkBuddy, and names a recognised card without its contents.
// On a private desktop (scripts/with-desktop); skipped without a display.

#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <cstdlib>
#include <thread>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/linux/StandInWindow.h"
#include "support/ChildProcess.h"
#include "support/Clock.h"

namespace notch {
namespace {

using testing::StandInWindow;

struct Diagnosis {
  std::string output;
  int status = -1;
  double seconds = 0;
  std::string imageWhileRunning; // what the process ran half-way through
};

Diagnosis diagnose() {
  int out[2];
  if (::pipe2(out, O_CLOEXEC) != 0) {
    return {};
  }
  const double start = uptimeNow();
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(out[1], STDOUT_FILENO);
    ::execl(NOTCH_EXECUTABLE_PATH, NOTCH_EXECUTABLE_PATH, "--native-diagnose", nullptr);
    ::_exit(127);
  }
  ::close(out[1]);
  Diagnosis result;
  std::this_thread::sleep_for(std::chrono::milliseconds(900));
  char image[PATH_MAX] = {};
  if (const ssize_t length = ::readlink(("/proc/" + std::to_string(pid) + "/exe").c_str(), image, sizeof image - 1);
      length > 0) {
    result.imageWhileRunning = std::string(image, static_cast<std::size_t>(length));
  }
  char chunk[4096];
  for (ssize_t count; (count = ::read(out[0], chunk, sizeof chunk)) > 0;) {
    result.output.append(chunk, static_cast<std::size_t>(count));
  }
  ::close(out[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.seconds = uptimeNow() - start;
  return result;
}

TEST(NativeDiagnosisTest, NamesABackgroundCardWithoutItsContents) {
  SKIP_WITHOUT_DISPLAY();
  StandInWindow workBuddy;
  StandInWindow other(StandInWindow::other);
  ASSERT_EQ(workBuddy.send("deletion grouped rm -rf build"), "ok card=1");
  ASSERT_EQ(other.send("activate"), "ok");

  const Diagnosis diagnosis = diagnose();
  EXPECT_EQ(diagnosis.status, 0);
  EXPECT_GE(diagnosis.seconds, 1.8);
  EXPECT_TRUE(diagnosis.imageWhileRunning.ends_with("/VantrelNotchApp")) << diagnosis.imageWhileRunning;
  EXPECT_TRUE(diagnosis.output.starts_with("Accessibility trusted: true\n")) << diagnosis.output;
  EXPECT_NE(diagnosis.output.find("\nRecognized one actionable native approval card (contents omitted).\n"),
            std::string::npos)
      << diagnosis.output;
  EXPECT_NE(diagnosis.output.find("\n已发现后台 WorkBuddy 的原生删除确认\n"), std::string::npos) << diagnosis.output;
  EXPECT_EQ(diagnosis.output.find("rm -rf"), std::string::npos) << "a card's contents were printed";
}

TEST(NativeDiagnosisTest, WithoutAnAccessibilityBusItSaysSoAndEndsWell) {
  const auto result = testing::runChild(
      NOTCH_EXECUTABLE_PATH, {"--native-diagnose"},
      {.environment = {"DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent/bus", "AT_SPI_BUS_ADDRESS="}});
  EXPECT_EQ(result.exitStatus, 0) << result.standardError;
  EXPECT_GE(result.wallSeconds, 1.8);
  EXPECT_TRUE(result.standardOutput.starts_with("Accessibility trusted: false\n")) << result.standardOutput;
  EXPECT_NE(result.standardOutput.find("\n需要辅助功能权限，才能读取 WorkBuddy 的确认卡或提问卡\n"), std::string::npos)
      << result.standardOutput;
}

} // namespace
} // namespace notch
