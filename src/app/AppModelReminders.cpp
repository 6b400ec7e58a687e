// The reminder half of the app model: question reminders from the native
// monitor and turn-end reminders from the turn-end server, shown only when
// no approval content holds the notch, each with one button that brings
// WorkBuddy forward, armed after the hand-off delay and working at most once
// per presentation. A reminder never answers or decides anything.

#include <cassert>

#include "app/AppModel.h"
#include "core/bridge/TransportError.h"
#include "core/native/NativeQuestionClassifier.h"
#include "core/text/PublicText.h"

namespace notch {
namespace {

using Observation = QuestionReminderState::Observation;
using QuestionToken = QuestionReminderState::PresentationToken;

std::string statusFor(const CompletionEvent& event) {
  if (event.kind == CompletionEvent::Kind::started) {
    return "已收到新一轮开始，等待对应终态";
  }
  return event.reason == CompletionEvent::Reason::completed ? "已收到正常结束事件，仅配对后台新轮次提醒"
                                                            : "已收到非正常或不明终态，不作为完成提示";
}

// What the views draw of turn-end reminders (and the tracking they may
// report); a tick that leaves it alone tells nobody.
struct CompletionSnapshot {
  std::optional<Uuid> current;
  std::size_t queued = 0;
  std::size_t tracked = 0;
  bool presented = false;
  bool expanded = false;
  bool ready = false;
  friend bool operator==(const CompletionSnapshot&, const CompletionSnapshot&) = default;
};

CompletionSnapshot snapshotOf(const AppState& state) {
  const auto& reminders = state.completionState;
  return {reminders.current() ? std::optional(reminders.current()->token) : std::nullopt,
          reminders.queuedCount(),
          reminders.trackedSessionCount(),
          reminders.hasBeenPresented(),
          state.interaction.expanded(),
          state.completionActionReady};
}

} // namespace

void AppModel::disarmReminders() {
  disarmQuestion();
  disarmCompletion();
}

void AppModel::refreshReminderPresentation() {
  refreshQuestionPresentation();
  refreshCompletionPresentation(now());
}

// WorkBuddy coming to the front, hiding or ending ends what the reminders
// showed about it.
void AppModel::installWorkspaceObservers() {
  if (!workspaceObservers_.empty()) {
    return;
  }
  workspaceObservers_.push_back(
      environment_.workspace.observeApplications([weak = weak_from_this()](const ApplicationChange&) {
        if (const auto self = weak.lock()) {
          self->questionEnvironmentChanged();
          self->completionEnvironmentChanged(self->now());
          self->changed();
        }
      }));
}

// ---- Questions ----------------------------------------------------------------

void AppModel::questionEnvironmentChanged() {
  questionEnvironmentChangedAt_ = environment_.clock.uptime();
  const auto& reminder = state_.questionState.visibleReminder();
  if (reminder && !dependencies_.questionIsBackground(reminder->pid)) {
    applyQuestionObservation(QuestionReminderState::Unavailable{});
  }
}

void AppModel::receiveQuestionObservation(const Observation& observation, double capturedAt) {
  assert(environment_.mainQueue.isCurrent());
  if (const auto* waiting = std::get_if<QuestionReminderState::Waiting>(&observation)) {
    if (!QuestionObservationFreshness::acceptsWaiting(
            capturedAt, environment_.clock.uptime(), questionEnvironmentChangedAt_, true,
            dependencies_.questionFeatureEnabled(), dependencies_.questionIsBackground(waiting->reminder.pid))) {
      return;
    }
  }
  // The native monitor reports every scan, most of them the same as the
  // last: only a change wakes the views.
  const AppState before = state_;
  applyQuestionObservation(observation);
  if (state_ != before) {
    changed();
  }
}

void AppModel::applyQuestionObservation(Observation observation) {
  const bool wasShown = questionShown();
  if (const auto* waiting = std::get_if<QuestionReminderState::Waiting>(&observation);
      waiting && !dependencies_.questionIsBackground(waiting->reminder.pid)) {
    observation = QuestionReminderState::Unavailable{};
  }
  state_.questionState.observe(observation);
  if (!questionShown()) {
    disarmQuestion();
    if (wasShown && !hasApprovalContent()) {
      collapse();
    }
  }
  refreshQuestionPresentation();
  refreshCompletionPresentation(now());
}

void AppModel::disarmQuestion() {
  state_.questionActionReady = false;
  questionArmingToken_.reset();
  questionReadinessGeneration_ = Uuid::random();
  questionReadinessWork_.cancel();
}

void AppModel::refreshQuestionPresentation() {
  QuestionReminderState& questions = state_.questionState;
  const std::optional<QuestionReminder> reminder = questions.visibleReminder();
  if (hasApprovalContent() || !reminder) {
    disarmQuestion();
    return;
  }
  if (!dependencies_.questionIsBackground(reminder->pid)) {
    questions.observe(QuestionReminderState::Unavailable{});
    disarmQuestion();
    return;
  }
  collapseWork_.cancel();
  hoverWork_.cancel();
  if (questions.claimAutoExpansion(true)) {
    state_.interaction.expand(now()); // a question stays until it is answered in WorkBuddy: no automatic close
  }
  if (!state_.interaction.expanded() || !questions.token() ||
      questions.handoffStatus() != QuestionReminderState::HandoffStatus::idle) {
    disarmQuestion();
    return;
  }
  if (questionArmingToken_ != questions.token()) {
    armQuestion(*questions.token());
  }
}

void AppModel::armQuestion(const QuestionToken& token) {
  disarmQuestion();
  questionArmingToken_ = token;
  questionReadinessWork_ = environment_.mainQueue.postAfter(
      reminderArmingDelay, [weak = weak_from_this(), generation = questionReadinessGeneration_, token] {
        const auto self = weak.lock();
        if (!self || self->questionReadinessGeneration_ != generation) {
          return;
        }
        const QuestionReminderState& questions = self->state_.questionState;
        const auto& reminder = questions.visibleReminder();
        if (!self->state_.interaction.expanded() || questions.token() != token ||
            questions.handoffStatus() != QuestionReminderState::HandoffStatus::idle || self->hasApprovalContent() ||
            !reminder) {
          return;
        }
        if (self->dependencies_.questionIsBackground(reminder->pid)) {
          self->state_.questionActionReady = true;
        } else {
          self->applyQuestionObservation(QuestionReminderState::Unavailable{});
        }
        self->changed();
      });
}

bool AppModel::activateQuestion(const QuestionToken& token) {
  const std::optional<QuestionReminder> reminder = state_.questionState.visibleReminder();
  if (!state_.questionActionReady || !state_.interaction.expanded() || hasApprovalContent() || !reminder) {
    return false;
  }
  if (!dependencies_.questionIsBackground(reminder->pid)) {
    applyQuestionObservation(QuestionReminderState::Unavailable{});
    changed();
    return false;
  }
  const auto handoff = state_.questionState.beginHandoff(token, true);
  if (!handoff) {
    return false;
  }
  disarmQuestion();
  const bool activated = dependencies_.questionActivate(handoff->pid());
  const bool completed = state_.questionState.completeHandoff(handoff->token, activated);
  if (completed && activated && !hasApprovalContent()) {
    collapse();
  }
  changed();
  return completed && activated;
}

// ---- Turn ends ----------------------------------------------------------------

void AppModel::startCompletionReminders() {
  stopCompletionReminders();
  refreshCompletionHookInstalled();
  if (!dependencies_.completionFeatureEnabled()) {
    state_.completionStatus = "本轮结束提醒已关闭";
    changed();
    return;
  }
  const std::weak_ptr<AppModel> weak = weak_from_this();
  TaskQueue& main = environment_.mainQueue;
  try {
    completionServer_.start([weak, &main, epoch = completionEpoch_](const CompletionEvent& event) {
      main.post([weak, event, epoch] {
        if (const auto self = weak.lock(); self && self->completionEpoch_ == epoch) {
          self->handleCompletionEvent(event);
        }
      });
    });
  } catch (const TransportError& error) {
    state_.completionStatus = "结束提醒未启动：" + PublicText::administrative(error.what());
    changed();
    return;
  }
  state_.completionStatus =
      state_.completionHookInstalled ? "已接入，等待新一轮开始与结束事件" : "通知通道就绪；请单独安装结束提醒 Hook";
  completionTimer_ = main.repeat(completionPollInterval, completionPollInterval / 4, completionPollInterval, [weak] {
    if (const auto self = weak.lock()) {
      self->completionTick();
    }
  });
  changed();
}

void AppModel::stopCompletionReminders() {
  const bool wasVisible = completionSlotFree() && state_.completionState.current();
  completionEpoch_ = Uuid::random(); // events and ticks of the stopped run find a new epoch
  completionTimer_.cancel();
  completionCollapseWork_.cancel();
  completionServer_.stop();
  state_.completionState.reset();
  disarmCompletion();
  if (wasVisible) {
    collapse();
  }
  changed();
}

std::optional<Uuid> AppModel::visibleCompletionToken() const {
  return completionVisible() ? std::optional(state_.completionState.current()->token) : std::nullopt;
}

bool AppModel::completionTargetIsBackground(std::int32_t pid) const {
  return dependencies_.completionTarget() == pid && dependencies_.completionIsBackground(pid);
}

void AppModel::handleCompletionEvent(const CompletionEvent& event) {
  assert(environment_.mainQueue.isCurrent());
  const double at = now();
  const std::optional<Uuid> shownBefore = visibleCompletionToken();
  const bool enabled = dependencies_.completionFeatureEnabled();
  const double age = at - event.observedAt;
  if (enabled && event.isValid() && age >= 0 && age <= CompletionReminderState::eventAgeWindow) {
    state_.completionStatus = statusFor(event);
  }
  // A turn that ended before WorkBuddy last changed state may have ended
  // while it was in front: never a background turn.
  const std::optional<std::int32_t> pid = dependencies_.completionTarget();
  const bool background =
      pid && event.observedAt >= completionEnvironmentChangedAt_ && dependencies_.completionIsBackground(*pid);
  state_.completionState.observe(event, pid, background, enabled, at);
  collapseIfCompletionReplaced(shownBefore);
  refreshCompletionPresentation(at);
  changed();
}

// Five times a second: retires reminders that ran out and brings the next
// one up, while WorkBuddy's process is the one in the background. Works in
// place (a copy of 256 sessions per tick would cost more than the tick) and
// tells the subscribers only when something they draw changed.
void AppModel::completionTick() {
  assert(environment_.mainQueue.isCurrent());
  const double at = now();
  const CompletionSnapshot before = snapshotOf(state_);
  const std::optional<Uuid> shownBefore = visibleCompletionToken();
  CompletionReminderState& reminders = state_.completionState;
  const std::optional<std::int32_t> pid = dependencies_.completionTarget();
  if (!dependencies_.completionFeatureEnabled()) {
    reminders.reset();
  } else if (pid && dependencies_.completionIsBackground(*pid)) {
    reminders.refresh(at);
    if (reminders.current() && reminders.current()->pid != *pid) {
      reminders.clearPresentation(); // WorkBuddy restarted: the old process's turns are gone
    }
  } else {
    reminders.clearPresentation();
  }
  collapseIfCompletionReplaced(shownBefore);
  refreshCompletionPresentation(at);
  if (snapshotOf(state_) != before) {
    changed();
  }
}

void AppModel::completionEnvironmentChanged(double at) {
  completionEnvironmentChangedAt_ = std::max(completionEnvironmentChangedAt_, at);
  const bool wasVisible = completionSlotFree() && state_.completionState.current();
  if (state_.completionState.queuedCount() > 0) {
    state_.completionState.clearPresentation();
  }
  disarmCompletion();
  if (wasVisible) {
    collapse();
  }
}

void AppModel::collapseIfCompletionReplaced(const std::optional<Uuid>& shownBefore) {
  if (shownBefore && visibleCompletionToken() != shownBefore && completionSlotFree()) {
    collapse();
  }
}

void AppModel::disarmCompletion() {
  state_.completionActionReady = false;
  completionArmingToken_.reset();
  completionReadinessWork_.cancel();
  completionCollapseWork_.cancel();
}

void AppModel::refreshCompletionPresentation(double at) {
  if (!completionVisible()) {
    disarmCompletion();
    return;
  }
  const CompletionReminder reminder = *state_.completionState.current();
  if (!completionTargetIsBackground(reminder.pid)) {
    disarmCompletion();
    return;
  }
  if (!state_.completionState.hasBeenPresented() && state_.completionState.claimAutoExpansion(true, at)) {
    collapseWork_.cancel();
    hoverWork_.cancel();
    state_.interaction.expand(at);
    scheduleCompletionCollapse(completionAutoClose);
  }
  // Claiming ages the queue, so the reminder may have run out meanwhile.
  const std::optional<Uuid> shown = visibleCompletionToken();
  if (!shown || !state_.interaction.expanded() || completionActionConsumed_ == shown) {
    disarmCompletion();
    return;
  }
  if (completionArmingToken_ != shown) {
    armCompletion(*shown);
  }
}

void AppModel::armCompletion(const Uuid& token) {
  completionArmingToken_ = token;
  state_.completionActionReady = false;
  state_.completionActivationFailed = false;
  completionReadinessWork_ =
      environment_.mainQueue.postAfter(reminderArmingDelay, [weak = weak_from_this(), epoch = completionEpoch_, token] {
        const auto self = weak.lock();
        if (!self || self->completionEpoch_ != epoch || self->completionArmingToken_ != token ||
            !self->state_.interaction.expanded() || self->visibleCompletionToken() != token ||
            self->completionActionConsumed_ == token ||
            !self->completionTargetIsBackground(self->state_.completionState.current()->pid)) {
          return;
        }
        self->state_.completionActionReady = true;
        self->changed();
      });
}

void AppModel::scheduleCompletionCollapse(double delay) {
  completionCollapseWork_.cancel();
  if (!completionVisible() || !dependencies_.completionAutoCollapseEnabled()) {
    return;
  }
  completionCollapseWork_ = environment_.mainQueue.postAfter(
      delay, [weak = weak_from_this(), token = state_.completionState.current()->token] {
        const auto self = weak.lock();
        if (!self) {
          return;
        }
        const auto& current = self->state_.completionState.current();
        if (current && current->token == token && self->state_.interaction.expanded() &&
            !self->state_.interaction.pointerInside() && self->dependencies_.completionAutoCollapseEnabled()) {
          self->collapse();
        }
      });
}

bool AppModel::activateCompletion(const Uuid& token) {
  if (!state_.completionActionReady || !state_.interaction.expanded() || visibleCompletionToken() != token ||
      completionActionConsumed_ == token) {
    return false;
  }
  const CompletionReminder reminder = *state_.completionState.current();
  if (!completionTargetIsBackground(reminder.pid) || now() - reminder.receivedAt >= completionActivationWindow) {
    return false;
  }
  completionActionConsumed_ = token; // the button works once, whatever happens next
  disarmCompletion();
  const bool activated = dependencies_.completionActivate(reminder.pid);
  state_.completionActivationFailed = !activated;
  if (activated) {
    state_.completionState.dismiss(token);
    if (completionSlotFree()) {
      collapse();
    }
  }
  changed();
  return activated;
}

void AppModel::dismissCompletion(const Uuid& token) {
  if (visibleCompletionToken() != token) {
    return;
  }
  state_.completionState.dismiss(token);
  disarmCompletion();
  if (completionSlotFree()) {
    collapse();
  }
  changed();
}

} // namespace notch
