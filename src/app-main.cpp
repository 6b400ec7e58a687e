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
#include "platform/linux/DesktopFileManager.h"
#include "platform/linux/DesktopSystemSettings.h"
#include "platform/linux/X11Workspace.h"
#include "platform/linux/XdgLoginItems.h"
#include "platform/qt/QtClipboard.h"
#include "platform/qt/QtMainQueue.h"
#include "platform/qt/QtPreferences.h"
#include "platform/qt/QtScreens.h"
#include "support/Clock.h"
#include "support/ExecutablePath.h"
#include "support/SerialQueue.h"
#include "ui/AppDelegate.h"
#include "ui/PreviewModes.h"
#include "ui/QuitSignals.h"
#include "ui/SelfTest.h"
#include "ui/SettingsPage.h"

namespace {

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

// The command-line modes speak only in their own lines: Qt's notes about
// the session (a missing runtime directory, the offscreen platform) are
// not the user's business there. Real errors still go out.
void keepQtQuiet() {
  qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtCriticalMsg || type == QtFatalMsg) {
      std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
    }
  });
}

// The preview images never show a window, with or without a display.
int runPreview(int argc, char** argv, const std::vector<std::string_view>& arguments,
               int (*render)(const std::vector<std::string_view>&)) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  keepQtQuiet();
  QApplication application(argc, argv);
  return render(arguments);
}

// The built-in UI checks: one line per failed check, status 1 if any failed.
int runSelfTest(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  keepQtQuiet();
  QApplication application(argc, argv);
  const std::vector<std::string> failures = notch::runUiSelfTest();
  for (const std::string& failure : failures) {
    std::printf("FAILED %s\n", failure.c_str());
  }
  return failures.empty() ? 0 : 1;
}

int runApplication(int argc, char** argv, const std::vector<std::string_view>& arguments) {
  if (std::find(arguments.begin(), arguments.end(), "--render-preview") != arguments.end()) {
    return runPreview(argc, argv, arguments, notch::renderScenePreview);
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
  QApplication::setDesktopFileName("local.vantrel.notch");
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
  const std::string home = notch::homeDirectory().value_or("");
  // Hook commands and the login entry name the public executable beside this image.
  const std::optional<std::string> publicExecutable = notch::siblingExecutable("VantrelNotch");
  notch::SerialQueue settingsQueue("vantrel-notch.settings");
  notch::DesktopFileManager fileManager;
  notch::XdgLoginItems loginItems(notch::xdgAutostartDirectory(home), publicExecutable);
  const auto model = notch::AppModel::create(notch::AppEnvironment{clock, mainQueue, nativeQueue, preferences,
                                                                   clipboard, workspace, systemSettings, accessibility,
                                                                   fileSystem, bridge, home, publicExecutable},
                                             notch::AppModelDependencies::system(workspace, preferences));

  int status = 0;
  {
    notch::AppDelegateEnvironment delegateEnvironment{clock, preferences, screens, {}};
    delegateEnvironment.makeSettingsWindow = [&]() -> QWidget* {
      return new notch::SettingsPage(
          *model,
          notch::SettingsEnvironment{
              preferences, mainQueue, settingsQueue, fileSystem, fileManager, loginItems, home, publicExecutable, {}});
    };
    notch::AppDelegate delegate(model, std::move(delegateEnvironment));
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
    return runPreview(argc, argv, arguments, notch::renderCompletionPreview);
  case notch::CommandLineMode::questionPreview:
    return runPreview(argc, argv, arguments, notch::renderQuestionPreview);
  case notch::CommandLineMode::uiSelfTest:
    return runSelfTest(argc, argv);
  case notch::CommandLineMode::nativeDiagnose:
    return runNativeDiagnosis(argc, argv);
  case notch::CommandLineMode::application:
    return runApplication(argc, argv, arguments);
  default:
    std::fprintf(stderr, "VantrelNotchApp: this mode is served by VantrelNotch.\n");
    return 1;
  }
}
