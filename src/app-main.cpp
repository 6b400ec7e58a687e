// VantrelNotchApp: the image that VantrelNotch replaces itself with for
// every mode that needs the desktop (previews, UI checks, the accessibility
// diagnosis and the notch application itself). Run directly it behaves the
// same; the hook and configuration modes are never served here.
//
// The composition root of the desktop side: the real platform
// implementations are made here and handed down by reference.

#include <QApplication>
#include <QCoreApplication>
#include <QSessionManager>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/AppModel.h"
#include "app/CommandLine.h"
#include "app/NativeDiagnosis.h"
#include "core/bridge/BridgeOwnerLock.h"
#include "core/bridge/BridgePaths.h"
#include "core/config/HomeDirectory.h"
#include "platform/linux/AtSpiAccessibility.h"
#include "platform/linux/DesktopEntry.h"
#include "platform/linux/DesktopSystemSettings.h"
#include "platform/linux/X11Workspace.h"
#include "platform/qt/QtClipboard.h"
#include "platform/qt/QtMainQueue.h"
#include "platform/qt/QtPreferences.h"
#include "platform/qt/QtScreens.h"
#include "support/Clock.h"
#include "support/ExecutablePath.h"
#include "support/SerialQueue.h"
#include "ui/AppDelegate.h"
#include "ui/QuitSignals.h"

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

// The notch runs on X11; on a Wayland session it runs through XWayland
// unless the user chose a Qt platform.
void preferX11() {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
    qputenv("QT_QPA_PLATFORM", "xcb");
  }
}

int runApplication(int argc, char** argv, const std::vector<std::string_view>& arguments) {
  if (std::find(arguments.begin(), arguments.end(), "--render-preview") != arguments.end()) {
    return reportUnavailable("--render-preview");
  }
  // Before anything slow: a second start leaves at once, quietly.
  const std::string bridge = notch::bridgeDirectory();
  const notch::BridgeOwnerLock owner(bridge);
  if (owner.outcome() == notch::BridgeOwnerLock::Outcome::heldElsewhere) {
    return 0;
  }
  preferX11();
  QApplication application(argc, argv);
  QApplication::setApplicationName("Vantrel Dozer");
  QApplication::setApplicationDisplayName("Vantrel Dozer");
  QApplication::setDesktopFileName("vantrel-dozer");
  QApplication::setQuitOnLastWindowClosed(false);

  const notch::SystemClock clock;
  notch::QtMainQueue mainQueue;
  notch::SerialQueue nativeQueue("vantrel-notch.native-approval");
  notch::QtPreferences preferences(mainQueue);
  notch::QtClipboard clipboard;
  notch::QtScreens screens;
  const notch::AtSpiAccessibility accessibility;
  notch::X11Workspace workspace(mainQueue, {"", notch::xdgApplicationDirectories(), {}});
  notch::DesktopSystemSettings systemSettings(workspace);
  const notch::SystemFileSystem fileSystem;
  const auto model = notch::AppModel::create(
      notch::AppEnvironment{clock, mainQueue, nativeQueue, preferences, clipboard, workspace, systemSettings,
                            accessibility, fileSystem, bridge, notch::homeDirectory().value_or(""),
                            notch::siblingExecutable("VantrelNotch")},
      notch::AppModelDependencies::system(workspace, preferences));

  int status = 0;
  {
    notch::AppDelegate delegate(model, notch::AppDelegateEnvironment{clock, preferences, screens, {}});
    // The session is ending: not while real requests wait (the notch opens
    // instead), unless the user already confirmed quitting.
    QObject::connect(&application, &QGuiApplication::commitDataRequest, &delegate, [&](QSessionManager& session) {
      if (!delegate.shouldTerminate() && session.allowsInteraction()) {
        session.cancel();
      }
    });
    // A signal is an orderly quit without questions: waiting hooks end
    // silently and WorkBuddy asks the user itself.
    const notch::QuitSignals quitSignals([] { QCoreApplication::quit(); });
    delegate.launch(std::vector<std::string>(arguments.begin(), arguments.end()));
    status = application.exec();
    delegate.willTerminate();
  }
  return status;
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
    return runApplication(argc, argv, arguments);
  default:
    std::fprintf(stderr, "VantrelNotchApp: this mode is served by VantrelNotch.\n");
    return 1;
  }
}
