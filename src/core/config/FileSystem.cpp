#include "core/config/FileSystem.h"

#include <string_view>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace notch {

int SystemFileSystem::openAt(int directory, const char* name, int flags, mode_t mode) const {
  return ::openat(directory, name, flags, mode);
}

int SystemFileSystem::mkdirAt(int directory, const char* name, mode_t mode) const {
  return ::mkdirat(directory, name, mode);
}

int SystemFileSystem::unlinkAt(int directory, const char* name, int flags) const {
  return ::unlinkat(directory, name, flags);
}

int SystemFileSystem::fileStatus(int fd, struct stat* status) const { return ::fstat(fd, status); }

int SystemFileSystem::statusAt(int directory, const char* name, struct stat* status) const {
  return ::fstatat(directory, name, status, AT_SYMLINK_NOFOLLOW);
}

int SystemFileSystem::changeMode(int fd, mode_t mode) const { return ::fchmod(fd, mode); }

std::optional<std::vector<std::string>> SystemFileSystem::directoryEntries(int directory) const {
  // The listing reads through its own descriptor, so the caller's keeps its
  // position and stays open.
  const int listing = ::openat(directory, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (listing < 0) {
    return std::nullopt;
  }
  DIR* stream = ::fdopendir(listing);
  if (stream == nullptr) {
    ::close(listing);
    return std::nullopt;
  }
  std::vector<std::string> names;
  for (;;) {
    errno = 0; // readdir tells its end from a failure only through errno
    const dirent* entry = ::readdir(stream);
    if (entry == nullptr) {
      break;
    }
    const std::string_view name = entry->d_name;
    if (name != "." && name != "..") {
      names.emplace_back(name);
    }
  }
  const int error = errno;
  ::closedir(stream);
  if (error != 0) {
    errno = error;
    return std::nullopt; // a partial list would look whole
  }
  return names;
}

ssize_t SystemFileSystem::read(int fd, void* buffer, size_t length) const { return ::read(fd, buffer, length); }

ssize_t SystemFileSystem::write(int fd, const void* buffer, size_t length) const { return ::write(fd, buffer, length); }

int SystemFileSystem::syncDirectory(int fd) const { return ::fsync(fd); }

int SystemFileSystem::lock(int fd, int operation) const { return ::flock(fd, operation); }

int SystemFileSystem::renameAt(int directory, const char* from, const char* to) const {
  return ::renameat(directory, from, directory, to);
}

int SystemFileSystem::linkAt(int directory, const char* from, const char* to) const {
  return ::linkat(directory, from, directory, to, 0);
}

} // namespace notch
