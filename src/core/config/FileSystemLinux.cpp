#include "core/config/FileSystem.h"

#include <cstdio>

#include <fcntl.h>
#include <unistd.h>

namespace notch {

int SystemFileSystem::syncData(int fd) const { return ::fsync(fd); }

int SystemFileSystem::renameNoReplace(int directory, const char* from, const char* to) const {
  return ::renameat2(directory, from, directory, to, RENAME_NOREPLACE);
}

} // namespace notch
