#pragma once

// SIGTERM and SIGINT end the app as an orderly quit: the handler only
// writes a byte to a pipe, and the main loop, woken by it, runs `onQuit`.
// One instance per process.

#include <QObject>

#include <functional>

#include "support/FileDescriptor.h"

class QSocketNotifier;

namespace notch {

class QuitSignals final : public QObject {
public:
  explicit QuitSignals(std::function<void()> onQuit);
  ~QuitSignals() override;
  QuitSignals(const QuitSignals&) = delete;
  QuitSignals& operator=(const QuitSignals&) = delete;

private:
  std::function<void()> onQuit_;
  FileDescriptor read_;
  FileDescriptor write_;
  QSocketNotifier* notifier_ = nullptr;
};

} // namespace notch
