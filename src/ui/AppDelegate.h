#pragma once

// The running app's shell around the one AppModel: creates the notch
// panel with its viewport, view and reveal animator, the status menu (in
// the tray, and on a right-click on the notch where no tray exists) and,
// on demand, the settings window. It keeps the panel's frame and the
// model's geometry in step with the model and the screens (one coalesced
// layout pass per burst of changes), tells the model where the pointer is,
// closes the notch on Escape and on clicks elsewhere, and guards quitting
// while approval requests wait: quitting hands them back to WorkBuddy's own
// flow, never allows anything.
//
// Main thread only.

#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Preferences.h"
#include "platform/Screens.h"
#include "support/Clock.h"
#include "support/ObserverList.h"
#include "ui/NotchPanel.h"
#include "ui/NotchViewport.h"

class QMenu;
class QSystemTrayIcon;

namespace notch {

class AppModel;
class NotchView;
class OutsideClicks;
class VerticalRevealAnimator;

struct AppDelegateEnvironment {
  const Clock& clock;
  Preferences& preferences;
  Screens& screens;
  // Asked before quitting with `waiting` real requests; true hands them
  // back and quits. The production answer is the quit alert.
  std::function<bool(std::size_t waiting)> confirmQuit;
  // Whether the desktop asks for reduced motion (no animations then).
  std::function<bool()> reduceMotion = [] { return false; };
  // The settings window's content, made once on first opening (a window
  // without content when empty); the delegate titles, sizes and centres it.
  std::function<QWidget*()> makeSettingsWindow = {};
};

class AppDelegate final : public QObject {
public:
  AppDelegate(std::shared_ptr<AppModel> model, AppDelegateEnvironment environment);
  ~AppDelegate() override;

  // Builds everything once and starts the model. `arguments` without the program name.
  void launch(const std::vector<std::string>& arguments);
  // False (and the notch opens) while real requests wait and no quit was confirmed.
  bool shouldTerminate();
  // Stops the services: waiting hooks get no answer and fall back to WorkBuddy's own flow.
  void willTerminate();

  // The status menu's actions.
  void expand();
  void openSettings();
  void demo(bool native);
  void openBuddy();
  void quit();

  NotchPanel* panel() const { return panel_; }
  QMenu* statusMenu() const { return menu_.get(); }
  QWidget* settingsWindow() const { return settingsWindow_; }
  static QString idleToolTip();

protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  void createStatusItem();
  void createPanel();
  void scheduleLayout();
  void layoutPass();
  void synchronisePointer();
  std::size_t waitingRealRequests() const;
  void updateToolTip();
  void showMenuAt(const QPoint& position);

  std::shared_ptr<AppModel> model_;
  AppDelegateEnvironment environment_;
  QPointer<NotchPanel> panel_;
  QPointer<NotchViewport> viewport_;
  NotchView* view_ = nullptr;
  std::unique_ptr<VerticalRevealAnimator> revealAnimator_;
  std::unique_ptr<QMenu> menu_;
  std::unique_ptr<QSystemTrayIcon> statusItem_;
  QPointer<QWidget> settingsWindow_;
  Subscription observation_;
  Subscription displayObserver_;
  std::unique_ptr<OutsideClicks> outsideClicks_;
  double renderedNotchHeight_ = -1;
  bool layoutScheduled_ = false;
  bool explicitQuit_ = false;
  bool confirmingQuit_ = false;
  bool launched_ = false;
};

// The quit alert: "还有 N 条请求待确认", with "继续查看" (the default) and
// "交回 WorkBuddy 并退出"; true for the latter.
bool askToQuitWithWaitingRequests(std::size_t waiting);

} // namespace notch
