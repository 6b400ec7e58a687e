#include "app/AppModel.h"

#include <cmath>

#include "app/DemoRequest.h"
#include "app/PreferenceKeys.h"
#include "core/bridge/TransportError.h"
#include "core/config/ConfiguredProfiles.h"
#include "core/config/HookInstaller.h"
#include "core/config/TargetApplicationProfile.h"
#include "core/notch/ApprovalPresentation.h"
#include "core/text/PublicText.h"

namespace notch {
namespace {

using Kind = NotchInteraction::Feedback::Kind;

constexpr const char* kNativeEvent = "NativeApproval";
constexpr const char* kHookEvent = "PermissionRequest";

// Runs `work` on `queue` with the model, if the model still lives then.
template <typename Work> void postToModel(TaskQueue& queue, const std::weak_ptr<AppModel>& model, Work work) {
  queue.post([model, work = std::move(work)]() mutable {
    if (const auto self = model.lock()) {
      work(*self);
    }
  });
}

// A service callback that hands its arguments to `handler` on the main
// queue, if the model still lives then. It never touches the model itself,
// so a service thread can never be the one that destroys it.
template <typename... Args>
std::function<void(const Args&...)> onMainQueue(TaskQueue& queue, const std::weak_ptr<AppModel>& model,
                                                void (AppModel::*handler)(const Args&...)) {
  return [&queue, model, handler](const Args&... arguments) {
    postToModel(queue, model, [handler, arguments...](AppModel& self) { (self.*handler)(arguments...); });
  };
}

std::optional<std::string> currentID(const NotchInteraction& interaction) {
  const ApprovalRequest* current = interaction.current();
  return current != nullptr ? std::optional(current->id) : std::nullopt;
}

std::optional<Uuid> receiptID(const NotchInteraction& interaction) {
  const auto& feedback = interaction.feedback();
  return feedback ? std::optional(feedback->id) : std::nullopt;
}

Kind receiptFor(Decision decision) {
  switch (decision) {
  case Decision::allow:
    return Kind::allowed;
  case Decision::deny:
    return Kind::denied;
  case Decision::passthrough:
    break;
  }
  return Kind::returned;
}

} // namespace

std::shared_ptr<AppModel> AppModel::create(AppEnvironment environment, AppModelDependencies dependencies,
                                           AppServiceLimits limits) {
  return std::shared_ptr<AppModel>(new AppModel(std::move(environment), std::move(dependencies), limits));
}

AppModel::AppModel(AppEnvironment environment, AppModelDependencies dependencies, AppServiceLimits limits)
    : environment_(std::move(environment)), dependencies_(std::move(dependencies)),
      server_(environment_.bridgeDirectory, environment_.clock, limits.approval),
      completionServer_(environment_.bridgeDirectory, environment_.clock, limits.completion),
      nativeMonitor_(environment_.accessibility, environment_.workspace, environment_.clock, environment_.nativeQueue,
                     limits.native) {
  environment_.preferences.registerDefaults(PreferenceKeys::registeredDefaults());
}

AppModel::~AppModel() {
  workspaceObservers_.clear();
  completionTimer_.cancel();
  stopServices();
}

void AppModel::stopServices() {
  nativeMonitor_.stop();
  server_.stop();
  completionServer_.stop();
}

bool AppModel::isExpanded() const { return state_.expansionPresentation.value_or(state_.interaction.expanded()); }

bool AppModel::hasApprovalContent() const {
  return !state_.interaction.requests().empty() || state_.interaction.feedback().has_value();
}

bool AppModel::questionShown() const {
  return !hasApprovalContent() && state_.questionState.visibleReminder().has_value();
}

bool AppModel::completionSlotFree() const {
  return !hasApprovalContent() && !state_.questionState.visibleReminder().has_value();
}

bool AppModel::completionVisible() const {
  return completionSlotFree() && dependencies_.completionFeatureEnabled() && state_.completionState.current();
}

void AppModel::start() {
  installWorkspaceObservers();
  refreshConfiguredProfiles();
  refreshNativeMonitoring();
  startCompletionReminders();
  const std::weak_ptr<AppModel> weak = weak_from_this();
  TaskQueue& main = environment_.mainQueue;
  try {
    server_.start(onMainQueue(main, weak, &AppModel::handleRequest), onMainQueue(main, weak, &AppModel::handleRemoval));
    state_.serviceReady = true;
    state_.message = "本地桥接已就绪";
  } catch (const TransportError& error) {
    state_.message = "桥接未启动：" + PublicText::administrative(error.what());
    expand(); // so that the user sees why nothing will arrive
  }
  changed();
}

// ---- The approval flow ------------------------------------------------------

void AppModel::handleRequest(const ApprovalRequest& request) {
  if (state_.isDemo) { // a real request ends the demonstration without a receipt
    state_.interaction = NotchInteraction();
    state_.isDemo = false;
    feedbackWork_.cancel();
  }
  const std::optional<std::string> shownBefore = currentID(state_.interaction);
  const bool wasExpanded = state_.interaction.expanded();
  if (!state_.interaction.receive(request, now())) {
    changed();
    return;
  }
  disarmReminders();
  if (request.eventName == kHookEvent) {
    state_.lastHookAt = now();
  }
  collapseWork_.cancel();
  hoverWork_.cancel();
  // A request arriving behind the one the user is looking at must not
  // disarm the buttons under the pointer.
  if (!wasExpanded || currentID(state_.interaction) != shownBefore) {
    armApprovalButtons();
  }
  changed();
}

void AppModel::handleRemoval(const std::string& id) {
  const std::optional<Uuid> receiptBefore = receiptID(state_.interaction);
  const std::optional<std::string> shownBefore = currentID(state_.interaction);
  state_.interaction.disconnected(id, now());
  if (receiptID(state_.interaction) != receiptBefore) {
    scheduleReceiptDismissal();
  } else if (currentID(state_.interaction) != shownBefore) {
    armApprovalButtons();
  }
  refreshReminderPresentation();
  changed();
}

void AppModel::disarmApprovalButtons() {
  state_.actionReady = false;
  readinessGeneration_ = Uuid::random();
  readinessWork_.cancel();
}

void AppModel::armApprovalButtons() {
  disarmApprovalButtons();
  const double delay = std::max(0.0, state_.interaction.readyAt() - now());
  if (!std::isfinite(delay) || delay >= armingHorizon) {
    return; // disarmed for good, until something arms it again
  }
  readinessWork_ = environment_.mainQueue.postAfter(
      delay + armingMargin, [weak = weak_from_this(), generation = readinessGeneration_] {
        const auto self = weak.lock();
        if (!self || self->readinessGeneration_ != generation) {
          return;
        }
        const std::optional<std::string> shown = currentID(self->state_.interaction);
        self->state_.actionReady = shown && self->state_.interaction.canDecide(*shown, self->now());
        self->changed();
      });
}

bool AppModel::decide(const ApprovalRequest& request, Decision decision) {
  if (!state_.actionReady || !state_.interaction.canDecide(request.id, now())) {
    return false;
  }
  // The model's own copy, not the caller's: it is what the user was shown.
  const ApprovalRequest shown = *state_.interaction.current();
  disarmApprovalButtons();
  const bool demo = state_.isDemo;
  const bool delivered = demo || deliver(shown, decision);
  if (!delivered && shown.eventName == kNativeEvent) {
    openWorkBuddy(shown.source); // the card changed: the user decides in WorkBuddy
  }
  state_.interaction.finish(shown.id, delivered ? receiptFor(decision) : Kind::unavailable, demo);
  state_.message = demo        ? "演示结束 · 没有执行任何命令"
                   : delivered ? "上次决定已发送 · 等待下一条请求"
                               : "上条请求已结束";
  state_.isDemo = false;
  scheduleReceiptDismissal();
  changed();
  return delivered;
}

bool AppModel::deliver(const ApprovalRequest& request, Decision decision) {
  return request.eventName == kNativeEvent ? nativeMonitor_.decide(request.id, decision)
                                           : server_.decide(request.id, decision);
}

void AppModel::scheduleReceiptDismissal() {
  feedbackWork_.cancel();
  const std::optional<Uuid> receipt = receiptID(state_.interaction);
  if (!receipt) {
    return;
  }
  disarmReminders();
  state_.actionReady = false;
  const double lifetime = state_.interaction.requests().empty() ? receiptLifetimeAlone : receiptLifetimeWithRequests;
  feedbackWork_ = environment_.mainQueue.postAfter(lifetime, [weak = weak_from_this(), receipt = *receipt] {
    if (const auto self = weak.lock()) {
      self->dismissReceipt(receipt);
    }
  });
}

void AppModel::dismissReceipt(const Uuid& receipt) {
  if (receiptID(state_.interaction) != receipt) {
    return;
  }
  feedbackWork_.cancel();
  state_.interaction.dismissFeedback(now()); // the next request is disarmed for the hand-off delay
  armApprovalButtons();
  refreshReminderPresentation();
  scheduleAutoCollapse(collapseAfterReceipt);
  changed();
}

void AppModel::dismissShownReceipt() {
  if (const std::optional<Uuid> receipt = receiptID(state_.interaction)) {
    dismissReceipt(*receipt);
  }
}

void AppModel::returnDemo() {
  const std::optional<std::string> shown = currentID(state_.interaction);
  if (!state_.isDemo || !shown) {
    return;
  }
  state_.interaction.finish(*shown, Kind::returned, true);
  state_.isDemo = false;
  scheduleReceiptDismissal();
  changed();
}

void AppModel::showDemo(bool native) {
  if (!state_.interaction.requests().empty()) {
    expand(); // a real request (or a demonstration) is already waiting
    return;
  }
  feedbackWork_.cancel();
  disarmReminders();
  state_.interaction = NotchInteraction();
  state_.isDemo = true;
  state_.interaction.receive(demoRequest(native, now()), now());
  armApprovalButtons();
  changed();
}

// ---- Opening, closing, hovering ---------------------------------------------

void AppModel::expand() {
  collapseWork_.cancel();
  hoverWork_.cancel();
  state_.interaction.expand(now());
  armApprovalButtons();
  refreshReminderPresentation();
  changed();
}

void AppModel::collapse() {
  hoverWork_.cancel();
  collapseWork_.cancel();
  if (questionShown()) {
    state_.questionState.collapse();
  }
  if (completionVisible()) {
    state_.completionState.collapse();
  }
  disarmReminders();
  state_.interaction.collapse();
  disarmApprovalButtons();
  changed();
}

void AppModel::setPointerInside(bool inside) {
  hoverWork_.cancel();
  collapseWork_.cancel();
  if (!inside) {
    const bool wasInside = state_.interaction.pointerInside();
    state_.interaction.pointerLeft();
    if (completionVisible()) {
      if (wasInside) {
        scheduleCompletionCollapse(completionCloseAfterPointerLeft);
      }
    } else {
      scheduleAutoCollapse(collapseAfterPointerLeft);
    }
    changed();
    return;
  }
  completionCollapseWork_.cancel();
  if (state_.interaction.pointerEntered() && environment_.preferences.boolValue(PreferenceKeys::hoverToExpand)) {
    hoverWork_ = environment_.mainQueue.postAfter(hoverDelay, [weak = weak_from_this()] {
      const auto self = weak.lock();
      if (self && self->state_.interaction.pointerInside() && !self->state_.interaction.hoverBlockedUntilExit()) {
        self->expand();
      }
    });
  }
  changed();
}

void AppModel::collapseIfIdle() {
  const NotchInteraction& interaction = state_.interaction;
  if (!interaction.pointerInside() && interaction.requests().empty() && !interaction.feedback() && !questionShown() &&
      environment_.preferences.boolValue(PreferenceKeys::autoCollapse)) {
    collapse();
  }
}

bool AppModel::autoCollapseAllowed() const {
  const bool completionShown = completionSlotFree() && state_.completionState.current().has_value();
  return state_.interaction.canAutoCollapse() && !questionShown() && !completionShown &&
         environment_.preferences.boolValue(PreferenceKeys::autoCollapse);
}

void AppModel::scheduleAutoCollapse(double delay) {
  collapseWork_.cancel();
  if (!autoCollapseAllowed()) {
    return;
  }
  collapseWork_ = environment_.mainQueue.postAfter(delay, [weak = weak_from_this()] {
    if (const auto self = weak.lock(); self && self->autoCollapseAllowed()) {
      self->collapse();
    }
  });
}

// ---- Choosing, copying ------------------------------------------------------

void AppModel::select(const std::string& id) {
  if (currentID(state_.interaction) == id) {
    return;
  }
  state_.interaction.select(id, now());
  state_.copiedRequestID.reset();
  armApprovalButtons();
  changed();
}

void AppModel::selectAdjacent(int offset) {
  const std::vector<ApprovalRequest>& requests = state_.interaction.requests();
  const std::optional<std::string> shown = currentID(state_.interaction);
  const auto found = std::find_if(requests.begin(), requests.end(),
                                  [&](const ApprovalRequest& request) { return request.id == shown; });
  if (found == requests.end()) {
    return;
  }
  const auto count = static_cast<long>(requests.size());
  const long index = ((found - requests.begin() + offset) % count + count) % count;
  select(requests[static_cast<std::size_t>(index)].id);
}

void AppModel::copyRequest(const ApprovalRequest& request) {
  environment_.clipboard.setText(state_.interaction.showAllParameters() ? request.toolInputJSON
                                                                        : ApprovalPresentation(request).primaryText);
  state_.copiedRequestID = request.id;
  copiedWork_ = environment_.mainQueue.postAfter(copiedMarkerLifetime, [weak = weak_from_this(), id = request.id] {
    if (const auto self = weak.lock(); self && self->state_.copiedRequestID == id) {
      self->state_.copiedRequestID.reset();
      self->changed();
    }
  });
  changed();
}

void AppModel::setShowAllParameters(bool show) {
  state_.interaction.setShowAllParameters(show);
  changed();
}

// ---- WorkBuddy and the system -----------------------------------------------

void AppModel::openWorkBuddy(std::optional<std::string> source) {
  if (!source) {
    const ApprovalRequest* shown = state_.interaction.current();
    source = shown != nullptr ? shown->source : "";
  }
  for (const std::string& location : bundleCandidates(*source)) {
    if (!environment_.workspace.applicationExists(location)) {
      continue;
    }
    TaskQueue& main = environment_.mainQueue;
    environment_.workspace.openApplication(location,
                                           [weak = weak_from_this(), &main](const std::optional<std::string>& error) {
                                             if (error) {
                                               postToModel(main, weak, [](AppModel& model) {
                                                 model.state_.message = "无法打开WorkBuddy，请手动打开";
                                                 model.expand();
                                               });
                                             }
                                           });
    return;
  }
  state_.message = "未在 Applications 找到WorkBuddy，请手动打开";
  expand();
}

void AppModel::openAccessibilitySettings(bool enableNative) {
  if (enableNative) {
    environment_.preferences.setBool(PreferenceKeys::nativeApprovals, true);
  }
  nativeMonitor_.requestAccess();
  environment_.systemSettings.openAccessibilitySettings();
  refreshNativeMonitoring();
}

void AppModel::refreshNativeMonitoring() {
  state_.nativeAccessGranted = nativeMonitor_.isTrusted();
  const bool approvals = environment_.preferences.boolValue(PreferenceKeys::nativeApprovals);
  const bool questions = environment_.preferences.boolValue(PreferenceKeys::questionReminders);
  questionMonitoringGeneration_ = Uuid::random();
  if (!questions) {
    applyQuestionObservation(QuestionReminderState::Unavailable{});
    state_.questionState = QuestionReminderState();
    if (!approvals) {
      nativeMonitor_.stop();
      state_.nativeStatus = "原生审批和提问提醒均已关闭";
      changed();
      return;
    }
  }
  const std::weak_ptr<AppModel> weak = weak_from_this();
  TaskQueue& main = environment_.mainQueue;
  NativeApprovalMonitor::QuestionHandler onQuestion;
  if (questions) {
    onQuestion = [weak, &main, generation = questionMonitoringGeneration_](
                     const QuestionReminderState::Observation& observation, double capturedAt) {
      postToModel(main, weak, [observation, capturedAt, generation](AppModel& model) {
        if (model.questionMonitoringGeneration_ == generation) {
          model.receiveQuestionObservation(observation, capturedAt);
        }
      });
    };
  }
  nativeMonitor_.start(onMainQueue(main, weak, &AppModel::handleRequest),
                       onMainQueue(main, weak, &AppModel::handleRemoval),
                       onMainQueue(main, weak, &AppModel::handleNativeStatus), approvals, std::move(onQuestion));
  changed();
}

void AppModel::handleNativeStatus(const std::string& status) {
  state_.nativeStatus = status;
  state_.nativeAccessGranted = nativeMonitor_.isTrusted();
  changed();
}

void AppModel::refreshConfiguredProfiles() {
  if (!environment_.executablePath) {
    return;
  }
  state_.configuredProfiles =
      configuredProfiles(environment_.fileSystem, environment_.homeDirectory, *environment_.executablePath);
  changed();
}

void AppModel::refreshCompletionHookInstalled() {
  if (!environment_.executablePath) {
    return;
  }
  const std::string settings = settingsURL(TargetApplicationProfile::workbuddy, environment_.homeDirectory);
  try {
    state_.completionHookInstalled =
        HookInstaller(environment_.fileSystem).completionInstalled(settings, *environment_.executablePath, false);
  } catch (const HookInstallerFailure& failure) {
    state_.completionHookInstalled = false;
    state_.completionStatus = "结束提醒配置需核对：" + PublicText::administrative(failure.message());
  }
  changed();
}

void AppModel::setNotchGeometry(double notchHeight, double panelWidth, double compactWidth) {
  state_.notchHeight = notchHeight;
  state_.panelWidth = panelWidth;
  state_.compactWidth = compactWidth;
  changed();
}

void AppModel::present(AppState state) {
  state_ = std::move(state);
  changed();
}

void AppModel::setExpansionPresentation(std::optional<bool> expanded) {
  state_.expansionPresentation = expanded;
  changed();
}

} // namespace notch
