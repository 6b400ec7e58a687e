#include "ui/QuitSignals.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>

#include <unistd.h>

#include "support/Pipe.h"

namespace notch {
namespace {

int signalPipe = -1;

extern "C" void wakeForQuit(int) {
  const int saved = errno;
  const char byte = 1;
  (void)!::write(signalPipe, &byte, 1);
  errno = saved;
}

} // namespace

QuitSignals::QuitSignals(std::function<void()> onQuit) : onQuit_(std::move(onQuit)) {
  int fds[2];
  if (!makeNonBlockingPipe(fds)) {
    return;
  }
  read_.reset(fds[0]);
  write_.reset(fds[1]);
  signalPipe = write_.get();
  notifier_ = new QSocketNotifier(read_.get(), QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, [this] {
    char drained[16];
    while (::read(read_.get(), drained, sizeof drained) > 0) {
    }
    onQuit_();
  });
  struct sigaction action {};
  action.sa_handler = wakeForQuit;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  ::sigaction(SIGTERM, &action, nullptr);
  ::sigaction(SIGINT, &action, nullptr);
}

QuitSignals::~QuitSignals() {
  std::signal(SIGTERM, SIG_DFL);
  std::signal(SIGINT, SIG_DFL);
  signalPipe = -1;
}

} // namespace notch
