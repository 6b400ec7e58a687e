// The Exec line of a desktop entry as a near-miss table: one plain line,
// then one row per quoting or field-code rule, taken or refused whole.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "platform/linux/DesktopEntry.h"

namespace notch {
namespace {

using Arguments = std::optional<std::vector<std::string>>;

TEST(DesktopEntryTest, ExecLinesSplitWithoutAShell) {
  struct Row {
    const char* exec;
    Arguments expected;
  };
  const Row rows[] = {
      {"workbuddy --new-window %U", std::vector<std::string>{"workbuddy", "--new-window"}},
      {"\"/opt/Work Buddy/workbuddy\"  --a\t%f", std::vector<std::string>{"/opt/Work Buddy/workbuddy", "--a"}},
      {R"(sh -c "echo \"a\" \$HOME \`x\` \\" end)",
       std::vector<std::string>{"sh", "-c", R"(echo "a" $HOME `x` \)", "end"}},
      {R"(app "a\b")", std::vector<std::string>{"app", R"(a\b)"}},
      {"printf 100%% %%U", std::vector<std::string>{"printf", "100%", "%U"}},
      {"app --file=%f %f%u x%i", std::vector<std::string>{"app", "--file=", "x"}},
      {"app \"\" %k", std::vector<std::string>{"app", ""}},
      {"app \"a", std::nullopt},
      {"app %z", std::nullopt},
      {"app 100%", std::nullopt},
      {"%U %F", std::nullopt},
      {"\"\" x", std::nullopt},
      {"", std::nullopt},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(splitExecLine(row.exec), row.expected) << row.exec;
  }
}

// Ids are looked up directory by directory, the first holding the id
// deciding; only the [Desktop Entry] group of an application counts.
TEST(DesktopEntryTest, LooksIdsUpInOrderAndReadsOnlyTheEntryGroup) {
  const auto base = std::filesystem::temp_directory_path() / ("desktop-entry-" + std::to_string(::getpid()));
  const std::string first = (base / "first").string();
  const std::string second = (base / "second").string();
  std::filesystem::create_directories(first);
  std::filesystem::create_directories(second);
  const auto write = [](const std::string& path, const char* text) { std::ofstream(path) << text; };
  write(first + "/app.desktop", "# x\n[Desktop Entry]\nType=Application\nExec = run\\sthis \\\\n\n"
                                "StartupWMClass=App\n[Desktop Action new]\nExec=other\n");
  write(second + "/app.desktop", "[Desktop Entry]\nType=Application\nExec=second\n");
  write(first + "/gone.desktop", "[Desktop Entry]\nType=Application\nHidden=true\nExec=x\n");
  write(second + "/gone.desktop", "[Desktop Entry]\nType=Application\nExec=x\n");
  write(first + "/link.desktop", "[Desktop Entry]\nType=Link\nExec=x\n");
  const std::vector<std::string> directories = {first, second};

  const auto app = findDesktopEntry("app.desktop", directories);
  ASSERT_TRUE(app);
  EXPECT_EQ(app->path, first + "/app.desktop");
  EXPECT_EQ(app->exec, "run this \\n");
  EXPECT_EQ(app->startupWMClass, "App");
  EXPECT_EQ(findDesktopEntry(second + "/app.desktop", directories).value().exec, "second");
  EXPECT_FALSE(findDesktopEntry("gone.desktop", directories));
  EXPECT_FALSE(findDesktopEntry("link.desktop", directories));
  EXPECT_FALSE(findDesktopEntry("app", directories));
  EXPECT_FALSE(findDesktopEntry("first/app.desktop", {base.string()}));
  std::filesystem::remove_all(base);
}

} // namespace
} // namespace notch
