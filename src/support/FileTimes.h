#pragma once

// The nanosecond time stamps of a file status, whose field names differ
// between systems.

#include <sys/stat.h>
#include <time.h>

namespace notch {

timespec modificationTime(const struct stat& status);
timespec statusChangeTime(const struct stat& status);

} // namespace notch
