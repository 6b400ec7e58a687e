// VantrelNotchApp: the image that VantrelNotch replaces itself with for
// every mode that needs the desktop (previews, UI checks, the accessibility
// diagnosis and the notch application itself). Run directly it behaves the
// same; the hook and configuration modes are never served here.
//
// The composition root of the desktop side: the real platform
// implementations are made here and handed down by reference.

#include <QCoreApplication>
#include <QTimer>

#include <cstdio>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/CommandLine.h"
#include "app/NativeDiagnosis.h"
#include "platform/linux/AtSpiAccessibility.h"
#include "platform/linux/DesktopEntry.h"
#include "platform/linux/X11Workspace.h"
#include "platform/qt/QtMainQueue.h"
#include "support/Clock.h"
#include "support/SerialQueue.h"

namespace {

int reportUnavailable(std::string_view what) {
  std::fprintf(stderr, "VantrelNotch: %.*s is not available in this build.\n", static_cast<int>(what.size()),
               what.data());
  return 1;
}

void printLine(std::string_view line) {
  static std::mutex printing;
  std::lock_guard lock(printing);
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

// The diagnosis needs no window, only an event loop for the workspace's
// news, so it runs on a plain core application.
int runNativeDiagnosis(int argc, char** argv) {
  QCoreApplication application(argc, argv);
  const notch::SystemClock clock;
  notch::QtMainQueue mainQueue;
  notch::SerialQueue monitorQueue("vantrel-notch.native-approval");
  const notch::AtSpiAccessibility accessibility;
  notch::X11Workspace workspace(mainQueue, {"", notch::xdgApplicationDirectories(), {}});
  return notch::runNativeDiagnosis(notch::NativeDiagnosisEnvironment{
      accessibility, workspace, clock, monitorQueue,
      [&](double seconds) {
        QTimer::singleShot(static_cast<int>(seconds * 1000), &application, &QCoreApplication::quit);
        application.exec();
      },
      printLine});
}

} // namespace

int main(int argc, char** argv) {
  const std::span<char*> all(argv, static_cast<std::size_t>(argc));
  const std::vector<std::string_view> arguments(all.begin() + (argc > 0 ? 1 : 0), all.end());
  switch (notch::selectMode(arguments)) {
  case notch::CommandLineMode::completionPreview:
    return reportUnavailable("--render-completion-preview");
  case notch::CommandLineMode::questionPreview:
    return reportUnavailable("--render-question-preview");
  case notch::CommandLineMode::uiSelfTest:
    return reportUnavailable("--ui-self-test");
  case notch::CommandLineMode::nativeDiagnose:
    return runNativeDiagnosis(argc, argv);
  case notch::CommandLineMode::application:
    return reportUnavailable("the notch application");
  default:
    std::fprintf(stderr, "VantrelNotchApp: this mode is served by VantrelNotch.\n");
    return 1;
  }
}
