#include "platform/linux/ProcessEnded.h"

#include <cerrno>
#include <csignal>
#include <fstream>
#include <string>

namespace notch {

bool processHasEnded(int pid) {
  if (pid <= 0) {
    return true;
  }
  if (::kill(pid, 0) != 0 && errno == ESRCH) {
    return true;
  }
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(stat, line)) {
    return false; // no /proc to tell: alive, as kill said
  }
  // "pid (name) S ...": the name may hold spaces and parentheses.
  const auto close = line.rfind(')');
  return close != std::string::npos && close + 2 < line.size() && line[close + 2] == 'Z';
}

} // namespace notch
