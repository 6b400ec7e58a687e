// The accessibility diagnosis as a user runs it: `VantrelNotch
// --native-diagnose` becomes the app image (same process), reports whether
// it may read WorkBuddy, and names a recognised card without its contents.
// On a private desktop (scripts/with-desktop); skipped without a display.

#include <gtest/gtest.h>

#include "platform/linux/StandInWindow.h"
#include "support/ChildProcess.h"

namespace notch {
namespace {

using testing::StandInWindow;

// Runs the diagnosis as a user would, and half-way through notes which
// image the process runs by then: a line "image: <path>" among the output.
testing::ChildResult diagnose() {
  // Under ThreadSanitizer the app image's Qt loop reports what Qt's own
  // locks hide; that must not change the status the diagnosis ends with.
  const std::string script = std::string("TSAN_OPTIONS=exitcode=0 ") + NOTCH_EXECUTABLE_PATH +
                             " --native-diagnose & sleep 0.9; echo \"image: $(readlink /proc/$!/exe)\"; wait $!";
  return testing::runChild("/bin/sh", {"-c", script});
}

// Takes the "image: " line out of `output` and returns the path in it.
std::string takeImage(std::string& output) {
  const std::size_t start = output.find("image: ");
  const std::size_t end = output.find('\n', start);
  if (start == std::string::npos || end == std::string::npos) {
    return "";
  }
  std::string image = output.substr(start + 7, end - start - 7);
  output.erase(start, end - start + 1);
  return image;
}

TEST(NativeDiagnosisTest, NamesABackgroundCardWithoutItsContents) {
  SKIP_WITHOUT_DISPLAY();
  StandInWindow workBuddy;
  StandInWindow other(StandInWindow::other);
  ASSERT_EQ(workBuddy.send("deletion grouped rm -rf build"), "ok card=1");
  ASSERT_EQ(other.send("activate"), "ok");

  const auto diagnosis = diagnose();
  std::string output = diagnosis.standardOutput;
  EXPECT_EQ(diagnosis.exitStatus, 0);
  EXPECT_GE(diagnosis.wallSeconds, 1.8);
  EXPECT_TRUE(takeImage(output).ends_with("/VantrelNotchApp")) << "not the same process in the app image";
  EXPECT_TRUE(output.starts_with("Accessibility trusted: true\n")) << output;
  EXPECT_NE(output.find("\nRecognized one actionable native approval card (contents omitted).\n"), std::string::npos)
      << output;
  EXPECT_NE(output.find("\n已发现后台 WorkBuddy 的原生删除确认\n"), std::string::npos) << output;
  EXPECT_EQ(output.find("rm -rf"), std::string::npos) << "a card's contents were printed";
}

TEST(NativeDiagnosisTest, WithoutAnAccessibilityBusItSaysSoAndEndsWell) {
  const auto result = testing::runChild(NOTCH_EXECUTABLE_PATH, {"--native-diagnose"},
                                        {.environment = {"DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent/bus",
                                                         "AT_SPI_BUS_ADDRESS=", "TSAN_OPTIONS=exitcode=0"}});
  EXPECT_EQ(result.exitStatus, 0) << result.standardError;
  EXPECT_GE(result.wallSeconds, 1.8);
  EXPECT_TRUE(result.standardOutput.starts_with("Accessibility trusted: false\n")) << result.standardOutput;
  EXPECT_NE(result.standardOutput.find("\n需要辅助功能权限，才能读取 WorkBuddy 的确认卡或提问卡\n"), std::string::npos)
      << result.standardOutput;
}

} // namespace
} // namespace notch
