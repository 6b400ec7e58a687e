#include "platform/linux/XdgLoginItems.h"

#include <cerrno>
#include <cstdlib>
#include <fstream>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/linux/DesktopEntry.h"

namespace notch {
namespace {

constexpr std::size_t kLargestEntry = 64 * 1024; // far beyond any entry the app writes

std::optional<std::string> readSmallFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    return std::nullopt;
  }
  std::string bytes;
  bytes.resize(kLargestEntry + 1);
  file.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  bytes.resize(static_cast<std::size_t>(file.gcount()));
  return bytes;
}

// mkdir -p with private new directories; true when `path` is a directory afterwards.
bool makeDirectories(const std::string& path) {
  struct stat status {};
  if (::stat(path.c_str(), &status) == 0) {
    return S_ISDIR(status.st_mode);
  }
  const auto slash = path.rfind('/');
  if (slash != std::string::npos && slash > 0 && !makeDirectories(path.substr(0, slash))) {
    return false;
  }
  return ::mkdir(path.c_str(), 0700) == 0 || errno == EEXIST;
}

bool writeAll(int fd, const std::string& bytes) {
  std::size_t written = 0;
  while (written < bytes.size()) {
    const ssize_t count = ::write(fd, bytes.data() + written, bytes.size() - written);
    if (count < 0 && errno == EINTR) {
      continue;
    }
    if (count <= 0) {
      return false;
    }
    written += static_cast<std::size_t>(count);
  }
  return true;
}

} // namespace

std::string xdgAutostartDirectory(const std::string& home) {
  const char* configured = std::getenv("XDG_CONFIG_HOME");
  const std::string base = configured != nullptr && configured[0] == '/' ? configured : home + "/.config";
  return base + "/autostart";
}

XdgLoginItems::XdgLoginItems(std::string autostartDirectory, std::optional<std::string> executable)
    : directory_(std::move(autostartDirectory)), executable_(std::move(executable)) {}

std::optional<std::string> XdgLoginItems::entryText(const std::string& executable) {
  if (executable.empty() || executable.front() != '/') {
    return std::nullopt;
  }
  // Quoted for the Exec line (", `, $ and \ escaped), then the backslashes
  // escaped once more for the key file. A percent sign would be read as a
  // field code by some launchers and literally by others, and control
  // characters cannot stand in a key file line: such paths are refused.
  std::string quoted;
  for (const char c : executable) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f || c == '%') {
      return std::nullopt;
    }
    if (c == '"' || c == '`' || c == '$') {
      quoted += "\\\\";
    } else if (c == '\\') {
      quoted += "\\\\\\";
    }
    quoted += c;
  }
  return "[Desktop Entry]\n"
         "Type=Application\n"
         "Name=Vantrel Dozer\n"
         "Comment=把审批带到刘海\n"
         "Exec=\"" +
         quoted +
         "\"\n"
         "Terminal=false\n"
         "X-GNOME-Autostart-enabled=true\n";
}

XdgLoginItems::Found XdgLoginItems::inspect() const {
  const std::string path = entryPath();
  struct stat status {};
  if (::lstat(path.c_str(), &status) != 0 && errno == ENOENT) {
    return Found::none;
  }
  const auto bytes = readSmallFile(path);
  if (!S_ISREG(status.st_mode) || !bytes) {
    return Found::foreign;
  }
  // Own only when the bytes are exactly what this app writes for the program the entry names.
  const auto entry = readDesktopEntry(path);
  const auto arguments = entry ? splitExecLine(entry->exec) : std::nullopt;
  if (!arguments || arguments->size() != 1 || entryText(arguments->front()) != *bytes) {
    return Found::foreign;
  }
  return arguments->front() == executable_ ? Found::ownCurrent : Found::ownOther;
}

bool XdgLoginItems::isEnabled() const { return inspect() == Found::ownCurrent; }

std::optional<std::string> XdgLoginItems::setEnabled(bool enabled) {
  const Found found = inspect();
  if (found == Found::foreign) {
    return "已有同名自启动项（vantrel-dozer.desktop）不是本应用写入的；为保留手动修改，未做更改。";
  }
  const std::string path = entryPath();
  if (!enabled) {
    if (found != Found::none && ::unlink(path.c_str()) != 0 && errno != ENOENT) {
      return "无法移除自启动项；未做更改。";
    }
    return std::nullopt;
  }
  if (found == Found::ownCurrent) {
    return std::nullopt;
  }
  const auto text = executable_ ? entryText(*executable_) : std::nullopt;
  if (!text) {
    return "无法确定本应用位置，未设置登录时启动。";
  }
  if (!makeDirectories(directory_)) {
    return "无法创建自启动目录；未做更改。";
  }
  std::string temporary = directory_ + "/.vantrel-dozer.desktop.XXXXXX";
  const int fd = ::mkstemp(temporary.data());
  if (fd < 0) {
    return "无法写入自启动项；未做更改。";
  }
  const bool written = ::fchmod(fd, 0644) == 0 && writeAll(fd, *text) && ::fsync(fd) == 0;
  const bool closed = ::close(fd) == 0;
  // Replace only our own entry; where there was none, link() refuses an
  // entry that appeared meanwhile instead of replacing it.
  const bool placed = written && closed &&
                      (found == Found::none ? ::link(temporary.c_str(), path.c_str()) == 0
                                            : ::rename(temporary.c_str(), path.c_str()) == 0);
  ::unlink(temporary.c_str());
  if (!placed) {
    return "无法写入自启动项；未做更改。";
  }
  return std::nullopt;
}

} // namespace notch
