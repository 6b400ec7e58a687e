// The preview images as a user makes them: each scene of the real views
// lands in a new PNG of the expected width, an existing file is never
// replaced, and of two writers racing for one path exactly one wins.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <future>

#include "core/bridge/TestBridge.h"
#include "support/ChildProcess.h"

namespace notch {
namespace {

using namespace testing;

// The width and height a PNG file declares (0 × 0 for anything else).
std::pair<std::uint32_t, std::uint32_t> pngSize(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  unsigned char head[24] = {};
  file.read(reinterpret_cast<char*>(head), sizeof head);
  const auto big = [&](int at) {
    return std::uint32_t(head[at]) << 24 | std::uint32_t(head[at + 1]) << 16 | std::uint32_t(head[at + 2]) << 8 |
           head[at + 3];
  };
  const bool png = file && head[0] == 0x89 && head[1] == 'P' && head[12] == 'I' && head[15] == 'R';
  return png ? std::pair(big(16), big(20)) : std::pair(0u, 0u);
}

std::string contents(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), {});
}

// The session's runtime directory lies outside the tests' private /tmp; these modes need none.
// Under ThreadSanitizer, Qt's thread pool draws reports that Qt's own locks hide: they must
// change neither the status nor the output these tests compare.
const ChildOptions kPlain{.environment = {"TSAN_OPTIONS=exitcode=0 report_bugs=0", "XDG_RUNTIME_DIR="}};

ChildResult notch(const std::vector<std::string>& arguments) {
  return runChild(NOTCH_EXECUTABLE_PATH, arguments, kPlain);
}

TEST(PreviewEndToEnd, EverySceneLandsInANewImage) {
  TemporaryDirectory directory;
  const auto path = [&](const std::string& name) { return directory.path() + "/" + name + ".png"; };
  // clang-format off
  const struct { std::vector<std::string> arguments; std::string output; std::uint32_t width; } scenes[] = {
      {{"--render-completion-preview", path("completion")}, "Synthetic completion preview saved; no real task or app activation.\n", 960},
      {{"--question-long", "--render-question-preview", path("question"), "--question-failure"}, "Synthetic question preview saved; no AX, real app activation, approval, or answer.\n", 960},
      {{"--render-preview", path("request")}, "Synthetic preview saved to " + path("request") + "; no request, approval or setting behind it.\n", 960},
      {{"--render-preview", path("idle"), "--preview-idle"}, "", 960},
      {{"--render-preview", path("native"), "--preview-native"}, "", 960},
      {{"--render-preview", path("details"), "--preview-details"}, "", 960},
      {{"--render-preview", path("receipt"), "--preview-receipt"}, "", 960},
      {{"--render-preview", path("compact"), "--preview-compact"}, "", 960},
      {{"--render-preview", path("settings"), "--preview-settings"}, "", 1200},
  };
  // clang-format on
  for (const auto& scene : scenes) {
    const auto result = notch(scene.arguments);
    const std::string& file = scene.arguments[scene.arguments[0] == "--question-long" ? 2 : 1];
    SCOPED_TRACE(file);
    EXPECT_EQ(result.exitStatus, 0) << result.standardError;
    if (!scene.output.empty()) {
      EXPECT_EQ(result.standardOutput, scene.output);
    }
    const auto [width, height] = pngSize(file);
    EXPECT_EQ(width, scene.width);
    EXPECT_GT(height, 100u);
  }
}

TEST(PreviewEndToEnd, NeverReplacesAFileAndNamesWhatIsMissing) {
  TemporaryDirectory directory;
  const std::string existing = directory.path() + "/mine.png";
  std::ofstream(existing) << "a user's file";
  EXPECT_EQ(summary(notch({"--render-question-preview", existing})),
            "1||Could not save preview (existing files are not overwritten).\n");
  EXPECT_EQ(summary(notch({"--render-completion-preview", existing})),
            "1||Could not save completion preview; existing files are not overwritten.\n");
  EXPECT_EQ(notch({"--render-preview", existing, "--preview-idle"}).exitStatus, 1);
  EXPECT_EQ(contents(existing), "a user's file");
  EXPECT_EQ(summary(notch({"--render-completion-preview"})), "1||Usage: --render-completion-preview <new.png>\n");
  EXPECT_EQ(summary(notch({"--render-question-preview"})),
            "1||Usage: VantrelNotch --render-question-preview <new.png> [--question-long] [--question-failure]\n");

  // Two writers for one new path: one image, whole, and one refusal.
  const std::string contested = directory.path() + "/contested.png";
  auto first = std::async(std::launch::async, [&] { return notch({"--render-preview", contested}).exitStatus; });
  const int second = notch({"--render-preview", contested, "--preview-idle"}).exitStatus;
  EXPECT_EQ(first.get() + second, 1);
  EXPECT_EQ(pngSize(contested).first, 960u);
}

} // namespace
} // namespace notch
