#include "core/config/FileSystem.h"

#include <cerrno>
#include <cstdio>

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

ssize_t SystemFileSystem::read(int fd, void* buffer, size_t length) const { return ::read(fd, buffer, length); }

ssize_t SystemFileSystem::write(int fd, const void* buffer, size_t length) const { return ::write(fd, buffer, length); }

int SystemFileSystem::syncData(int fd) const {
#if defined(__APPLE__)
  // fsync on macOS leaves the data in the drive's cache.
  if (::fcntl(fd, F_FULLFSYNC) == 0) {
    return 0;
  }
#endif
  return ::fsync(fd);
}

int SystemFileSystem::syncDirectory(int fd) const { return ::fsync(fd); }

int SystemFileSystem::lock(int fd, int operation) const { return ::flock(fd, operation); }

int SystemFileSystem::renameAt(int directory, const char* from, const char* to) const {
  return ::renameat(directory, from, directory, to);
}

int SystemFileSystem::renameNoReplace(int directory, const char* from, const char* to) const {
#if defined(__APPLE__)
  return ::renameatx_np(directory, from, directory, to, RENAME_EXCL);
#else
  return ::renameat2(directory, from, directory, to, RENAME_NOREPLACE);
#endif
}

int SystemFileSystem::linkAt(int directory, const char* from, const char* to) const {
  return ::linkat(directory, from, directory, to, 0);
}

const FileSystem& systemFileSystem() {
  static const SystemFileSystem fileSystem;
  return fileSystem;
}

} // namespace notch
