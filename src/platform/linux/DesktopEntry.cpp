#include "platform/linux/DesktopEntry.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace notch {
namespace {

constexpr std::string_view kFieldCodes = "fFuUickdDnNvm";

std::vector<std::string> splitPaths(const std::string& paths) {
  std::vector<std::string> parts;
  std::stringstream stream(paths);
  for (std::string part; std::getline(stream, part, ':');) {
    if (!part.empty() && part.front() == '/') { // relative entries are to be ignored
      parts.push_back(part);
    }
  }
  return parts;
}

std::string environmentOr(const char* name, const std::string& fallback) {
  const char* value = std::getenv(name);
  return value != nullptr && value[0] != '\0' ? value : fallback;
}

// The string escapes of a desktop entry value: \s \n \t \r \\.
std::string decodedValue(std::string_view value) {
  std::string decoded;
  for (std::size_t k = 0; k < value.size(); ++k) {
    if (value[k] != '\\' || k + 1 == value.size()) {
      decoded += value[k];
      continue;
    }
    switch (const char next = value[++k]) {
    case 's':
      decoded += ' ';
      break;
    case 'n':
      decoded += '\n';
      break;
    case 't':
      decoded += '\t';
      break;
    case 'r':
      decoded += '\r';
      break;
    default:
      decoded += next == '\\' ? "\\" : std::string{'\\', next};
    }
  }
  return decoded;
}

std::string_view trimmed(std::string_view text) {
  const auto first = text.find_first_not_of(" \t");
  const auto last = text.find_last_not_of(" \t\r");
  return first == std::string_view::npos ? std::string_view() : text.substr(first, last - first + 1);
}

} // namespace

std::vector<std::string> xdgApplicationDirectories() {
  const char* home = std::getenv("HOME");
  std::vector<std::string> directories;
  for (const std::string& base :
       splitPaths(environmentOr("XDG_DATA_HOME", std::string(home != nullptr ? home : "") + "/.local/share") + ":" +
                  environmentOr("XDG_DATA_DIRS", "/usr/local/share:/usr/share"))) {
    directories.push_back(base + "/applications");
  }
  return directories;
}

std::optional<DesktopEntry> findDesktopEntry(const std::string& location, const std::vector<std::string>& directories) {
  if (!location.empty() && location.front() == '/') {
    return readDesktopEntry(location);
  }
  if (location.empty() || location.find('/') != std::string::npos || !location.ends_with(".desktop")) {
    return std::nullopt;
  }
  for (const std::string& directory : directories) {
    std::ifstream probe(directory + "/" + location);
    if (probe) { // the first directory holding the id decides, even for an entry that is hidden there
      return readDesktopEntry(directory + "/" + location);
    }
  }
  return std::nullopt;
}

std::optional<DesktopEntry> readDesktopEntry(const std::string& path) {
  std::ifstream file(path);
  if (!file) {
    return std::nullopt;
  }
  DesktopEntry entry{path, {}, {}};
  bool inGroup = false;
  bool application = false;
  for (std::string line; std::getline(file, line);) {
    const std::string_view text = trimmed(line);
    if (text.empty() || text.front() == '#') {
      continue;
    }
    if (text.front() == '[') {
      if (inGroup) {
        break; // only the first group, [Desktop Entry], counts
      }
      inGroup = text == "[Desktop Entry]";
      continue;
    }
    const auto equals = text.find('=');
    if (!inGroup || equals == std::string_view::npos) {
      continue;
    }
    const std::string_view key = trimmed(text.substr(0, equals));
    const std::string value = decodedValue(trimmed(text.substr(equals + 1)));
    if (key == "Type") {
      application = value == "Application";
    } else if (key == "Hidden" && value == "true") {
      return std::nullopt; // deleted by the user
    } else if (key == "Exec") {
      entry.exec = value;
    } else if (key == "StartupWMClass") {
      entry.startupWMClass = value;
    }
  }
  if (!application || entry.exec.empty()) {
    return std::nullopt;
  }
  return entry;
}

std::optional<std::vector<std::string>> splitExecLine(std::string_view exec) {
  std::vector<std::string> arguments;
  std::string current;
  bool inArgument = false; // something, if only a quote, started an argument
  bool onlyFieldCodes = false;
  for (std::size_t k = 0; k < exec.size(); ++k) {
    const char c = exec[k];
    if (c == ' ' || c == '\t' || c == '\n') {
      if (inArgument && !onlyFieldCodes) {
        arguments.push_back(current);
      }
      current.clear();
      inArgument = onlyFieldCodes = false;
    } else if (c == '"') {
      inArgument = true; // even "" is an argument
      onlyFieldCodes = false;
      for (++k; k < exec.size() && exec[k] != '"'; ++k) {
        if (exec[k] == '\\' && k + 1 < exec.size() &&
            std::string_view("\"`$\\").find(exec[k + 1]) != std::string_view::npos) {
          ++k;
        }
        current += exec[k];
      }
      if (k == exec.size()) {
        return std::nullopt; // unterminated quote
      }
    } else if (c == '%') {
      if (k + 1 == exec.size()) {
        return std::nullopt;
      }
      const char code = exec[++k];
      if (code == '%') {
        current += '%';
        onlyFieldCodes = false;
      } else if (kFieldCodes.find(code) == std::string_view::npos) {
        return std::nullopt;
      } else if (!inArgument) {
        onlyFieldCodes = true;
      }
      inArgument = true;
    } else {
      current += c;
      inArgument = true;
      onlyFieldCodes = false;
    }
  }
  if (inArgument && !onlyFieldCodes) {
    arguments.push_back(current);
  }
  if (arguments.empty() || arguments.front().empty()) {
    return std::nullopt;
  }
  return arguments;
}

} // namespace notch
