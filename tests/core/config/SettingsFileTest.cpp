#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>

#include "core/config/ConfigTestSupport.h"
#include "core/config/HookCommand.h"
#include "core/config/HookInstaller.h"
#include "core/config/SettingsFile.h"

namespace notch {
namespace {

using namespace testing;

const std::string kForeign =
    R"({"theme":"dark","hooks":{"PermissionRequest":[{"hooks":[{"type":"command","command":"other"}]}]}})";
const std::string kNotPrivate = "配置必须是当前用户拥有的普通文件，不能为硬链接或超大文件。";
const std::string kForeignOwner = "配置目录属于其他用户（例如通过 sudo 运行）；请以该用户身份运行。未修改文件。";
const SystemFileSystem kFileSystem;

std::string installFailure(const std::string& settings, const FileSystem& fileSystem = kFileSystem) {
  return failureOf([&] { HookInstaller(fileSystem).install(settings, kExecutable, "workbuddy", false); });
}

bool hasTemporaryFile(const std::string& directory) {
  return std::ranges::any_of(directoryEntries(directory),
                             [](const std::string& name) { return name.ends_with(".tmp"); });
}

// The file's mode and links ({0, 0} when missing), and its content when it is a regular file (others could block).
std::tuple<mode_t, nlink_t, std::optional<std::string>> statusOf(const std::string& path) {
  struct stat status {};
  const bool found = ::lstat(path.c_str(), &status) == 0;
  return {found ? status.st_mode : 0, found ? status.st_nlink : 0, S_ISREG(status.st_mode) ? readFile(path) : ""};
}

// A valid settings object of exactly `bytes` bytes.
std::string settingsOfSize(std::size_t bytes) { return "{\"pad\":\"" + std::string(bytes - 11, 'x') + "\"}\n"; }

// Each unsafe condition refuses the install with its own message and leaves the file as it was.
TEST(SettingsFileTest, EachUnsafeConditionRefusesTheInstallAndChangesNothing) {
  using Home = const TemporaryHome&;
  const auto replace = [](Home h, auto make) { ::unlink(h.settings().c_str()), make(h.settings().c_str()); };
  const auto lock = [](Home h) { return h.workbuddy() + "/.vantrel-notch-v1.lock"; };
  const std::string kLock = "安装锁不是安全的私有文件。";
  // clang-format off
  const std::vector<std::tuple<const char*, std::function<void(Home)>, std::string>> rows = {
      {"a symbolic link", [&](Home h) { writeFile(h.path() + "/real.json", kForeign); replace(h, [&](const char* s) { ::symlink((h.path() + "/real.json").c_str(), s); }); }, "无法安全读取配置文件（符号链接不受支持）。"},
      {"a second hard link", [](Home h) { ::link(h.settings().c_str(), (h.path() + "/2").c_str()); }, kNotPrivate},
      {"4 MiB and a byte", [](Home h) { h.writeSettings(settingsOfSize(4'194'305)); }, kNotPrivate},
      {"a FIFO", [&](Home h) { replace(h, [](const char* s) { ::mkfifo(s, 0600); }); }, kNotPrivate},
      {"a directory", [&](Home h) { replace(h, [](const char* s) { ::mkdir(s, 0700); }); }, kNotPrivate},
      {"owned by another user", [](Home h) { ::chown(h.settings().c_str(), 65534, 65534); }, kNotPrivate},
      {"the result over 4 MiB", [](Home h) { h.writeSettings(settingsOfSize(4'194'304)); }, "修改后的配置将超过 4 MB，之后无法再安全读取；未修改文件。"},
      {"backups readable by the group", [](Home h) { ::mkdir(h.backups().c_str(), 0750); }, "备份目录必须为当前用户私有（0700）。"},
      {"the lock readable by others", [&](Home h) { writeFile(lock(h), "", 0604); }, kLock},
      {"the lock with a second link", [&](Home h) { writeFile(lock(h), ""); ::link(lock(h).c_str(), (h.path() + "/lock").c_str()); }, kLock},
      {"the lock held by another operation", [&](Home h) { ::flock(::open(lock(h).c_str(), O_RDWR | O_CREAT, 0600), LOCK_EX); }, "另一次 hook 配置操作正在进行，请稍后重试。"},
      {"WorkBuddy's directory of another user", [](Home h) { ::chown(h.workbuddy().c_str(), 65534, 65534); }, kForeignOwner}};
  // clang-format on
  const bool root = ::geteuid() == 0; // needed to hand files to another user
  for (const auto& [condition, arrange, message] : rows) {
    if (!root && std::string_view(condition).ends_with("another user")) {
      continue;
    }
    TemporaryHome home;
    home.writeSettings(kForeign);
    arrange(home);
    const auto before = statusOf(home.settings());
    EXPECT_EQ(installFailure(home.settings()), message) << condition;
    EXPECT_EQ(statusOf(home.settings()), before) << condition;
    EXPECT_FALSE(hasTemporaryFile(home.workbuddy())) << condition;
  }

  TemporaryHome home; // exactly 4 MiB is read: a removal finds nothing to do and leaves it
  home.writeSettings(settingsOfSize(4'194'304));
  EXPECT_EQ(failureOf([&] { HookInstaller(kFileSystem).uninstall(home.settings()); }), "no failure");
  ASSERT_EQ(::symlink(home.workbuddy().c_str(), (home.path() + "/linked").c_str()), 0); // a link on the way
  EXPECT_EQ(installFailure(home.path() + "/linked/settings.json").rfind("无法安全打开目录 linked：", 0), 0u);
  EXPECT_EQ(installFailure("relative/settings.json") + installFailure("/"),
            "需要绝对配置文件路径。需要绝对配置文件路径。");
  EXPECT_EQ(installFailure(home.path() + "/../x/settings.json"), "配置路径不能含相对路径组件。");

  // Root with the user's HOME (sudo) leaves no root-owned files there, not even for a missing home.
  TemporaryHome foreign;
  if (root && ::chown(foreign.path().c_str(), 65534, 65534) == 0) {
    EXPECT_EQ(installFailure(foreign.path() + "/new/.workbuddy/settings.json"), kForeignOwner);
    EXPECT_EQ(directoryEntries(foreign.path()), std::vector<std::string>{});
  }
}

// Every counted call of an install and of a removal fails in turn: a failed
// operation leaves the old file, one that goes on (only a failed open of the
// leftover clearing may) writes exactly the new one, no temporary file stays,
// and the clean run synced before it renamed.
TEST(SettingsFileTest, AFailureAtAnyCountedCallLeavesTheOldFile) {
  const std::string own = R"({"hooks":{"PermissionRequest":[{"hooks":[{"type":"command","command":")" +
                          HookCommand::approvalCommand(kExecutable, "workbuddy") + R"(","timeout":60}]}]}})";
  using Operation = std::function<void(const FileSystem&, const std::string&)>;
  const Operation install = [](auto& fs, auto& s) { HookInstaller(fs).install(s, kExecutable, "workbuddy", false); };
  const Operation remove = [](auto& fs, auto& s) { HookInstaller(fs).uninstall(s); };
  for (const auto& [name, operation, existing] :
       {std::tuple{"install", install, kForeign}, {"create", install, std::string()}, {"remove", remove, own}}) {
    std::vector<std::string> calls; // those of the first run, which fails nowhere (k = 0)
    std::optional<std::string> after;
    for (int k = 0, counted = 0; k <= counted; ++k) {
      TemporaryHome home;
      existing.empty() ? void() : home.writeSettings(existing);
      const auto before = readFile(home.settings());
      testing::FaultyFileSystem faulty;
      faulty.failAt = k;
      faulty.beforeCall = [&](const char* call) { calls.emplace_back(call); };
      const bool failed = failureOf([&] { operation(faulty, home.settings()); }) != "no failure";
      if (k == 0) {
        counted = faulty.counted, after = readFile(home.settings());
        const auto last = [&](const char* call) { return std::find(calls.rbegin(), calls.rend(), call); };
        ASSERT_TRUE(!failed && after != before && last("sync") > last("rename") && last("sync") < last("write"))
            << name;
      }
      EXPECT_TRUE(failed || k == 0 || faulty.failedCall == "open") << name << ": " << faulty.failedCall;
      EXPECT_EQ(readFile(home.settings()), failed ? before : after) << name << ", failure " << k;
      EXPECT_FALSE(hasTemporaryFile(home.workbuddy()) || hasTemporaryFile(home.backups())) << name << ", " << k;
    }
  }
}

// Each row: a change by another program, made before the n-th call of that name; the settings before; the message;
// the settings after.
TEST(SettingsFileTest, ChangesByOthersBeforeTheRenameAreNeverOverwritten) {
  using Home = const TemporaryHome&;
  const std::string edited = "{\"edited\":true}", created = "{\"created\":1}";
  // clang-format off
  const std::vector<std::tuple<std::string, int, std::function<void(Home)>, std::string, std::string, std::string>> rows = {
      // while ours syncs its copy: after the backup, before the final check
      {"sync", 2, [&](Home h) { writeFile(h.settings(), edited); }, kForeign, "配置已被其他程序修改；为防止覆盖，操作已取消。", edited},
      {"read", 1, [](Home h) { writeFile(h.settings(), kForeign + " "); }, kForeign, "读取时配置发生变化，请重试。", kForeign + " "},
      // the directory swapped for another with the same content
      {"sync", 2, [](Home h) { ::rename(h.workbuddy().c_str(), (h.path() + "/moved").c_str()), h.writeSettings(kForeign); }, kForeign, "配置目录发生变化，请重试。", kForeign},
      // a file that appears just before the rename that creates it (the first rename is the backup's)
      {"rename", 2, [&](Home h) { writeFile(h.settings(), created); }, "", "配置已出现或无法原子创建；未覆盖现有文件。", created}};
  // clang-format on
  for (const auto& [name, n, change, existing, message, after] : rows) {
    TemporaryHome home;
    existing.empty() ? void() : home.writeSettings(existing);
    testing::FaultyFileSystem racing;
    racing.beforeCall = [&, &name = name, &change = change, n = n, count = 0](const char* call) mutable {
      call == name && ++count == n ? change(home) : void();
    };
    EXPECT_EQ(installFailure(home.settings(), racing), message) << name << n;
    EXPECT_EQ(readFile(home.settings()), after) << name << n;
    EXPECT_FALSE(hasTemporaryFile(home.workbuddy())) << name << n;
  }
}

// Without an exclusive rename (NFS, CIFS) a new file is created by link +
// unlink. A kill between the two leaves a second name, which never blocks the
// next preview, inspection or install.
TEST(SettingsFileTest, AKillBetweenLinkAndUnlinkNeverBlocksTheNextRun) {
  TemporaryHome home;
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    testing::FaultyFileSystem shim;
    shim.exclusiveRenameUnsupported = true;
    shim.beforeCall = [links = 0](std::string_view call) mutable {              // the first link is the backup's
      (links += call == "link") == 2 && call == "unlink" ? ::_exit(0) : void(); // no clean-up: as a SIGKILL leaves it
    };
    ::_exit(installFailure(home.settings(), shim) == "no failure" ? 1 : 2);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0 && std::get<1>(statusOf(home.settings())) == 2);
  const HookInstaller next(kFileSystem);
  EXPECT_NO_THROW(next.preview(home.settings(), kExecutable, "workbuddy", false));
  EXPECT_NE(next.inspectApprovalHooks(TargetApplicationProfile::workbuddy, home.settings(), kExecutable).state,
            SettingsHookConfiguration::State::invalid);
  EXPECT_EQ(installFailure(home.settings()), "no failure");
  EXPECT_TRUE(std::get<1>(statusOf(home.settings())) == 1 && !hasTemporaryFile(home.workbuddy()));
}

TEST(SettingsFileTest, WritesLeaveOnlyPrivateFilesAndClearLeftovers) {
  TemporaryHome home;
  const HookInstaller installer(kFileSystem);
  EXPECT_FALSE(SettingsFile::readForInspection(home.settings(), kFileSystem));
  EXPECT_EQ(std::get<0>(statusOf(home.workbuddy())), 0u); // inspection creates nothing
  ::mkdir(home.workbuddy().c_str(), 0700);                // a removal needs the file, not only its directory
  EXPECT_EQ(failureOf([&] { installer.uninstall(home.settings()); }), "配置文件不存在；没有可卸载的 hook。");

  const std::string backup = installer.install(home.settings(), kExecutable, "workbuddy", false);
  EXPECT_EQ(readFile(backup), "{}\n");
  EXPECT_EQ(readFile(installer.install(home.settings(), kExecutable, "workbuddy", false)), readFile(home.settings()));
  EXPECT_EQ(directoryEntries(home.workbuddy()),
            (std::vector<std::string>{".vantrel-notch-backups", ".vantrel-notch-v1.lock", "settings.json"}));
  EXPECT_EQ(directoryEntries(home.backups()).size(), 2u);
  for (const auto& [path, mode] : std::vector<std::pair<std::string, mode_t>>{
           {home.workbuddy(), 0700}, {home.settings(), 0600}, {home.backups(), 0700}, {backup, 0600}}) {
    EXPECT_EQ(std::get<0>(statusOf(path)) & 07777, mode) << path;
  }

  // Leftovers of a killed run are cleared by the next operation, ours only.
  const std::string stale = home.workbuddy() + "/.settings.json.E621E1F8-C36C-495A-93FC-0C247A3E6E5F.tmp";
  const std::string partial = home.backups() + "/.settings.json.E621E1F8-C36C-495A-93FC-0C247A3E6E5F.bak.tmp";
  const std::string unrelated = home.workbuddy() + "/.settings.json.notes.tmp";
  writeFile(stale, "partial"), writeFile(partial, "partial"), writeFile(unrelated, "partial");
  installer.uninstall(home.settings());
  EXPECT_FALSE(readFile(stale) || readFile(partial));
  EXPECT_EQ(readFile(unrelated), "partial");

  // Inspection accepts a second name only when it is our own leftover of the same file.
  EXPECT_EQ(SettingsFile::readForInspection(home.settings(), kFileSystem), readFile(home.settings()));
  writeFile(stale, "other");
  ASSERT_EQ(::link(home.settings().c_str(), (home.path() + "/second").c_str()), 0);
  EXPECT_THROW(SettingsFile::readForInspection(home.settings(), kFileSystem),
               SettingsHookConfiguration::InspectionError);
}

} // namespace
} // namespace notch
