#include "core/config/FileSystem.h"

#include <cstdio>

#include <fcntl.h>
#include <unistd.h>

namespace notch {

int SystemFileSystem::syncData(int fd) const {
  // fsync on macOS leaves the data in the drive's cache.
  if (::fcntl(fd, F_FULLFSYNC) == 0) {
    return 0;
  }
  return ::fsync(fd);
}

int SystemFileSystem::renameNoReplace(int directory, const char* from, const char* to) const {
  return ::renameatx_np(directory, from, directory, to, RENAME_EXCL);
}

} // namespace notch
