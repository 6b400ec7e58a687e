#pragma once

// The descriptor-relative file calls of the settings layer, behind one small
// interface so that tests can make any of them fail (the k-th write, fsync,
// rename or open) and check that the user's file survives every failure.
// Each call behaves like its POSIX namesake: -1 and errno on failure.

#include <optional>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <sys/types.h>

namespace notch {

class FileSystem {
public:
  virtual ~FileSystem() = default;

  virtual int openAt(int directory, const char* name, int flags, mode_t mode) const = 0;
  virtual int mkdirAt(int directory, const char* name, mode_t mode) const = 0;
  virtual int unlinkAt(int directory, const char* name, int flags) const = 0;
  virtual int fileStatus(int fd, struct stat* status) const = 0;
  // The status of `name` in `directory`, without following a symbolic link.
  virtual int statusAt(int directory, const char* name, struct stat* status) const = 0;
  virtual int changeMode(int fd, mode_t mode) const = 0; // fchmod
  // The names in `directory` ("." and ".." left out); nullopt (errno set)
  // when it cannot be listed.
  virtual std::optional<std::vector<std::string>> directoryEntries(int directory) const = 0;
  virtual ssize_t read(int fd, void* buffer, size_t length) const = 0;
  virtual ssize_t write(int fd, const void* buffer, size_t length) const = 0;
  // Flushes a file's data to stable storage (F_FULLFSYNC where the system
  // has it, since plain fsync there may stop at the drive's cache).
  virtual int syncData(int fd) const = 0;
  // Flushes a directory, so that a rename in it survives a power loss.
  virtual int syncDirectory(int fd) const = 0;
  virtual int lock(int fd, int operation) const = 0; // flock
  // Renames within one directory, replacing `to`.
  virtual int renameAt(int directory, const char* from, const char* to) const = 0;
  // Renames within one directory, failing with EEXIST when `to` exists;
  // never a check followed by a rename. File systems without such a rename
  // (NFS, CIFS) fail with EINVAL, ENOSYS or ENOTSUP.
  virtual int renameNoReplace(int directory, const char* from, const char* to) const = 0;
  // Gives the file `from` the second name `to` in the same directory,
  // failing with EEXIST when `to` exists.
  virtual int linkAt(int directory, const char* from, const char* to) const = 0;
};

// The operating system's calls.
class SystemFileSystem final : public FileSystem {
public:
  int openAt(int directory, const char* name, int flags, mode_t mode) const override;
  int mkdirAt(int directory, const char* name, mode_t mode) const override;
  int unlinkAt(int directory, const char* name, int flags) const override;
  int fileStatus(int fd, struct stat* status) const override;
  int statusAt(int directory, const char* name, struct stat* status) const override;
  int changeMode(int fd, mode_t mode) const override;
  std::optional<std::vector<std::string>> directoryEntries(int directory) const override;
  ssize_t read(int fd, void* buffer, size_t length) const override;
  ssize_t write(int fd, const void* buffer, size_t length) const override;
  int syncData(int fd) const override;
  int syncDirectory(int fd) const override;
  int lock(int fd, int operation) const override;
  int renameAt(int directory, const char* from, const char* to) const override;
  int renameNoReplace(int directory, const char* from, const char* to) const override;
  int linkAt(int directory, const char* from, const char* to) const override;
};

} // namespace notch
