#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "core/config/ConfigTestSupport.h"
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

const SystemFileSystem kFileSystem;

std::string installFailure(const std::string& settings, const FileSystem& fileSystem = kFileSystem) {
  try {
    HookInstaller(fileSystem).install(settings, kExecutable, "workbuddy", false);
  } catch (const HookInstaller::Failure& failure) {
    return failure.message();
  }
  return "no failure";
}

bool hasTemporaryFile(const std::string& directory) {
  for (const std::string& name : directoryEntries(directory)) {
    if (name.ends_with(".tmp")) {
      return true;
    }
  }
  return false;
}

TEST(SettingsFileTest, SymbolicLinksAreRefusedAtEveryComponent) {
  TemporaryHome home;
  home.writeSettings(kForeign);
  const std::string linked = home.path() + "/linked";
  ASSERT_EQ(::symlink(home.workbuddy().c_str(), linked.c_str()), 0);
  const std::string message = installFailure(linked + "/settings.json");
  EXPECT_EQ(message.rfind("无法安全打开目录 linked：", 0), 0u) << message;
  EXPECT_TRUE(message.ends_with("；符号链接不受支持。")) << message;

  const std::string target = home.path() + "/real.json";
  testing::writeFile(target, kForeign);
  ::unlink(home.settings().c_str());
  ASSERT_EQ(::symlink(target.c_str(), home.settings().c_str()), 0);
  EXPECT_EQ(installFailure(home.settings()), "无法安全读取配置文件（符号链接不受支持）。");
  EXPECT_EQ(readFile(target), kForeign);
}

TEST(SettingsFileTest, OnlyAPrivateBoundedRegularFileIsRead) {
  TemporaryHome home;
  home.writeSettings(kForeign);
  const std::string notPrivate = "配置必须是当前用户拥有的普通文件，不能为硬链接或超大文件。";

  const std::string second = home.path() + "/second-link";
  ASSERT_EQ(::link(home.settings().c_str(), second.c_str()), 0);
  EXPECT_EQ(installFailure(home.settings()), notPrivate);
  ::unlink(second.c_str());

  if (::getuid() == 0) {
    ASSERT_EQ(::chown(home.settings().c_str(), 65534, 65534), 0);
    EXPECT_EQ(installFailure(home.settings()), notPrivate);
    ASSERT_EQ(::chown(home.settings().c_str(), 0, 0), 0);
  }
  EXPECT_EQ(readFile(home.settings()), kForeign);

  // Exactly 4 MiB is read; one byte more is refused.
  std::string large = "{\"pad\":\"" + std::string(SettingsLocation::maximumBytes - 11, 'x') + "\"}";
  large += '\n';
  ASSERT_EQ(large.size(), SettingsLocation::maximumBytes);
  home.writeSettings(large);
  EXPECT_NO_THROW(HookInstaller(kFileSystem).uninstall(home.settings())); // read, validated, left as it is
  // Adding the hook would push it over the limit, where it could never be
  // read again: refused, untouched.
  EXPECT_EQ(installFailure(home.settings()), "修改后的配置将超过 4 MB，之后无法再安全读取；未修改文件。");
  EXPECT_EQ(readFile(home.settings()), large);
  home.writeSettings(large + " ");
  EXPECT_EQ(installFailure(home.settings()), notPrivate);

  ::unlink(home.settings().c_str());
  ASSERT_EQ(::mkfifo(home.settings().c_str(), 0600), 0);
  EXPECT_EQ(installFailure(home.settings()), notPrivate); // opened non-blocking: no hang
}

// Root with the user's HOME (sudo) must not leave root-owned files in the
// user's WorkBuddy directory: nothing is created or changed.
TEST(SettingsFileTest, DirectoriesOfAnotherUserAreNeverWrittenInto) {
  if (::geteuid() != 0) {
    GTEST_SKIP() << "needs root to hand directories to another user";
  }
  const std::string foreignOwner = "配置目录属于其他用户（例如通过 sudo 运行）；请以该用户身份运行。未修改文件。";
  TemporaryHome home;
  ASSERT_EQ(::chown(home.path().c_str(), 65534, 65534), 0);
  EXPECT_EQ(installFailure(home.settings()), foreignOwner);
  EXPECT_EQ(directoryEntries(home.path()), std::vector<std::string>{});
  ASSERT_EQ(::chown(home.path().c_str(), 0, 0), 0);

  home.writeSettings(kForeign);
  ASSERT_EQ(::chown(home.workbuddy().c_str(), 65534, 65534), 0);
  EXPECT_EQ(installFailure(home.settings()), foreignOwner);
  EXPECT_EQ(directoryEntries(home.workbuddy()), std::vector<std::string>{"settings.json"});
  EXPECT_EQ(readFile(home.settings()), kForeign);
}

TEST(SettingsFileTest, BackupDirectoryAndLockMustBePrivateAndFree) {
  TemporaryHome home;
  home.writeSettings(kForeign);
  ASSERT_EQ(::mkdir(home.backups().c_str(), 0755), 0);
  EXPECT_EQ(installFailure(home.settings()), "备份目录必须为当前用户私有（0700）。");
  EXPECT_EQ(readFile(home.settings()), kForeign);
  ASSERT_EQ(::chmod(home.backups().c_str(), 0700), 0);

  const std::string lockPath = home.workbuddy() + "/.vantrel-notch-v1.lock";
  const int held = ::open(lockPath.c_str(), O_RDWR | O_CREAT, 0600);
  ASSERT_EQ(::flock(held, LOCK_EX), 0);
  EXPECT_EQ(installFailure(home.settings()), "另一次 hook 配置操作正在进行，请稍后重试。");
  EXPECT_EQ(readFile(home.settings()), kForeign);
  ::close(held);
  ASSERT_EQ(::chmod(lockPath.c_str(), 0644), 0);
  EXPECT_EQ(installFailure(home.settings()), "安装锁不是安全的私有文件。");
  ASSERT_EQ(::chmod(lockPath.c_str(), 0600), 0);
  EXPECT_EQ(installFailure(home.settings()), "no failure");
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
  EXPECT_FALSE(hasTemporaryFile(home.workbuddy()));

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

// Every open, write, sync and rename of an install fails in turn: the file
// is unchanged after each failure and no temporary file stays behind.
TEST(SettingsFileTest, InjectedFaultsNeverChangeTheFile) {
  for (const bool existing : {true, false}) {
    TemporaryHome home;
    if (existing) {
      home.writeSettings(kForeign);
    }
    const auto before = readFile(home.settings());
    bool succeeded = false;
    for (int k = 1; k < 100 && !succeeded; ++k) {
      testing::FaultyFileSystem faulty;
      faulty.failAt = k;
      try {
        HookInstaller(faulty).install(home.settings(), kExecutable, "workbuddy", false);
        succeeded = true;
      } catch (const HookInstaller::Failure&) {
        EXPECT_EQ(readFile(home.settings()), before) << "after failure " << k;
        EXPECT_FALSE(hasTemporaryFile(home.workbuddy())) << "after failure " << k;
        EXPECT_FALSE(hasTemporaryFile(home.backups())) << "after failure " << k;
      }
    }
    ASSERT_TRUE(succeeded);
    EXPECT_NE(readFile(home.settings()), before);
  }
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

TEST(SettingsFileTest, WritesLeaveOnlyTheFileBackupsAndLock) {
  TemporaryHome home;
  const HookInstaller installer(kFileSystem);
  try {
    installer.uninstall(home.settings());
    ADD_FAILURE() << "removal without a file succeeded";
  } catch (const HookInstaller::Failure& failure) {
    EXPECT_EQ(failure.message(), "配置文件不存在；没有可卸载的 hook。");
  }
  struct stat status {};
  EXPECT_NE(::stat(home.workbuddy().c_str(), &status), 0); // a removal creates nothing

  const std::string backup = installer.install(home.settings(), kExecutable, "workbuddy", false);
  ASSERT_EQ(::stat(home.workbuddy().c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 07777, 0700u);
  ASSERT_EQ(::stat(home.settings().c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 07777, 0600u);
  EXPECT_EQ(readFile(backup), "{}\n");
  installer.install(home.settings(), kExecutable, "workbuddy", false);
  EXPECT_EQ(directoryEntries(home.workbuddy()),
            (std::vector<std::string>{".vantrel-notch-backups", ".vantrel-notch-v1.lock", "settings.json"}));
  EXPECT_EQ(directoryEntries(home.backups()).size(), 2u);

  // Leftovers of a killed run are cleared by the next operation.
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
  struct stat status {};
  EXPECT_NE(::stat(home.workbuddy().c_str(), &status), 0);
  home.writeSettings(kForeign);
  EXPECT_EQ(SettingsFile::readForInspection(home.settings(), kFileSystem), kForeign);
  const std::string second = home.path() + "/second";
  ASSERT_EQ(::link(home.settings().c_str(), second.c_str()), 0);
  EXPECT_THROW(SettingsFile::readForInspection(home.settings(), kFileSystem), SettingsHookConfiguration::InspectionError);
  EXPECT_EQ(installFailure("relative/settings.json"), "需要绝对配置文件路径。");
  EXPECT_EQ(installFailure(home.path() + "/../x/settings.json"), "配置路径不能含相对路径组件。");
  EXPECT_EQ(installFailure("/"), "需要绝对配置文件路径。");
}

} // namespace
} // namespace notch
