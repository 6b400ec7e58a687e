#pragma once

// The desktop's file manager, asked to show one file selected in its
// folder: the settings window points the user at the backup it has just
// made. Fire and forget: the caller returns at once, and when no file
// manager answers the folder is opened instead; there is nothing the
// caller could do about a desktop that shows neither. Main queue.

#include <string>

namespace notch {

class FileManager {
public:
  virtual ~FileManager() = default;
  // `path` is absolute.
  virtual void revealFile(const std::string& path) = 0;
};

} // namespace notch
