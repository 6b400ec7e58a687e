#pragma once

// What the app model shows: every field the views, the delegate and the
// settings window read, with its initial value. Changed only by the model,
// on the main queue.

#include <optional>
#include <string>
#include <vector>

#include "core/completion/CompletionReminderState.h"
#include "core/notch/NotchInteraction.h"
#include "core/notch/QuestionReminderState.h"

namespace notch {

struct AppState {
  NotchInteraction interaction;
  bool serviceReady = false; // the approval socket is being served
  std::string message = "正在启动本地审批桥接…";
  bool isDemo = false;      // the shown request is a built-in demonstration
  bool actionReady = false; // the shown request's buttons are armed
  QuestionReminderState questionState;
  bool questionActionReady = false;
  CompletionReminderState completionState;
  bool completionActionReady = false;
  bool completionActivationFailed = false;
  std::string completionStatus = "本轮结束提醒尚未开启";
  bool completionHookInstalled = false;
  double notchHeight = 32;                   // points
  double panelWidth = 480;                   // points
  double compactWidth = 240;                 // points
  std::optional<bool> expansionPresentation; // the drawn state while the panel animates
  std::optional<std::string> copiedRequestID;
  std::vector<std::string> configuredProfiles; // display names with the approval hook installed
  std::optional<double> lastHookAt;            // wall clock of the last hook request
  bool nativeAccessGranted = false;
  std::string nativeStatus = "原生安全确认尚未开启";

  friend bool operator==(const AppState&, const AppState&) = default;
};

} // namespace notch
