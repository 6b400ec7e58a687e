#pragma once

// The file manager as the settings window sees it: remembers what it was
// asked to show.

#include <string>
#include <vector>

#include "platform/FileManager.h"

namespace notch::testing {

struct FakeFileManager final : FileManager {
  void revealFile(const std::string& path) override { revealed.push_back(path); }
  std::vector<std::string> revealed;
};

} // namespace notch::testing
