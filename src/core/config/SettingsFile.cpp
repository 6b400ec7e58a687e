#include "core/config/SettingsFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>
#include <vector>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "core/config/HookInstallerFailure.h"
#include "core/config/SettingsHookConfiguration.h"
#include "support/FileTimes.h"
#include "support/Uuid.h"

namespace notch {
namespace {

constexpr char kLockName[] = ".vantrel-notch-v1.lock";
constexpr char kBackupDirectory[] = ".vantrel-notch-backups";
constexpr std::size_t kReadChunk = 16'384;
constexpr int kDirectoryFlags = O_RDONLY | O_NOFOLLOW | O_DIRECTORY | O_CLOEXEC;

using InspectionError = SettingsHookConfiguration::InspectionError;

[[noreturn]] void fail(const std::string& message) { throw HookInstallerFailure(message); }

std::string systemText(int error) { return std::generic_category().message(error); }

// The settings path split into its directory pieces and file name, or
// nullopt when it is not absolute, holds a NUL or names no file.
struct SplitPath {
  std::vector<std::string> pieces;
  std::string parent;
  std::string name;
};

std::optional<SplitPath> splitPath(const std::string& url) {
  if (url.empty() || url.front() != '/' || url.find('\0') != std::string::npos) {
    return std::nullopt;
  }
  const std::size_t end = url.find_last_not_of('/');
  if (end == std::string::npos) {
    return std::nullopt; // "/" names no file
  }
  const std::size_t slash = url.rfind('/', end);
  SplitPath split;
  split.name = url.substr(slash + 1, end - slash);
  split.parent = url.substr(0, slash);
  std::size_t start = 0;
  while (start < split.parent.size()) {
    std::size_t next = split.parent.find('/', start);
    if (next == std::string::npos) {
      next = split.parent.size();
    }
    if (next > start) {
      split.pieces.push_back(split.parent.substr(start, next - start));
    }
    start = next + 1;
  }
  return split;
}

std::string fingerprintOf(const struct stat& status) {
  const timespec modified = modificationTime(status);
  const timespec changed = statusChangeTime(status);
  return std::to_string(static_cast<std::int32_t>(status.st_dev)) + ":" +
         std::to_string(static_cast<std::uint64_t>(status.st_ino)) + ":" +
         std::to_string(static_cast<std::int64_t>(status.st_size)) + ":" + std::to_string(modified.tv_sec) + ":" +
         std::to_string(modified.tv_nsec) + ":" + std::to_string(changed.tv_sec) + ":" +
         std::to_string(changed.tv_nsec) + ":" + std::to_string(static_cast<std::uint16_t>(status.st_mode));
}

bool isPrivateRegularFile(const struct stat& status, nlink_t links) {
  return S_ISREG(status.st_mode) && status.st_uid == ::geteuid() && status.st_nlink == links &&
         static_cast<std::uint64_t>(status.st_size) <= SettingsLocation::maximumBytes;
}

// Whether `entry` is "<prefix><UUID><suffix>".
bool matchesTemporaryName(std::string_view entry, std::string_view prefix, std::string_view suffix) {
  if (entry.size() != prefix.size() + 36 + suffix.size() || !entry.starts_with(prefix) || !entry.ends_with(suffix)) {
    return false;
  }
  return Uuid::parse(entry.substr(prefix.size(), 36)).has_value();
}

// The names in `directory` that are "<prefix><UUID><suffix>" and belong to
// our own regular files, each with its status.
std::vector<std::pair<std::string, struct stat>> ownTemporaryFiles(const FileSystem& fileSystem, int directory,
                                                                   std::string_view prefix, std::string_view suffix) {
  std::vector<std::pair<std::string, struct stat>> found;
  for (std::string& name : fileSystem.directoryEntries(directory).value_or(std::vector<std::string>())) {
    struct stat status {};
    if (matchesTemporaryName(name, prefix, suffix) && fileSystem.statusAt(directory, name.c_str(), &status) == 0 &&
        S_ISREG(status.st_mode) && status.st_uid == ::geteuid()) {
      found.emplace_back(std::move(name), status);
    }
  }
  return found;
}

// Unlinks our own regular files in `directory` whose names match.
void removeMatching(const FileSystem& fileSystem, int directory, std::string_view prefix, std::string_view suffix) {
  for (const auto& [name, status] : ownTemporaryFiles(fileSystem, directory, prefix, suffix)) {
    fileSystem.unlinkAt(directory, name.c_str(), 0);
  }
}

std::string temporaryPrefix(const std::string& settingsName) { return "." + settingsName + "."; }

// An exclusive create that had to fall back to link + unlink, killed in
// between, leaves the new settings file with a second name: our own
// temporary one beside it. The content is complete (it was synced before the
// link) and the next write's clean-up removes that name; until then readers
// must not take the file for someone else's hard link.
bool onlyOtherNameIsOwnLeftover(const FileSystem& fileSystem, int directory, const std::string& name,
                                const struct stat& file) {
  if (file.st_nlink != 2) {
    return false;
  }
  const auto leftovers = ownTemporaryFiles(fileSystem, directory, temporaryPrefix(name), ".tmp");
  return std::any_of(leftovers.begin(), leftovers.end(), [&](const auto& leftover) {
    return leftover.second.st_dev == file.st_dev && leftover.second.st_ino == file.st_ino;
  });
}

// Renames `from` to `to` only if `to` does not exist. Where the file system
// has no such rename, a hard link refuses an existing name just as
// atomically; then the temporary name goes (see onlyOtherNameIsOwnLeftover
// for a kill in between).
int renameExclusive(const FileSystem& fileSystem, int directory, const char* from, const char* to) {
  if (fileSystem.renameNoReplace(directory, from, to) == 0) {
    return 0;
  }
  if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) {
    return -1;
  }
  if (fileSystem.linkAt(directory, from, to) != 0) {
    return -1;
  }
  fileSystem.unlinkAt(directory, from, 0);
  return 0;
}

// Walks from "/" through `pieces` without following links. nullopt when a
// piece is missing and is not to be created.
struct WalkRules {
  bool createMissing = false;
  std::function<void()> rootFailure;
  std::function<void()> createFailure;
  std::function<void(const std::string& piece, int error)> pieceFailure;
  // When set, called if the last directory, or any directory the walk would
  // create one in, belongs to another user.
  std::function<void()> foreignOwner;
};

bool isOwnDirectory(const FileSystem& fileSystem, int directory) {
  struct stat status {};
  return fileSystem.fileStatus(directory, &status) == 0 && status.st_uid == ::geteuid();
}

std::optional<FileDescriptor> walkDirectories(const FileSystem& fileSystem, const std::vector<std::string>& pieces,
                                              const WalkRules& rules) {
  FileDescriptor current(fileSystem.openAt(AT_FDCWD, "/", O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0));
  if (!current) {
    rules.rootFailure();
  }
  for (const std::string& piece : pieces) {
    int fd = fileSystem.openAt(current.get(), piece.c_str(), kDirectoryFlags, 0);
    if (fd < 0 && errno == ENOENT) {
      if (!rules.createMissing) {
        return std::nullopt;
      }
      if (rules.foreignOwner && !isOwnDirectory(fileSystem, current.get())) {
        rules.foreignOwner();
      }
      if (fileSystem.mkdirAt(current.get(), piece.c_str(), 0700) != 0 && errno != EEXIST) {
        rules.createFailure();
      }
      fd = fileSystem.openAt(current.get(), piece.c_str(), kDirectoryFlags, 0);
    }
    if (fd < 0) {
      if (errno == ENOENT && !rules.createMissing) {
        return std::nullopt;
      }
      rules.pieceFailure(piece, errno); // a symbolic link fails here (O_NOFOLLOW)
    }
    current.reset(fd);
  }
  if (rules.foreignOwner && !isOwnDirectory(fileSystem, current.get())) {
    rules.foreignOwner();
  }
  return current;
}

// The messages of one of the two readers of the settings file.
template <typename Error> struct ReadMessages {
  const char* openFailure;
  const char* notPrivate;
  const char* readFailure;
  const char* tooLarge;
  const char* changed;
};

template <typename Error>
SettingsSnapshot readPrivateFile(const FileSystem& fileSystem, int directory, const std::string& name,
                                 const ReadMessages<Error>& messages) {
  FileDescriptor file(fileSystem.openAt(directory, name.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC, 0));
  if (!file) {
    if (errno == ENOENT) {
      return {};
    }
    throw Error(messages.openFailure);
  }
  struct stat before {};
  if (fileSystem.fileStatus(file.get(), &before) != 0 ||
      !isPrivateRegularFile(before, onlyOtherNameIsOwnLeftover(fileSystem, directory, name, before) ? 2 : 1)) {
    throw Error(messages.notPrivate);
  }
  const std::string fingerprint = fingerprintOf(before);

  std::string data;
  data.reserve(static_cast<std::size_t>(before.st_size) + 1); // read into place, no regrowth
  std::vector<char> chunk(kReadChunk);
  for (;;) {
    const ssize_t count = fileSystem.read(file.get(), chunk.data(), chunk.size());
    if (count < 0) {
      if (errno == EINTR) {
        continue;
      }
      throw Error(messages.readFailure);
    }
    if (count == 0) {
      break;
    }
    data.append(chunk.data(), static_cast<std::size_t>(count));
    if (data.size() > SettingsLocation::maximumBytes) {
      throw Error(messages.tooLarge);
    }
  }
  struct stat after {};
  if (fileSystem.fileStatus(file.get(), &after) != 0 || fingerprintOf(after) != fingerprint) {
    throw Error(messages.changed);
  }
  return SettingsSnapshot{std::move(data), fingerprint};
}

// Runs its clean-up on every way out of a scope.
template <typename Cleanup> class OnExit {
public:
  explicit OnExit(Cleanup cleanup) : cleanup_(std::move(cleanup)) {}
  ~OnExit() { cleanup_(); }
  OnExit(const OnExit&) = delete;
  OnExit& operator=(const OnExit&) = delete;

private:
  Cleanup cleanup_;
};

// Opens the backup directory if it is the user's private directory.
FileDescriptor openBackupDirectory(const SettingsLocation& location, bool create) {
  const FileSystem& fileSystem = location.fileSystem();
  if (create && fileSystem.mkdirAt(location.directory(), kBackupDirectory, 0700) != 0 && errno != EEXIST) {
    fail("无法创建备份目录。");
  }
  FileDescriptor directory(fileSystem.openAt(location.directory(), kBackupDirectory, kDirectoryFlags, 0));
  if (!directory) {
    if (!create) {
      return directory;
    }
    fail("备份目录不能为符号链接。");
  }
  struct stat status {};
  if (fileSystem.fileStatus(directory.get(), &status) != 0 || status.st_uid != ::geteuid() ||
      (status.st_mode & 077) != 0) {
    if (!create) {
      return FileDescriptor();
    }
    fail("备份目录必须为当前用户私有（0700）。");
  }
  return directory;
}

std::string parentOf(const std::string& url) {
  const auto split = splitPath(url);
  return split ? split->parent : std::string();
}

} // namespace

std::optional<SettingsLocation> SettingsLocation::open(const std::string& url, bool createMissing,
                                                       const FileSystem& fileSystem) {
  const auto split = splitPath(url);
  if (!split) {
    fail("需要绝对配置文件路径。");
  }
  for (const std::string& piece : split->pieces) {
    if (piece == "." || piece == "..") {
      fail("配置路径不能含相对路径组件。");
    }
  }
  WalkRules rules;
  rules.createMissing = createMissing;
  rules.rootFailure = [] { fail("无法打开根目录。"); };
  rules.createFailure = [] { fail("无法创建私有配置目录。"); };
  rules.pieceFailure = [](const std::string& piece, int error) {
    fail("无法安全打开目录 " + piece + "：" + systemText(error) + "；符号链接不受支持。");
  };
  // Run as root with the user's HOME (through sudo, say), anything created
  // here would belong to root and lock WorkBuddy out of its own settings.
  rules.foreignOwner = [] { fail("配置目录属于其他用户（例如通过 sudo 运行）；请以该用户身份运行。未修改文件。"); };
  auto directory = walkDirectories(fileSystem, split->pieces, rules);
  if (!directory) {
    return std::nullopt;
  }
  return SettingsLocation(std::move(*directory), url, split->name, fileSystem);
}

namespace SettingsFile {

SettingsSnapshot read(const SettingsLocation& location) {
  static constexpr ReadMessages<HookInstallerFailure> kMessages{
      "无法安全读取配置文件（符号链接不受支持）。",
      "配置必须是当前用户拥有的普通文件，不能为硬链接或超大文件。",
      "读取配置失败。",
      "配置文件过大。",
      "读取时配置发生变化，请重试。",
  };
  return readPrivateFile(location.fileSystem(), location.directory(), location.name(), kMessages);
}

void writeAll(const FileSystem& fileSystem, std::string_view bytes, int fd) {
  while (!bytes.empty()) {
    const ssize_t count = fileSystem.write(fd, bytes.data(), bytes.size());
    if (count < 0 && errno == EINTR) {
      continue;
    }
    if (count <= 0) {
      fail("写入文件失败；请检查磁盘空间。");
    }
    bytes.remove_prefix(static_cast<std::size_t>(count));
  }
}

void withInstallLock(const SettingsLocation& location, const std::function<void()>& body) {
  const FileSystem& fileSystem = location.fileSystem();
  FileDescriptor lock(
      fileSystem.openAt(location.directory(), kLockName, O_RDWR | O_NONBLOCK | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (!lock) {
    fail("无法安全创建安装锁。");
  }
  struct stat status {};
  if (fileSystem.fileStatus(lock.get(), &status) != 0 || !S_ISREG(status.st_mode) || status.st_uid != ::geteuid() ||
      status.st_nlink != 1 || (status.st_mode & 077) != 0) {
    fail("安装锁不是安全的私有文件。");
  }
  if (fileSystem.lock(lock.get(), LOCK_EX | LOCK_NB) != 0) {
    fail("另一次 hook 配置操作正在进行，请稍后重试。");
  }
  OnExit unlock([&] { fileSystem.lock(lock.get(), LOCK_UN); });
  body();
}

std::string makeBackup(const SettingsLocation& location, std::string_view bytes) {
  const FileSystem& fileSystem = location.fileSystem();
  const FileDescriptor backups = openBackupDirectory(location, true);
  const std::string uuid = Uuid::random().string();
  const std::string name = location.name() + "." + uuid + ".bak";
  const std::string partial = "." + name + ".tmp";

  FileDescriptor file(
      fileSystem.openAt(backups.get(), partial.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (!file) {
    fail("无法创建备份文件。");
  }
  // Until the final rename the backup carries a temporary name, so a backup
  // under its real name is always complete, even after a kill.
  OnExit removePartial([&] { fileSystem.unlinkAt(backups.get(), partial.c_str(), 0); });
  writeAll(fileSystem, bytes, file.get());
  if (fileSystem.syncData(file.get()) != 0) {
    fail("备份同步失败；原配置未修改。");
  }
  if (renameExclusive(fileSystem, backups.get(), partial.c_str(), name.c_str()) != 0) {
    fail("无法创建备份文件。");
  }
  fileSystem.syncDirectory(backups.get());
  return parentOf(location.url()) + "/" + kBackupDirectory + "/" + name;
}

void verifyUnchanged(const SettingsLocation& location, const SettingsSnapshot& first) {
  const FileSystem& fileSystem = location.fileSystem();
  const auto again = SettingsLocation::open(location.url(), false, fileSystem);
  struct stat original {};
  struct stat reopened {};
  if (!again || fileSystem.fileStatus(location.directory(), &original) != 0 ||
      fileSystem.fileStatus(again->directory(), &reopened) != 0 || original.st_dev != reopened.st_dev ||
      original.st_ino != reopened.st_ino) {
    fail("配置目录发生变化，请重试。");
  }
  const SettingsSnapshot now = read(location);
  if (now.fingerprint != first.fingerprint || now.data != first.data) {
    fail("配置已被其他程序修改；为防止覆盖，操作已取消。");
  }
}

void replaceAtomically(const SettingsLocation& location, std::string_view bytes, const SettingsSnapshot& first) {
  const FileSystem& fileSystem = location.fileSystem();
  const std::string temporary = temporaryPrefix(location.name()) + Uuid::random().string() + ".tmp";
  FileDescriptor file(fileSystem.openAt(location.directory(), temporary.c_str(),
                                        O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (!file) {
    fail("无法创建原子写入临时文件。");
  }
  // After a successful rename the name is gone and this finds nothing.
  OnExit removeTemporary([&] { fileSystem.unlinkAt(location.directory(), temporary.c_str(), 0); });
  if (fileSystem.changeMode(file.get(), 0600) != 0) { // whatever the umask took away
    fail("无法创建原子写入临时文件。");
  }
  writeAll(fileSystem, bytes, file.get());
  if (fileSystem.syncData(file.get()) != 0) {
    fail("配置同步失败。");
  }
  verifyUnchanged(location, first);
  if (first.data) {
    if (fileSystem.renameAt(location.directory(), temporary.c_str(), location.name().c_str()) != 0) {
      fail("无法原子替换配置。");
    }
  } else if (renameExclusive(fileSystem, location.directory(), temporary.c_str(), location.name().c_str()) != 0) {
    fail("配置已出现或无法原子创建；未覆盖现有文件。");
  }
  fileSystem.syncDirectory(location.directory());
}

void removeLeftovers(const SettingsLocation& location) {
  const std::string settingsPrefix = temporaryPrefix(location.name());
  removeMatching(location.fileSystem(), location.directory(), settingsPrefix, ".tmp");
  const FileDescriptor backups = openBackupDirectory(location, false);
  if (backups) {
    removeMatching(location.fileSystem(), backups.get(), settingsPrefix, ".bak.tmp");
  }
}

std::optional<std::string> readForInspection(const std::string& url, const FileSystem& fileSystem) {
  const auto split = splitPath(url);
  if (!split) {
    throw InspectionError("无法读取配置目录。");
  }
  WalkRules rules;
  rules.rootFailure = [] { throw InspectionError("无法读取配置目录。"); };
  rules.createFailure = rules.rootFailure;
  rules.pieceFailure = [](const std::string&, int) {
    throw InspectionError("无法安全读取配置目录；请检查权限或符号链接。");
  };
  const auto directory = walkDirectories(fileSystem, split->pieces, rules);
  if (!directory) {
    return std::nullopt;
  }
  static constexpr ReadMessages<InspectionError> kMessages{
      "无法安全读取 settings.json；请检查权限或符号链接。",
      "配置必须是当前用户拥有的普通文件，不能为硬链接或超过 4 MB。",
      "读取 settings.json 失败。",
      "配置超过 4 MB，未继续读取。",
      "读取期间配置发生变化，请刷新重试。",
  };
  return readPrivateFile(fileSystem, directory->get(), split->name, kMessages).data;
}

} // namespace SettingsFile
} // namespace notch
