#pragma once

// Which WorkBuddy profiles have this app's approval hook installed, as the
// notch's status shows it. Stricter than an inspection: only an entry
// exactly as an install writes it counts (a group without "matcher", type
// "command", timeout 60, and the command line for this very executable and
// profile). Any read or parse failure counts as not installed.

#include <string>
#include <vector>

#include "core/config/FileSystem.h"

namespace notch {

// Display names, in profile order.
std::vector<std::string> configuredProfiles(const FileSystem& fileSystem, const std::string& home,
                                            const std::string& executable);

} // namespace notch
