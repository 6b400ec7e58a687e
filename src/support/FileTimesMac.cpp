#include "support/FileTimes.h"

namespace notch {

timespec modificationTime(const struct stat& status) { return status.st_mtimespec; }
timespec statusChangeTime(const struct stat& status) { return status.st_ctimespec; }

} // namespace notch
