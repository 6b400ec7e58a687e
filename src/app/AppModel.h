#pragma once

// The running app's single coordinator. It owns the approval server, the
// turn-end server and the native monitor; takes their callbacks (which
// arrive on their own threads) onto the main queue; feeds them to the notch's
// state machines; owns every timer of the notch (hover, auto-collapse,
// arming of the decision buttons, receipt lifetime); and tells its
// subscribers (views, delegate, settings window) after every change.
//
// Content has three ranks: approval requests and their receipts always
// win; a question reminder shows only without approval content; a turn-end
// reminder only when neither shows. A lower kind is never thrown away by a
// higher one; it waits in its own state.
//
// Everything here runs on the main queue. Create it with `create`: service
// callbacks and delayed work hold the model weakly and do nothing once it
// is gone. No Qt and no system call: everything outside comes through
// AppEnvironment.

#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/AppModelDependencies.h"
#include "app/AppState.h"
#include "core/bridge/ApprovalServer.h"
#include "core/bridge/Decision.h"
#include "core/completion/CompletionServer.h"
#include "core/config/FileSystem.h"
#include "core/native/NativeApprovalMonitor.h"
#include "platform/Accessibility.h"
#include "platform/Clipboard.h"
#include "platform/Preferences.h"
#include "platform/SystemSettings.h"
#include "platform/Workspace.h"
#include "support/Clock.h"
#include "support/ObserverList.h"
#include "support/TaskQueue.h"
#include "support/Uuid.h"

namespace notch {

// The outside world of the model; everything must outlive it.
struct AppEnvironment {
  const Clock& clock;
  TaskQueue& mainQueue;
  TaskQueue& nativeQueue; // the native monitor's own serial queue
  Preferences& preferences;
  Clipboard& clipboard;
  Workspace& workspace;
  SystemSettings& systemSettings;
  const Accessibility& accessibility;
  const FileSystem& fileSystem;
  std::string bridgeDirectory;
  std::string homeDirectory;
  std::optional<std::string> executablePath; // the app's own executable, for hook commands
};

// Production values of the owned services; tests shrink them.
struct AppServiceLimits {
  ApprovalServer::Limits approval{};
  CompletionServer::Limits completion{};
  NativeApprovalMonitor::Limits native{};
};

class AppModel : public std::enable_shared_from_this<AppModel> {
public:
  // Seconds.
  static constexpr double armingMargin = 0.01;
  static constexpr double armingHorizon = 10;
  static constexpr double hoverDelay = 0.22;
  static constexpr double collapseAfterPointerLeft = 0.7;
  static constexpr double collapseAfterReceipt = 0.15;
  static constexpr double receiptLifetimeWithRequests = 1.1;
  static constexpr double receiptLifetimeAlone = 1.8;
  static constexpr double copiedMarkerLifetime = 1.5;
  static constexpr double reminderArmingDelay = 0.45;
  static constexpr double completionPollInterval = 0.2;
  static constexpr double completionAutoClose = 4.0;
  static constexpr double completionCloseAfterPointerLeft = 1.5;
  static constexpr double completionActivationWindow = 30.0;

  static std::shared_ptr<AppModel> create(AppEnvironment environment, AppModelDependencies dependencies,
                                          AppServiceLimits limits = {});
  ~AppModel();
  AppModel(const AppModel&) = delete;
  AppModel& operator=(const AppModel&) = delete;

  const AppState& state() const { return state_; }
  // `onChange` runs on the main queue after every change of `state()`.
  [[nodiscard]] Subscription subscribe(std::function<void()> onChange) { return observers_.add(std::move(onChange)); }

  // Derived from the state.
  bool isExpanded() const;
  bool hasApprovalContent() const;
  bool questionShown() const;
  bool completionSlotFree() const;
  // A turn-end reminder is current, enabled and has the slot.
  bool completionVisible() const;

  void start();
  // Stops every service (the delegate, at quit).
  void stopServices();

  void expand();
  void collapse();
  void setPointerInside(bool inside);
  void collapseIfIdle();
  void select(const std::string& id);
  void selectAdjacent(int offset);
  bool decide(const ApprovalRequest& request, Decision decision);
  void returnDemo();
  // The receipt's "continue" button: the waiting requests need not wait out its lifetime.
  void dismissShownReceipt();
  void showDemo(bool native);
  void copyRequest(const ApprovalRequest& request);
  void setShowAllParameters(bool show);
  void openWorkBuddy(std::optional<std::string> source = std::nullopt);
  void openAccessibilitySettings(bool enableNative);
  void refreshNativeMonitoring();
  void startCompletionReminders();
  void stopCompletionReminders();
  // The reminders' single button (go to WorkBuddy) and the turn-end card's close button.
  bool activateQuestion(const QuestionReminderState::PresentationToken& token);
  bool activateCompletion(const Uuid& token);
  void dismissCompletion(const Uuid& token);
  void refreshConfiguredProfiles();
  void refreshCompletionHookInstalled();

  // Shows a made-up state, for the preview images: nothing is sent,
  // started, stopped or scheduled, and the next real change replaces it.
  void present(AppState state);

  // What the delegate measures and animates.
  void setNotchGeometry(double notchHeight, double panelWidth, double compactWidth);
  void setExpansionPresentation(std::optional<bool> expanded);

  // Installed by the delegate, invoked by the views.
  std::function<void()> showSettings;
  std::function<void()> onQuitRequested;

private:
  AppModel(AppEnvironment environment, AppModelDependencies dependencies, AppServiceLimits limits);

  double now() const { return environment_.clock.now(); }
  void changed() { observers_.notify(); }

  void handleRequest(const ApprovalRequest& request);
  void handleRemoval(const std::string& id);
  void handleNativeStatus(const std::string& status);
  void armApprovalButtons();
  void disarmApprovalButtons();
  void scheduleReceiptDismissal();
  void dismissReceipt(const Uuid& receipt);
  bool autoCollapseAllowed() const;
  void scheduleAutoCollapse(double delay);
  bool deliver(const ApprovalRequest& request, Decision decision);

  // The reminder half (AppModelReminders.cpp). These steps change the
  // state without telling the subscribers; the operation that ran them does.
  void disarmReminders();
  void refreshReminderPresentation();
  void installWorkspaceObservers();
  void questionEnvironmentChanged();
  void receiveQuestionObservation(const QuestionReminderState::Observation& observation, double capturedAt);
  void applyQuestionObservation(QuestionReminderState::Observation observation);
  void disarmQuestion();
  void refreshQuestionPresentation();
  void armQuestion(const QuestionReminderState::PresentationToken& token);
  void handleCompletionEvent(const CompletionEvent& event);
  void completionTick();
  void completionEnvironmentChanged(double at);
  void collapseIfCompletionReplaced(const std::optional<Uuid>& shownBefore);
  void disarmCompletion();
  void refreshCompletionPresentation(double at);
  void armCompletion(const Uuid& token);
  void scheduleCompletionCollapse(double delay);
  std::optional<Uuid> visibleCompletionToken() const;
  bool completionTargetIsBackground(std::int32_t pid) const;

  AppEnvironment environment_;
  AppModelDependencies dependencies_;
  AppState state_;
  ObserverList<> observers_;

  TaskHandle hoverWork_;
  TaskHandle collapseWork_;
  TaskHandle feedbackWork_;
  TaskHandle completionCollapseWork_;
  TaskHandle readinessWork_;
  TaskHandle copiedWork_;
  TaskHandle completionTimer_;
  TaskHandle questionReadinessWork_;
  TaskHandle completionReadinessWork_;
  Uuid readinessGeneration_;
  Uuid questionReadinessGeneration_;
  Uuid questionMonitoringGeneration_;
  Uuid completionEpoch_;
  std::optional<QuestionReminderState::PresentationToken> questionArmingToken_;
  std::optional<Uuid> completionArmingToken_;
  std::optional<Uuid> completionActionConsumed_;
  double questionEnvironmentChangedAt_ = 0;                                          // uptime
  double completionEnvironmentChangedAt_ = -std::numeric_limits<double>::infinity(); // wall clock
  std::vector<Subscription> workspaceObservers_;

  // Declared last: destroyed (and so stopped) first.
  ApprovalServer server_;
  CompletionServer completionServer_;
  NativeApprovalMonitor nativeMonitor_;
};

} // namespace notch
