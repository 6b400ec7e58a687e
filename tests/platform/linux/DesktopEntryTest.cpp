// The Exec line of a desktop entry as a near-miss table: one plain line,
// then one row per quoting or field-code rule, taken or refused whole.

#include <gtest/gtest.h>

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

} // namespace
} // namespace notch
