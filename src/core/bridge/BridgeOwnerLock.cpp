#include "core/bridge/BridgeOwnerLock.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/file.h>

#include "core/bridge/BridgePaths.h"

namespace notch {

BridgeOwnerLock::BridgeOwnerLock(const std::string& bridgeDirectory) {
  try {
    ensureBridgeDirectory(bridgeDirectory);
  } catch (...) {
    return; // the approval server will report the directory itself
  }
  const std::string path = bridgeDirectory + "/app.lock";
  file_.reset(::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (!file_) {
    return;
  }
  if (::flock(file_.get(), LOCK_EX | LOCK_NB) == 0) {
    outcome_ = Outcome::acquired;
  } else if (errno == EWOULDBLOCK) {
    outcome_ = Outcome::heldElsewhere;
  }
}

} // namespace notch
