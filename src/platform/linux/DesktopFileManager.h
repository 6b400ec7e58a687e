#pragma once

// The file manager of a Linux desktop. A file is shown selected through the
// freedesktop file-manager interface (org.freedesktop.FileManager1
// ShowItems on the session bus, which Nautilus, Dolphin, Nemo, Caja and
// Thunar serve, starting on demand); when no one answers, its folder is
// opened with xdg-open instead.
//
// Both can take a moment (the bus may start the file manager), so they run
// on a queue of their own and revealFile returns at once. Qt stays out of
// this layer: the launcher is the same detached start the workspace uses
// to open applications, so xdg-open ends up neither a child nor a zombie
// of the app. Destroying this object waits for a call already running.

#include <memory>
#include <string>

#include "platform/FileManager.h"

namespace notch {

class SerialQueue;

class DesktopFileManager final : public FileManager {
public:
  DesktopFileManager();
  ~DesktopFileManager() override;
  void revealFile(const std::string& path) override;

  // file://… with every byte outside the unreserved set and "/" percent-encoded.
  static std::string fileURI(const std::string& path);

private:
  std::unique_ptr<SerialQueue> queue_;
};

} // namespace notch
