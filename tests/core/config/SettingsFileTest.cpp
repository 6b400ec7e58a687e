#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <utility>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "core/config/ConfigTestSupport.h"
#include "core/config/HookCommand.h"
#include "core/config/HookInstaller.h"
#include "core/config/SettingsFile.h"

namespace notch {
namespace {

using testing::directoryEntries;
using testing::readFile;
using testing::TemporaryHome;

constexpr const char* kExecutable = "/Applications/Vantrel Dozer.app/Contents/MacOS/VantrelNotch";
const std::string kForeign =
    R"({"theme":"dark","hooks":{"PermissionRequest":[{"hooks":[{"type":"command","command":"other"}]}]}})";
const std::string kNotPrivate = "配置必须是当前用户拥有的普通文件，不能为硬链接或超大文件。";
const SystemFileSystem kFileSystem;

std::string failureOf(const std::function<void()>& operation) {
  try {
    operation();
  } catch (const HookInstaller::Failure& failure) {
    return failure.message();
  }
  return "no failure";
}

std::string installFailure(const std::string& settings, const FileSystem& fileSystem = kFileSystem) {
  return failureOf([&] { HookInstaller(fileSystem).install(settings, kExecutable, "workbuddy", false); });
}

bool hasTemporaryFile(const std::string& directory) {
  const auto names = directoryEntries(directory);
  return std::any_of(names.begin(), names.end(), [](const std::string& name) { return name.ends_with(".tmp"); });
}

// The file's content; only a marker for what cannot be read without
// blocking or following it.
std::optional<std::string> contentOf(const std::string& path) {
  struct stat status {};
  if (::lstat(path.c_str(), &status) == 0 && (S_ISFIFO(status.st_mode) || S_ISDIR(status.st_mode))) {
    return "(no regular file)";
  }
  return readFile(path);
}

mode_t modeOf(const std::string& path) {
  struct stat status {};
  return ::lstat(path.c_str(), &status) == 0 ? status.st_mode & 07777 : 0;
}

// A file of exactly `bytes` bytes that is a valid settings object.
std::string settingsOfSize(std::size_t bytes) { return "{\"pad\":\"" + std::string(bytes - 11, 'x') + "\"}\n"; }

// Each unsafe condition makes an install fail with its own message and leave
// the settings file exactly as it was.
TEST(SettingsFileTest, EachUnsafeConditionRefusesTheInstallAndChangesNothing) {
  struct Row {
    const char* condition;
    std::function<void(const TemporaryHome&)> arrange;
    std::string message;
    bool rootOnly = false;
  };
  const auto lock = [](const TemporaryHome& h) { return h.workbuddy() + "/.vantrel-notch-v1.lock"; };
  const Row rows[] = {
      {"settings.json a symbolic link",
       [](const TemporaryHome& h) {
         testing::writeFile(h.path() + "/real.json", kForeign);
         ::unlink(h.settings().c_str());
         ::symlink((h.path() + "/real.json").c_str(), h.settings().c_str());
       },
       "无法安全读取配置文件（符号链接不受支持）。"},
      {"a second hard link", [](const TemporaryHome& h) { ::link(h.settings().c_str(), (h.path() + "/2").c_str()); },
       kNotPrivate},
      {"4 MiB and a byte", [](const TemporaryHome& h) { h.writeSettings(settingsOfSize(4'194'305)); }, kNotPrivate},
      {"a FIFO (opened without blocking)",
       [](const TemporaryHome& h) {
         ::unlink(h.settings().c_str());
         ::mkfifo(h.settings().c_str(), 0600);
       },
       kNotPrivate},
      {"a directory",
       [](const TemporaryHome& h) {
         ::unlink(h.settings().c_str());
         ::mkdir(h.settings().c_str(), 0700);
       },
       kNotPrivate},
      {"owned by another user", [](const TemporaryHome& h) { ::chown(h.settings().c_str(), 65534, 65534); },
       kNotPrivate, true},
      {"the result over 4 MiB", [](const TemporaryHome& h) { h.writeSettings(settingsOfSize(4'194'304)); },
       "修改后的配置将超过 4 MB，之后无法再安全读取；未修改文件。"},
      {"backups readable by the group", [](const TemporaryHome& h) { ::mkdir(h.backups().c_str(), 0750); },
       "备份目录必须为当前用户私有（0700）。"},
      {"the lock readable by others", [&](const TemporaryHome& h) { testing::writeFile(lock(h), "", 0604); },
       "安装锁不是安全的私有文件。"},
      {"the lock with a second link",
       [&](const TemporaryHome& h) {
         testing::writeFile(lock(h), "", 0600);
         ::link(lock(h).c_str(), (h.path() + "/lock").c_str());
       },
       "安装锁不是安全的私有文件。"},
      {"WorkBuddy's directory of another user",
       [](const TemporaryHome& h) { ::chown(h.workbuddy().c_str(), 65534, 65534); },
       "配置目录属于其他用户（例如通过 sudo 运行）；请以该用户身份运行。未修改文件。", true},
  };
  for (const Row& row : rows) {
    if (row.rootOnly && ::geteuid() != 0) {
      continue;
    }
    TemporaryHome home;
    home.writeSettings(kForeign);
    row.arrange(home);
    const auto before = contentOf(home.settings());
    EXPECT_EQ(installFailure(home.settings()), row.message) << row.condition;
    EXPECT_EQ(contentOf(home.settings()), before) << row.condition;
    EXPECT_FALSE(hasTemporaryFile(home.workbuddy())) << row.condition;
  }

  TemporaryHome home; // held by another operation
  home.writeSettings(kForeign);
  const int held = ::open((home.workbuddy() + "/.vantrel-notch-v1.lock").c_str(), O_RDWR | O_CREAT, 0600);
  ASSERT_EQ(::flock(held, LOCK_EX), 0);
  EXPECT_EQ(installFailure(home.settings()), "另一次 hook 配置操作正在进行，请稍后重试。");
  ::close(held);
  EXPECT_EQ(installFailure(home.settings()), "no failure");

  TemporaryHome exact; // exactly 4 MiB is read: a removal finds nothing to do and leaves it
  exact.writeSettings(settingsOfSize(4'194'304));
  EXPECT_EQ(failureOf([&] { HookInstaller(kFileSystem).uninstall(exact.settings()); }), "no failure");

  TemporaryHome linked; // a symbolic link anywhere on the way
  linked.writeSettings(kForeign);
  ASSERT_EQ(::symlink(linked.workbuddy().c_str(), (linked.path() + "/linked").c_str()), 0);
  EXPECT_EQ(installFailure(linked.path() + "/linked/settings.json").rfind("无法安全打开目录 linked：", 0), 0u);
}

// Root with the user's HOME (sudo) must not leave root-owned files in the
// user's home: nothing is created.
TEST(SettingsFileTest, AHomeOfAnotherUserGetsNoWorkBuddyDirectory) {
  if (::geteuid() != 0) {
    GTEST_SKIP() << "needs root to hand directories to another user";
  }
  TemporaryHome home;
  ASSERT_EQ(::chown(home.path().c_str(), 65534, 65534), 0);
  EXPECT_EQ(installFailure(home.settings()),
            "配置目录属于其他用户（例如通过 sudo 运行）；请以该用户身份运行。未修改文件。");
  EXPECT_EQ(installFailure(home.path() + "/new/.workbuddy/settings.json"),
            "配置目录属于其他用户（例如通过 sudo 运行）；请以该用户身份运行。未修改文件。"); // not even a missing home
  EXPECT_EQ(directoryEntries(home.path()), std::vector<std::string>{});
}

// Every counted call (open, write, sync, chmod, rename, link) of an install
// and of a removal fails in turn: a failed operation leaves the old file, one
// that goes on despite it writes exactly the new one, no temporary file ever
// stays, and the clean run synced before it renamed.
TEST(SettingsFileTest, AFailureAtAnyCountedCallLeavesTheOldFile) {
  const std::pair<const char*, std::function<void(const FileSystem&, const std::string&)>> operations[] = {
      {"install", [](const FileSystem& fs,
                     const std::string& s) { HookInstaller(fs).install(s, kExecutable, "workbuddy", false); }},
      {"remove", [](const FileSystem& fs, const std::string& s) { HookInstaller(fs).uninstall(s); }},
  };
  for (const auto& [name, operation] : operations) {
    for (const bool existing : {true, false}) {
      if (!existing && std::string_view(name) == "remove") {
        continue;
      }
      const auto arrange = [&](TemporaryHome& home) {
        if (existing) {
          home.writeSettings(std::string_view(name) == "remove"
                                 ? R"({"hooks":{"PermissionRequest":[{"hooks":[)"
                                   R"({"type":"command","command":")" +
                                       HookCommand::approvalCommand(kExecutable, "workbuddy") +
                                       R"(","timeout":60}]}]}})"
                                 : kForeign);
        }
      };
      TemporaryHome clean;
      arrange(clean);
      const auto original = readFile(clean.settings());
      testing::FaultyFileSystem counting;
      std::vector<std::string> calls;
      counting.beforeCall = [&](const char* call) { calls.emplace_back(call); };
      ASSERT_NO_THROW(operation(counting, clean.settings())) << name;
      const auto after = readFile(clean.settings());
      const auto lastRename = std::find(calls.rbegin(), calls.rend(), "rename");
      const auto lastSync = std::find(calls.rbegin(), calls.rend(), "sync");
      const auto lastWrite = std::find(calls.rbegin(), calls.rend(), "write");
      EXPECT_TRUE(lastSync > lastRename && lastSync < lastWrite)
          << name << ": sync after the writes, before the rename";

      std::vector<std::string> counted; // the calls FaultyFileSystem counts, in order
      std::copy_if(calls.begin(), calls.end(), std::back_inserter(counted), [](const std::string& call) {
        return call == "open" || call == "write" || call == "sync" || call == "chmod" || call == "rename" ||
               call == "link";
      });
      ASSERT_EQ(static_cast<int>(counted.size()), counting.counted);
      int failures = 0;
      for (int k = 1; k <= counting.counted; ++k) {
        TemporaryHome home;
        arrange(home);
        const auto before = readFile(home.settings());
        testing::FaultyFileSystem faulty;
        faulty.failAt = k;
        bool failed = false;
        try {
          operation(faulty, home.settings());
        } catch (const HookInstaller::Failure&) {
          failed = true;
        }
        failures += failed ? 1 : 0;
        // Only an open may fail without failing the operation (the best-effort clearing of leftovers).
        EXPECT_TRUE(failed || counted[k - 1] == "open") << name << ": a failed " << counted[k - 1] << " was ignored";
        EXPECT_EQ(readFile(home.settings()), failed ? before : after) << name << ", failure " << k;
        EXPECT_FALSE(hasTemporaryFile(home.workbuddy())) << name << ", failure " << k;
        EXPECT_FALSE(hasTemporaryFile(home.backups())) << name << ", failure " << k;
      }
      EXPECT_NE(after, original) << name << ": the clean run changed the file";
    }
  }
}

TEST(SettingsFileTest, ChangesByOthersBeforeTheRenameAreNeverOverwritten) {
  TemporaryHome home;
  testing::FaultyFileSystem racing;
  int syncs = 0;
  // Another program writes the file while ours syncs its temporary copy,
  // after the backup and before the final check.
  racing.beforeCall = [&](const char* call) {
    if (std::string_view(call) == "sync" && ++syncs == 2) {
      testing::writeFile(home.settings(), "{\"edited\":true}");
    }
  };
  home.writeSettings(kForeign);
  EXPECT_EQ(installFailure(home.settings(), racing), "配置已被其他程序修改；为防止覆盖，操作已取消。");
  EXPECT_EQ(readFile(home.settings()), "{\"edited\":true}");

  // A change while the file is read, and a directory swapped for another
  // with the same content, are noticed too.
  home.writeSettings(kForeign);
  bool changed = false;
  racing.beforeCall = [&](const char* call) {
    if (std::string_view(call) == "read" && !std::exchange(changed, true)) {
      testing::writeFile(home.settings(), kForeign + " ");
    }
  };
  EXPECT_EQ(installFailure(home.settings(), racing), "读取时配置发生变化，请重试。");
  home.writeSettings(kForeign);
  syncs = 0;
  racing.beforeCall = [&](const char* call) {
    if (std::string_view(call) == "sync" && ++syncs == 2) {
      ::rename(home.workbuddy().c_str(), (home.path() + "/moved").c_str());
      home.writeSettings(kForeign);
    }
  };
  EXPECT_EQ(installFailure(home.settings(), racing), "配置目录发生变化，请重试。");
  EXPECT_EQ(readFile(home.settings()), kForeign);

  // A file that appears after the final check, just before the rename that
  // creates it, is not replaced: the rename itself refuses.
  ::unlink(home.settings().c_str());
  int renames = 0;
  racing.beforeCall = [&](const char* call) {
    if (std::string_view(call) == "rename" && ++renames == 2) { // the first is the backup's
      testing::writeFile(home.settings(), "{\"created\":1}");
    }
  };
  EXPECT_EQ(installFailure(home.settings(), racing), "配置已出现或无法原子创建；未覆盖现有文件。");
  EXPECT_EQ(readFile(home.settings()), "{\"created\":1}");
  EXPECT_FALSE(hasTemporaryFile(home.workbuddy()));
}

// On a file system without an exclusive rename (NFS, CIFS), a new file is
// created by link + unlink. A kill before any call of such an install, the
// one between link and unlink included, never blocks the next preview,
// inspection or install.
TEST(SettingsFileTest, AKillAtAnyPointNeverBlocksTheNextRun) {
  constexpr int kKilled = 77;
  int killedWithTwoNames = 0;
  for (int k = 1;; ++k) {
    TemporaryHome home;
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      testing::FaultyFileSystem shim;
      shim.exclusiveRenameUnsupported = true;
      int calls = 0;
      shim.beforeCall = [&](const char*) {
        if (++calls == k) {
          ::_exit(kKilled); // no unwinding, no clean-up: as a SIGKILL leaves it
        }
      };
      ::_exit(installFailure(home.settings(), shim) == "no failure" ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_NE(WEXITSTATUS(status), 1) << "the shimmed install failed before call " << k;
    struct stat settings {};
    killedWithTwoNames += ::stat(home.settings().c_str(), &settings) == 0 && settings.st_nlink == 2 ? 1 : 0;

    const HookInstaller next(kFileSystem);
    EXPECT_NO_THROW(next.preview(home.settings(), kExecutable, "workbuddy", false)) << "killed before call " << k;
    EXPECT_NE(next.inspectApprovalHooks(TargetApplicationProfile::workbuddy, home.settings(), kExecutable).state,
              SettingsHookConfiguration::State::invalid)
        << "killed before call " << k;
    EXPECT_EQ(installFailure(home.settings()), "no failure") << "killed before call " << k;
    ASSERT_EQ(::stat(home.settings().c_str(), &settings), 0);
    EXPECT_EQ(settings.st_nlink, 1u);
    EXPECT_FALSE(hasTemporaryFile(home.workbuddy())) << "killed before call " << k;
    if (WEXITSTATUS(status) == 0) {
      break; // the install ran to its end: every call has had its kill
    }
  }
  EXPECT_EQ(killedWithTwoNames, 1);
}

TEST(SettingsFileTest, WritesLeaveOnlyPrivateFilesAndClearLeftovers) {
  TemporaryHome home;
  const HookInstaller installer(kFileSystem);
  EXPECT_EQ(failureOf([&] { installer.uninstall(home.settings()); }), "配置文件不存在；没有可卸载的 hook。");
  EXPECT_EQ(modeOf(home.workbuddy()), 0u); // a removal creates nothing

  const std::string backup = installer.install(home.settings(), kExecutable, "workbuddy", false);
  EXPECT_EQ(readFile(backup), "{}\n");
  installer.install(home.settings(), kExecutable, "workbuddy", false);
  EXPECT_EQ(directoryEntries(home.workbuddy()),
            (std::vector<std::string>{".vantrel-notch-backups", ".vantrel-notch-v1.lock", "settings.json"}));
  EXPECT_EQ(directoryEntries(home.backups()).size(), 2u);
  for (const auto& [path, mode] : std::vector<std::pair<std::string, mode_t>>{
           {home.workbuddy(), 0700}, {home.settings(), 0600}, {home.backups(), 0700}, {backup, 0600}}) {
    EXPECT_EQ(modeOf(path), mode) << path;
  }

  // Leftovers of a killed run are cleared by the next operation, ours only.
  const std::string stale = home.workbuddy() + "/.settings.json.E621E1F8-C36C-495A-93FC-0C247A3E6E5F.tmp";
  const std::string partial = home.backups() + "/.settings.json.E621E1F8-C36C-495A-93FC-0C247A3E6E5F.bak.tmp";
  const std::string unrelated = home.workbuddy() + "/.settings.json.notes.tmp";
  testing::writeFile(stale, "partial");
  testing::writeFile(partial, "partial");
  testing::writeFile(unrelated, "mine");
  installer.uninstall(home.settings());
  EXPECT_FALSE(readFile(stale));
  EXPECT_FALSE(readFile(partial));
  EXPECT_EQ(readFile(unrelated), "mine");
}

TEST(SettingsFileTest, InspectionReadsWithoutCreatingAnything) {
  TemporaryHome home;
  EXPECT_FALSE(SettingsFile::readForInspection(home.settings(), kFileSystem));
  EXPECT_EQ(modeOf(home.workbuddy()), 0u);
  home.writeSettings(kForeign);
  EXPECT_EQ(SettingsFile::readForInspection(home.settings(), kFileSystem), kForeign);
  // A second name is accepted only when it is our own leftover of the same file.
  testing::writeFile(home.workbuddy() + "/.settings.json.E621E1F8-C36C-495A-93FC-0C247A3E6E5F.tmp", "other");
  ASSERT_EQ(::link(home.settings().c_str(), (home.path() + "/second").c_str()), 0);
  EXPECT_THROW(SettingsFile::readForInspection(home.settings(), kFileSystem),
               SettingsHookConfiguration::InspectionError);
  EXPECT_EQ(installFailure("relative/settings.json"), "需要绝对配置文件路径。");
  EXPECT_EQ(installFailure(home.path() + "/../x/settings.json"), "配置路径不能含相对路径组件。");
  EXPECT_EQ(installFailure("/"), "需要绝对配置文件路径。");
}

} // namespace
} // namespace notch
