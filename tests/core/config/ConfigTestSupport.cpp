#include "core/config/ConfigTestSupport.h"

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <sys/stat.h>

namespace notch::testing {

std::optional<std::string> readFile(const std::string& path) {
  std::ifstream stream(path, std::ios::binary);
  if (!stream) {
    return std::nullopt;
  }
  std::ostringstream bytes;
  bytes << stream.rdbuf();
  return bytes.str();
}

void writeFile(const std::string& path, const std::string& bytes, mode_t mode) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
  ::chmod(path.c_str(), mode);
}

std::vector<std::string> directoryEntries(const std::string& path) {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(path, error)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

TemporaryHome::TemporaryHome() = default;

void TemporaryHome::writeSettings(const std::string& bytes) const {
  ::mkdir(workbuddy().c_str(), 0700);
  writeFile(settings(), bytes);
}

void FaultyFileSystem::observe(const char* call) const {
  if (beforeCall) {
    beforeCall(call);
  }
}

bool FaultyFileSystem::shouldFail(const char* call) const {
  observe(call);
  if (++counted == failAt) {
    errno = EIO;
    return true;
  }
  return false;
}

int FaultyFileSystem::openAt(int directory, const char* name, int flags, mode_t mode) const {
  return shouldFail("open") ? -1 : system_.openAt(directory, name, flags, mode);
}
int FaultyFileSystem::mkdirAt(int directory, const char* name, mode_t mode) const {
  observe("mkdir");
  return system_.mkdirAt(directory, name, mode);
}
int FaultyFileSystem::unlinkAt(int directory, const char* name, int flags) const {
  observe("unlink");
  return system_.unlinkAt(directory, name, flags);
}
int FaultyFileSystem::fileStatus(int fd, struct stat* status) const {
  observe("stat");
  return system_.fileStatus(fd, status);
}
int FaultyFileSystem::statusAt(int directory, const char* name, struct stat* status) const {
  observe("stat");
  return system_.statusAt(directory, name, status);
}
int FaultyFileSystem::changeMode(int fd, mode_t mode) const {
  return shouldFail("chmod") ? -1 : system_.changeMode(fd, mode);
}
std::optional<std::vector<std::string>> FaultyFileSystem::directoryEntries(int directory) const {
  observe("list");
  return system_.directoryEntries(directory);
}
ssize_t FaultyFileSystem::read(int fd, void* buffer, size_t length) const {
  observe("read");
  return system_.read(fd, buffer, length);
}
ssize_t FaultyFileSystem::write(int fd, const void* buffer, size_t length) const {
  return shouldFail("write") ? -1 : system_.write(fd, buffer, length);
}
int FaultyFileSystem::syncData(int fd) const { return shouldFail("sync") ? -1 : system_.syncData(fd); }
int FaultyFileSystem::syncDirectory(int fd) const {
  observe("sync directory");
  return system_.syncDirectory(fd);
}
int FaultyFileSystem::lock(int fd, int operation) const {
  observe("lock");
  return system_.lock(fd, operation);
}
int FaultyFileSystem::renameAt(int directory, const char* from, const char* to) const {
  return shouldFail("rename") ? -1 : system_.renameAt(directory, from, to);
}
int FaultyFileSystem::renameNoReplace(int directory, const char* from, const char* to) const {
  if (shouldFail("rename")) {
    return -1;
  }
  if (exclusiveRenameUnsupported) {
    errno = EINVAL;
    return -1;
  }
  return system_.renameNoReplace(directory, from, to);
}
int FaultyFileSystem::linkAt(int directory, const char* from, const char* to) const {
  return shouldFail("link") ? -1 : system_.linkAt(directory, from, to);
}

} // namespace notch::testing
