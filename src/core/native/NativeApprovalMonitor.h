#pragma once

// The only component that reads WorkBuddy's windows and presses WorkBuddy's
// own buttons. While WorkBuddy runs as one background instance it scans
// WorkBuddy every 0.8 s, offers a recognised batch-deletion card to the notch
// as an ApprovalRequest, withdraws the card when it goes, reports a status
// line whenever the status changes, and passes question observations on.
// When the user decides an offered card in the notch, it scans again and
// presses WorkBuddy's button only if exactly the same card is still there.
// It never presses anything the user did not choose, never presses a card
// that changed since it was shown, and does nothing while WorkBuddy is in
// front.
//
// All state lives on the serial queue the monitor is given (in the app,
// "vantrel-notch.native-approval"): the poll timer fires there and every
// callback is invoked there. `start`, `stop`, `decide` and `pollNow` run on
// it, inline when called from it (so callbacks may call them) and otherwise
// waiting until it has run them. A stop or restart silences every later
// callback of a poll or decision that is still under way. The queue must
// outlive the monitor.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "core/bridge/ApprovalRequest.h"
#include "core/bridge/Decision.h"
#include "core/native/NativeMonitorLifecycle.h"
#include "core/native/NativeQuestionTracker.h"
#include "core/native/NativeScanner.h"
#include "core/native/WorkBuddyInstances.h"
#include "core/notch/QuestionReminderState.h"
#include "platform/Accessibility.h"
#include "platform/Workspace.h"
#include "support/Clock.h"
#include "support/TaskQueue.h"

namespace notch {

// Production values; tests shrink or stretch them.
struct NativeApprovalMonitorLimits {
  double pollInterval = 0.8;
  double pollLeeway = 0.08;
  double firstPoll = 0; // seconds from a start to the first poll
  AXReadLimits scan{};
};

class NativeApprovalMonitor {
public:
  using Limits = NativeApprovalMonitorLimits;
  using RequestHandler = std::function<void(const ApprovalRequest& request)>;
  using RemovalHandler = std::function<void(const std::string& requestID)>;
  using StatusHandler = std::function<void(const std::string& status)>;
  // `capturedAt` is the uptime at which the observed scan began.
  using QuestionHandler = std::function<void(const QuestionReminderState::Observation& observation, double capturedAt)>;

  static constexpr std::string_view bundleIdentifier = WorkBuddyInstances::bundleIdentifier;

  NativeApprovalMonitor(const Accessibility& accessibility, const Workspace& workspace, const Clock& clock,
                        TaskQueue& queue, Limits limits = {});
  ~NativeApprovalMonitor();
  NativeApprovalMonitor(const NativeApprovalMonitor&) = delete;
  NativeApprovalMonitor& operator=(const NativeApprovalMonitor&) = delete;

  // Whether this process holds the Accessibility permission.
  bool isTrusted() const;
  // Asks the system to prompt the user for the permission.
  void requestAccess() const;

  // Starts polling, or, while running, changes the callbacks and settings.
  // Without `onQuestion`, question reminders are off.
  void start(RequestHandler onRequest, RemovalHandler onRemoval, StatusHandler onStatus, bool approvalsEnabled,
             QuestionHandler onQuestion = {});
  void stop();

  // Decides the offered card `id`. True when WorkBuddy's button was pressed,
  // or when the decision is `passthrough` and the card was handed back.
  bool decide(const std::string& id, Decision decision);

  // Runs one poll now, as a timer fire does, and returns when it has run.
  void pollNow();

private:
  void startOnQueue(RequestHandler onRequest, RemovalHandler onRemoval, StatusHandler onStatus, bool approvalsEnabled,
                    QuestionHandler onQuestion);
  void stopOnQueue();
  bool decideOnQueue(const std::string& id, Decision decision);
  bool pressIfUnchanged(const Uuid& epoch, const NativeCandidate& offered, Decision decision);
  void pollSafely();
  void poll();
  void pollWithoutPermission(const Uuid& epoch);
  void applyScan(const Uuid& epoch, const NativeScan& scan);
  void offer(const Uuid& epoch, const NativeCandidate& candidate);
  void deliverQuestion(const Uuid& epoch, QuestionReminderState::Observation observation, double capturedAt);

  void retireActive();
  void report(const Uuid& epoch, const std::string& status);

  const Accessibility& accessibility_;
  const Clock& clock_;
  const Limits limits_;
  const WorkBuddyInstances instances_;
  const NativeScanner scanner_;

  TaskQueue& queue_;
  TaskHandle timer_; // empty exactly while the monitor is stopped
  NativeMonitorLifecycle lifecycle_;
  std::optional<NativeCandidate> active_;
  std::set<std::string> suppressed_;
  RequestHandler onRequest_;
  RemovalHandler onRemoval_;
  StatusHandler onStatus_;
  std::optional<std::string> lastStatus_;
  bool approvalsEnabled_ = true;
  QuestionHandler onQuestion_;
  NativeQuestionTracker questions_;
};

} // namespace notch
