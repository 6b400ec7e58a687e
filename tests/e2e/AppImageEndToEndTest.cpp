// The two executable images as the user and WorkBuddy meet them: the hook
// image stays free of desktop libraries, and hands the desktop modes to
// the app image beside its real path, or says plainly that it is missing.

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "support/ChildProcess.h"

namespace notch {
namespace {

namespace fs = std::filesystem;
using testing::runChild;
using testing::summary;

TEST(AppImageEndToEnd, HookImageNeedsNoDesktopLibrary) {
  const auto listed = runChild("/usr/bin/readelf", {"-d", NOTCH_EXECUTABLE_PATH});
  ASSERT_EQ(listed.exitStatus, 0) << listed.standardError;
  ASSERT_NE(listed.standardOutput.find("(NEEDED)"), std::string::npos);
  const std::regex desktop(R"(NEEDED.*\[lib(Qt|glib|gio|gobject|dbus|atspi|xcb|X11|GL|EGL|fontconfig|freetype))",
                           std::regex::icase);
  EXPECT_FALSE(std::regex_search(listed.standardOutput, desktop)) << listed.standardOutput;
}

TEST(AppImageEndToEnd, DesktopModesRunTheImageBesideTheRealPath) {
  const fs::path directory = fs::temp_directory_path() / ("vantrel-images-" + std::to_string(::getpid()));
  fs::remove_all(directory);
  fs::create_directories(directory / "alone");
  fs::create_directories(directory / "bin");
  fs::copy_file(NOTCH_EXECUTABLE_PATH, directory / "alone" / "VantrelNotch");
  fs::create_symlink(NOTCH_EXECUTABLE_PATH, directory / "bin" / "VantrelNotch");

  EXPECT_EQ(summary(runChild((directory / "alone" / "VantrelNotch").string(), {"--ui-self-test"})),
            "1||VantrelNotch: the notch application is not installed next to this executable.\n");
  // Through a link elsewhere: the app image beside the real file runs the built-in checks, all passing.
  EXPECT_EQ(summary(runChild((directory / "bin" / "VantrelNotch").string(), {"--ui-self-test"},
                             {.environment = {"TSAN_OPTIONS=exitcode=0 report_bugs=0", "XDG_RUNTIME_DIR="}})),
            "0||");
  // Hook and configuration modes never leave the hook image.
  EXPECT_EQ(summary(runChild((directory / "alone" / "VantrelNotch").string(), {"--configure"})),
            "1||Usage: VantrelNotch --configure target|targetAI [--apply|--remove]\n");
  fs::remove_all(directory);
}

} // namespace
} // namespace notch
