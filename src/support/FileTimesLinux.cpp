#include "support/FileTimes.h"

namespace notch {

timespec modificationTime(const struct stat& status) { return status.st_mtim; }
timespec statusChangeTime(const struct stat& status) { return status.st_ctim; }

} // namespace notch
