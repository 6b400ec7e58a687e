#include "core/native/NativeApprovalMonitor.h"

#include <variant>

#include "core/native/NativeButtonCheck.h"

namespace notch {
namespace {

using Observation = QuestionReminderState::Observation;
using Waiting = QuestionReminderState::Waiting;
using Absent = QuestionReminderState::Absent;
using Unavailable = QuestionReminderState::Unavailable;

const std::string kNeedsPermission = "需要辅助功能权限，才能读取 WorkBuddy 的确认卡或提问卡";
const std::string kCardFound = "已发现后台 WorkBuddy 的原生删除确认";

const std::string kDecisionWithoutPermission = "辅助功能权限不可用，请在 WorkBuddy 中确认";
const std::string kCardChanged = "原生确认已变化或无法完整读取，请在 WorkBuddy 中确认";
const std::string kButtonUnavailable = "原生按钮不可用或 WorkBuddy 已在前台，请在原窗口确认";
const std::string kPressed = "已点击原生确认按钮；结果以 WorkBuddy 为准";
const std::string kPressFailed = "原生按钮操作失败，请在 WorkBuddy 中确认";

constexpr const char* kPress = "AXPress";

// Calls one of the app's callbacks through a copy, since the callback may
// restart the monitor and so replace the stored one, and keeps anything it
// throws from leaving the monitor's state half updated.
template <typename Callback, typename... Arguments>
void notify(const Callback& callback, const Arguments&... arguments) {
  if (!callback) {
    return;
  }
  const Callback copy = callback;
  try {
    copy(arguments...);
  } catch (...) {
    // The app's failure is its own; the monitor carries on.
  }
}

bool isWaiting(const Observation& observation) { return std::holds_alternative<Waiting>(observation); }

} // namespace

NativeApprovalMonitor::NativeApprovalMonitor(const Accessibility& accessibility, const Workspace& workspace,
                                             const Clock& clock, TaskQueue& queue, Limits limits)
    : accessibility_(accessibility), clock_(clock), limits_(limits), instances_(workspace),
      scanner_(accessibility, instances_, clock, limits.scan), queue_(queue), questions_(accessibility) {}

// The timer's handler reaches the monitor through `this`: cancelling the
// timer on the queue, before any member is torn down, guarantees that no
// fire runs afterwards, and the timer never keeps the monitor alive.
NativeApprovalMonitor::~NativeApprovalMonitor() {
  queue_.sync([this] { timer_ = TaskHandle(); });
}

bool NativeApprovalMonitor::isTrusted() const { return accessibility_.isTrusted(); }

void NativeApprovalMonitor::requestAccess() const { accessibility_.requestTrust(); }

// ---- Entry points -------------------------------------------------------

void NativeApprovalMonitor::start(RequestHandler onRequest, RemovalHandler onRemoval, StatusHandler onStatus,
                                  bool approvalsEnabled, QuestionHandler onQuestion) {
  queue_.sync([&] {
    startOnQueue(std::move(onRequest), std::move(onRemoval), std::move(onStatus), approvalsEnabled,
                 std::move(onQuestion));
  });
}

void NativeApprovalMonitor::stop() {
  queue_.sync([this] { stopOnQueue(); });
}

bool NativeApprovalMonitor::decide(const std::string& id, Decision decision) {
  bool pressed = false;
  queue_.sync([&] {
    try {
      pressed = decideOnQueue(id, decision);
    } catch (...) {
      pressed = false; // the card is already retired; the user confirms in WorkBuddy
    }
  });
  return pressed;
}

void NativeApprovalMonitor::pollNow() {
  queue_.sync([this] { pollSafely(); });
}

void NativeApprovalMonitor::pollSafely() {
  try {
    poll();
  } catch (...) {
    // Nothing of a failed poll is offered; the next one starts afresh.
  }
}

void NativeApprovalMonitor::startOnQueue(RequestHandler onRequest, RemovalHandler onRemoval, StatusHandler onStatus,
                                         bool approvalsEnabled, QuestionHandler onQuestion) {
  const Uuid epoch = lifecycle_.start();
  onRequest_ = std::move(onRequest);
  onRemoval_ = std::move(onRemoval);
  onStatus_ = std::move(onStatus);
  approvalsEnabled_ = approvalsEnabled;
  if (!approvalsEnabled_) {
    retireActive();
    if (!lifecycle_.isCurrent(epoch)) {
      return; // a callback stopped or restarted the monitor
    }
    suppressed_.clear();
  }
  if (!onQuestion) {
    notify(onQuestion_, Observation(Unavailable{}), clock_.uptime());
    if (!lifecycle_.isCurrent(epoch)) {
      return;
    }
    questions_.reset();
  }
  onQuestion_ = std::move(onQuestion);
  // The timer exists exactly while the monitor runs, also when a callback
  // above started it again: a start that finds none makes one.
  if (timer_.empty()) {
    lastStatus_.reset();
    timer_ = queue_.repeat(limits_.pollInterval, limits_.pollLeeway, limits_.firstPoll, [this] { pollSafely(); });
  }
}

void NativeApprovalMonitor::stopOnQueue() {
  const Uuid epoch = lifecycle_.stop();
  timer_ = TaskHandle();
  const std::optional<std::string> activeID = active_ ? std::optional<std::string>(active_->request.id) : std::nullopt;
  const RemovalHandler onRemoval = std::move(onRemoval_);
  const QuestionHandler onQuestion = std::move(onQuestion_);
  active_.reset();
  suppressed_.clear();
  onRequest_ = nullptr;
  onRemoval_ = nullptr;
  onStatus_ = nullptr;
  onQuestion_ = nullptr;
  questions_.reset();
  if (activeID) {
    notify(onRemoval, *activeID);
  }
  if (lifecycle_.epoch() == epoch) {
    notify(onQuestion, Observation(Unavailable{}), clock_.uptime());
  }
}

// ---- Polling ------------------------------------------------------------

void NativeApprovalMonitor::poll() {
  if (!lifecycle_.running()) {
    return;
  }
  const Uuid epoch = lifecycle_.epoch();
  if (!accessibility_.isTrusted()) {
    pollWithoutPermission(epoch);
    return;
  }
  const NativeScan scan = scanner_.scan(approvalsEnabled_, onQuestion_ ? &questions_ : nullptr);
  // Absence and unavailability reach the question reminder first; a waiting
  // question only after the approval side has settled.
  if (!isWaiting(scan.question)) {
    deliverQuestion(epoch, scan.question, scan.startedAt);
  }
  if (lifecycle_.isCurrent(epoch)) {
    applyScan(epoch, scan);
  }
  if (isWaiting(scan.question)) {
    deliverQuestion(epoch, scan.question, scan.startedAt);
  }
}

void NativeApprovalMonitor::pollWithoutPermission(const Uuid& epoch) {
  if (onQuestion_) {
    questions_.observeUnavailable();
    notify(onQuestion_, Observation(Unavailable{}), clock_.uptime());
  }
  if (lifecycle_.isCurrent(epoch)) {
    retireActive();
    report(epoch, kNeedsPermission);
  }
}

void NativeApprovalMonitor::applyScan(const Uuid& epoch, const NativeScan& scan) {
  if (scan.complete) {
    if (!scan.recognizable) {
      suppressed_.clear(); // no labelled button at all: a decided card may be offered again
    }
    const std::optional<NativeCandidate>& candidate = scan.candidate;
    if (!scan.isForeground && candidate && !suppressed_.contains(candidate->fingerprint) &&
        instances_.onlyInstanceIsInBackground(candidate->pid)) {
      offer(epoch, *candidate);
      return;
    }
  }
  retireActive();
  report(epoch, scan.status);
}

void NativeApprovalMonitor::offer(const Uuid& epoch, const NativeCandidate& candidate) {
  if (active_ && active_->fingerprint == candidate.fingerprint &&
      accessibility_.sameElement(active_->allow, candidate.allow) &&
      accessibility_.sameElement(active_->deny, candidate.deny)) {
    report(epoch, kCardFound);
    return;
  }
  retireActive();
  const auto mayOffer = [&] {
    return lifecycle_.isCurrent(epoch) && approvalsEnabled_ && instances_.onlyInstanceIsInBackground(candidate.pid);
  };
  if (!mayOffer()) {
    return;
  }
  report(epoch, kCardFound);
  if (!mayOffer()) {
    return;
  }
  active_ = candidate;
  notify(onRequest_, candidate.request);
}

void NativeApprovalMonitor::deliverQuestion(const Uuid& epoch, Observation observation, double capturedAt) {
  if (!lifecycle_.isCurrent(epoch) || !onQuestion_) {
    return;
  }
  if (const auto* waiting = std::get_if<Waiting>(&observation);
      waiting && !instances_.onlyInstanceIsInBackground(waiting->reminder.pid)) {
    observation = Unavailable{};
  }
  if (std::holds_alternative<Absent>(observation)) {
    questions_.observeAbsence(); // the second absence in a row forgets the flow
  } else if (std::holds_alternative<Unavailable>(observation)) {
    questions_.observeUnavailable();
  }
  notify(onQuestion_, observation, capturedAt);
}

void NativeApprovalMonitor::retireActive() {
  if (!active_) {
    return;
  }
  const std::string id = active_->request.id;
  active_.reset();
  notify(onRemoval_, id);
}

void NativeApprovalMonitor::report(const Uuid& epoch, const std::string& status) {
  if (!lifecycle_.isCurrent(epoch) || lastStatus_ == status) {
    return;
  }
  lastStatus_ = status;
  notify(onStatus_, status);
}

// ---- Deciding -----------------------------------------------------------

bool NativeApprovalMonitor::decideOnQueue(const std::string& id, Decision decision) {
  if (!lifecycle_.running() || !approvalsEnabled_ || !active_ || active_->request.id != id) {
    return false;
  }
  const Uuid epoch = lifecycle_.epoch();
  const NativeCandidate offered = *active_;
  retireActive(); // the notch drops the card at once, whatever happens next
  if (!lifecycle_.isCurrent(epoch) || !approvalsEnabled_) {
    return false;
  }
  suppressed_.insert(offered.fingerprint);
  if (decision == Decision::passthrough) {
    return true; // handed back: WorkBuddy's own card stays for the user
  }
  if (!accessibility_.isTrusted()) {
    report(epoch, kDecisionWithoutPermission);
    return false;
  }
  return pressIfUnchanged(epoch, offered, decision);
}

bool NativeApprovalMonitor::pressIfUnchanged(const Uuid& epoch, const NativeCandidate& offered, Decision decision) {
  // The last look before a press is at the card itself, never at a copy.
  std::vector<AXElementRef> cardElements = offered.contextElements;
  cardElements.insert(cardElements.end(), {offered.container, offered.allow, offered.deny});
  const bool readLive = accessibility_.refreshLive(cardElements);
  const NativeScan fresh = scanner_.scan(approvalsEnabled_, nullptr);
  if (!readLive || !fresh.complete || fresh.isForeground || !fresh.candidate ||
      !isSameCard(accessibility_, offered, *fresh.candidate)) {
    report(epoch, kCardChanged);
    return false;
  }
  const NativeCandidate& card = *fresh.candidate;
  const bool allow = decision == Decision::allow;
  const AXElementRef& target = allow ? card.allow : card.deny;
  const std::string_view label = allow ? NativeApprovalClassifier::allowLabel : NativeApprovalClassifier::denyLabel;
  if (lifecycle_.isCurrent(epoch) && approvalsEnabled_ &&
      NativeButtonCheck::isPressable(accessibility_, target, label) &&
      instances_.onlyInstanceIsInBackground(card.pid) && lifecycle_.isCurrent(epoch)) {
    if (accessibility_.performAction(target, kPress)) {
      report(epoch, kPressed);
      return true;
    }
    report(epoch, kPressFailed);
    return false;
  }
  report(epoch, kButtonUnavailable);
  return false;
}

} // namespace notch
