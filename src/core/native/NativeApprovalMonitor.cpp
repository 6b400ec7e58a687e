#include "core/native/NativeApprovalMonitor.h"

#include <algorithm>
#include <variant>

#include "core/native/NativeButtonCheck.h"
#include "core/native/NativeCardRequest.h"
#include "core/native/NativeQuestionClassifier.h"

namespace notch {
namespace {

using Observation = QuestionReminderState::Observation;
using Waiting = QuestionReminderState::Waiting;
using Absent = QuestionReminderState::Absent;
using Unavailable = QuestionReminderState::Unavailable;

const std::string kNeedsPermission = "需要辅助功能权限，才能读取 WorkBuddy 的确认卡或提问卡";
const std::string kNotRunning = "WorkBuddy 未运行";
const std::string kSeveralInstances = "存在多个 WorkBuddy 实例，请在原窗口确认";
const std::string kInFront = "WorkBuddy 正在前台，原生确认留在原窗口";
const std::string kHidden = "WorkBuddy 已隐藏，请打开原窗口确认";
const std::string kQuestionsOnlyWaiting = "等待后台 WorkBuddy 提问（删除审批已关闭）";
const std::string kQuestionsOnlyFound = "已发现后台 WorkBuddy 提问，刘海仅提供去回答";
const std::string kIncompleteScan = "无法完整读取原生确认，请在 WorkBuddy 中确认";
const std::string kFallbackQuestion = "已读取后台提问；备用窗口仅用于提醒，不用于审批";
const std::string kUnverifiedCard = "已读到审批按钮，但卡片结构或完整命令未通过校验，请在 WorkBuddy 确认";
const std::string kWaitingForCard = "等待 WorkBuddy 的原生删除确认";
const std::string kContextChanged = "原生确认的上下文已变化，请在 WorkBuddy 中确认";
const std::string kStateChanged = "WorkBuddy 状态已变化，请在原窗口确认";
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

const AXElementRef* lookUp(const std::map<std::string, AXElementRef>& elements, const std::string& id) {
  const auto found = elements.find(id);
  return found != elements.end() ? &found->second : nullptr;
}

} // namespace

NativeApprovalMonitor::NativeApprovalMonitor(const Accessibility& accessibility, const Workspace& workspace,
                                             const Clock& clock, TaskQueue& queue, Limits limits)
    : accessibility_(accessibility), workspace_(workspace), clock_(clock), limits_(limits), queue_(queue) {}

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
    questionFlow_.reset();
    questionBinding_.reset();
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
  questionFlow_.reset();
  questionBinding_.reset();
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
  const Snapshot snapshot = takeSnapshot(static_cast<bool>(onQuestion_));
  // Absence and unavailability reach the question reminder first; a waiting
  // question only after the approval side has settled.
  if (!isWaiting(snapshot.question)) {
    deliverQuestion(epoch, snapshot.question, snapshot.startedAt);
  }
  if (lifecycle_.isCurrent(epoch)) {
    applySnapshot(epoch, snapshot);
  }
  if (isWaiting(snapshot.question)) {
    deliverQuestion(epoch, snapshot.question, snapshot.startedAt);
  }
}

void NativeApprovalMonitor::pollWithoutPermission(const Uuid& epoch) {
  if (onQuestion_) {
    questionFlow_.observeUnavailable();
    notify(onQuestion_, Observation(Unavailable{}), clock_.uptime());
  }
  if (lifecycle_.isCurrent(epoch)) {
    retireActive();
    report(epoch, kNeedsPermission);
  }
}

void NativeApprovalMonitor::applySnapshot(const Uuid& epoch, const Snapshot& snapshot) {
  if (snapshot.complete) {
    if (!snapshot.recognizable) {
      suppressed_.clear(); // no labelled button at all: a decided card may be offered again
    }
    const std::optional<Candidate>& candidate = snapshot.candidate;
    if (!snapshot.isForeground && candidate && !suppressed_.contains(candidate->fingerprint) &&
        isBackgroundWorkBuddy(candidate->pid)) {
      offer(epoch, *candidate);
      return;
    }
  }
  retireActive();
  report(epoch, snapshot.status);
}

void NativeApprovalMonitor::offer(const Uuid& epoch, const Candidate& candidate) {
  if (active_ && active_->fingerprint == candidate.fingerprint &&
      accessibility_.sameElement(active_->allow, candidate.allow) &&
      accessibility_.sameElement(active_->deny, candidate.deny)) {
    report(epoch, kCardFound);
    return;
  }
  retireActive();
  const auto mayOffer = [&] {
    return lifecycle_.isCurrent(epoch) && approvalsEnabled_ && isBackgroundWorkBuddy(candidate.pid);
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
      waiting && !isBackgroundWorkBuddy(waiting->reminder.pid)) {
    observation = Unavailable{};
  }
  if (std::holds_alternative<Absent>(observation)) {
    questionFlow_.observeAbsence(); // the second absence in a row forgets the flow
  } else if (std::holds_alternative<Unavailable>(observation)) {
    questionFlow_.observeUnavailable();
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
  const Candidate offered = *active_;
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

bool NativeApprovalMonitor::pressIfUnchanged(const Uuid& epoch, const Candidate& offered, Decision decision) {
  const Snapshot fresh = takeSnapshot(false);
  if (!fresh.complete || fresh.isForeground || !fresh.candidate || !isSameCard(offered, *fresh.candidate)) {
    report(epoch, kCardChanged);
    return false;
  }
  const Candidate& card = *fresh.candidate;
  const bool allow = decision == Decision::allow;
  const AXElementRef& target = allow ? card.allow : card.deny;
  const std::string_view label = allow ? NativeApprovalClassifier::allowLabel : NativeApprovalClassifier::denyLabel;
  if (lifecycle_.isCurrent(epoch) && approvalsEnabled_ &&
      NativeButtonCheck::isPressable(accessibility_, target, label) && isBackgroundWorkBuddy(card.pid) &&
      lifecycle_.isCurrent(epoch)) {
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

bool NativeApprovalMonitor::isSameCard(const Candidate& offered, const Candidate& fresh) const {
  const auto same = [this](const AXElementRef& a, const AXElementRef& b) { return accessibility_.sameElement(a, b); };
  return offered.fingerprint == fresh.fingerprint && offered.pid == fresh.pid && same(offered.window, fresh.window) &&
         same(offered.container, fresh.container) && same(offered.allow, fresh.allow) &&
         same(offered.deny, fresh.deny) && offered.layout == fresh.layout &&
         std::equal(offered.contextElements.begin(), offered.contextElements.end(), fresh.contextElements.begin(),
                    fresh.contextElements.end(), same) &&
         offered.context == fresh.context;
}

// ---- Snapshots ----------------------------------------------------------

NativeApprovalMonitor::Snapshot NativeApprovalMonitor::takeSnapshot(bool wantQuestion) {
  Snapshot snapshot;
  snapshot.startedAt = clock_.uptime();
  snapshot.status = kWaitingForCard;
  const std::vector<RunningApplication> applications = runningWorkBuddies();
  if (applications.empty()) {
    snapshot.status = kNotRunning; // nothing is missed: the snapshot stays complete
    return snapshot;
  }
  snapshot.complete = false;
  if (applications.size() > 1) {
    snapshot.status = kSeveralInstances;
  } else if (applications.front().active) {
    snapshot.isForeground = true;
    snapshot.status = kInFront;
  } else if (applications.front().hidden) {
    snapshot.status = kHidden;
  } else {
    scan(snapshot, applications.front().pid, wantQuestion);
  }
  return snapshot;
}

void NativeApprovalMonitor::scan(Snapshot& snapshot, std::int32_t pid, bool wantQuestion) {
  AXRead reader(accessibility_, clock_, pid, limits_.scan);
  const std::vector<NativeApprovalNode> roots = reader.readWindows(wantQuestion);
  snapshot.complete = reader.coverage().approvalComplete();
  if (wantQuestion) {
    snapshot.question = observeQuestion(reader, roots, pid);
    if (!isStillInBackground(pid)) {
      snapshot.question = Unavailable{};
    }
  }
  const bool questionWaiting = isWaiting(snapshot.question);
  if (!approvalsEnabled_) {
    snapshot.status = questionWaiting ? kQuestionsOnlyFound : kQuestionsOnlyWaiting;
    return;
  }
  if (!snapshot.complete) {
    snapshot.status = questionWaiting ? kFallbackQuestion : kIncompleteScan;
    return;
  }
  snapshot.recognizable = NativeApprovalClassifier::hasRecognizableButtons(roots);
  const auto match = NativeApprovalClassifier::uniqueMatch(roots);
  if (match) {
    snapshot.candidate = candidateFor(snapshot, reader, *match, pid);
  } else {
    snapshot.status = unmatchedStatus(snapshot.recognizable);
  }
  if (snapshot.candidate && !isBackgroundWorkBuddy(pid)) {
    snapshot.candidate.reset();
    snapshot.complete = false;
    snapshot.question = Unavailable{};
    snapshot.isForeground = isWorkBuddyActive();
    snapshot.status = kStateChanged;
  }
}

std::optional<NativeApprovalMonitor::Candidate> NativeApprovalMonitor::candidateFor(Snapshot& snapshot,
                                                                                    const AXRead& reader,
                                                                                    const NativeApprovalMatch& match,
                                                                                    std::int32_t pid) {
  const auto& elements = reader.elements();
  const AXElementRef* window = lookUp(elements, match.windowID);
  const AXElementRef* container = lookUp(elements, match.containerID);
  const AXElementRef* allow = lookUp(elements, match.allowID);
  const AXElementRef* deny = lookUp(elements, match.denyID);
  if (window == nullptr || container == nullptr || allow == nullptr || deny == nullptr) {
    snapshot.status = unmatchedStatus(snapshot.recognizable);
    return std::nullopt;
  }
  std::vector<AXElementRef> contextElements;
  for (const std::string& id : match.contextNodeIDs) {
    if (const AXElementRef* element = lookUp(elements, id)) {
      contextElements.push_back(*element);
    }
  }
  if (contextElements.empty() || contextElements.size() < match.contextNodeIDs.size()) {
    snapshot.complete = false;
    snapshot.status = kContextChanged;
    return std::nullopt;
  }
  const auto title = reader.windowTitles().find(match.windowID);
  std::string windowTitle = title != reader.windowTitles().end() ? title->second : "WorkBuddy 窗口";
  std::optional<std::string> toolInput = NativeCardRequest::toolInput(match.context, windowTitle);
  if (!toolInput) {
    snapshot.status = kUnverifiedCard; // a text that cannot be shown as it is cannot be approved
    return std::nullopt;
  }
  NativeCardIdentity identity{
      .pid = pid,
      .windowHash = accessibility_.elementHash(*window),
      .containerHash = accessibility_.elementHash(*container),
      .allowHash = accessibility_.elementHash(*allow),
      .denyHash = accessibility_.elementHash(*deny),
      .layout = match.layout,
      .contextHashes = {},
      .windowTitle = windowTitle,
  };
  for (const AXElementRef& element : contextElements) {
    identity.contextHashes.push_back(accessibility_.elementHash(element));
  }
  std::string fingerprint = NativeCardRequest::fingerprint(identity, *toolInput);
  return Candidate{
      .request = NativeCardRequest::request(std::move(*toolInput), std::move(windowTitle), clock_.now()),
      .fingerprint = std::move(fingerprint),
      .pid = pid,
      .window = *window,
      .container = *container,
      .allow = *allow,
      .deny = *deny,
      .contextElements = std::move(contextElements),
      .layout = match.layout,
      .context = match.context,
  };
}

// No card to offer: a labelled button means a card that failed the checks;
// without one, WorkBuddy may just have come to the front during the scan.
const std::string& NativeApprovalMonitor::unmatchedStatus(bool recognizable) const {
  if (recognizable) {
    return kUnverifiedCard;
  }
  return isWorkBuddyActive() ? kInFront : kWaitingForCard;
}

Observation NativeApprovalMonitor::observeQuestion(const AXRead& reader, const std::vector<NativeApprovalNode>& roots,
                                                   std::int32_t pid) {
  const NativeScanCoverage coverage = reader.coverage();
  if (!reader.complete() || !reader.questionTreeComplete() || !coverage.questionPositiveComplete()) {
    return Unavailable{};
  }
  const auto match = NativeQuestionClassifier::uniqueMatch(roots);
  if (!match) {
    if (coverage.questionAbsenceComplete() && !NativeQuestionClassifier::hasRecognizableQuestion(roots)) {
      return Absent{};
    }
    return Unavailable{};
  }
  const auto& elements = reader.elements();
  const AXElementRef* window = lookUp(elements, match->windowID);
  const AXElementRef* container = lookUp(elements, match->containerID);
  const AXElementRef* anchor = lookUp(elements, match->anchorID);
  if (window == nullptr || container == nullptr || anchor == nullptr) {
    return Unavailable{};
  }
  const bool sameBinding = questionBinding_ && questionBinding_->pid == pid &&
                           accessibility_.sameElement(questionBinding_->window, *window) &&
                           accessibility_.sameElement(questionBinding_->container, *container) &&
                           accessibility_.sameElement(questionBinding_->anchor, *anchor);
  if (!sameBinding) {
    questionBinding_ = QuestionBinding{pid, *window, *container, *anchor, Uuid::random().string()};
  }
  const auto flowID =
      questionFlow_.identify(questionBinding_->token, pid, match->title, match->currentPage, match->totalPages);
  if (!flowID) {
    return Unavailable{};
  }
  return Waiting{QuestionReminder{*flowID, pid, match->title, match->currentPage, match->totalPages}};
}

// ---- WorkBuddy's processes ----------------------------------------------

std::vector<RunningApplication> NativeApprovalMonitor::runningWorkBuddies() const {
  std::vector<RunningApplication> applications = workspace_.runningApplications(bundleIdentifier);
  std::erase_if(applications, [](const RunningApplication& application) { return application.terminated; });
  return applications;
}

bool NativeApprovalMonitor::isBackgroundWorkBuddy(std::int32_t pid) const {
  const std::vector<RunningApplication> applications = runningWorkBuddies();
  return applications.size() == 1 && applications.front().pid == pid && !applications.front().active &&
         !applications.front().hidden;
}

bool NativeApprovalMonitor::isWorkBuddyActive() const {
  const std::vector<RunningApplication> applications = runningWorkBuddies();
  return std::any_of(applications.begin(), applications.end(),
                     [](const RunningApplication& application) { return application.active; });
}

bool NativeApprovalMonitor::isStillInBackground(std::int32_t pid) const {
  const std::vector<RunningApplication> applications = runningWorkBuddies();
  return std::any_of(applications.begin(), applications.end(), [pid](const RunningApplication& application) {
    return application.pid == pid && !application.active && !application.hidden;
  });
}

} // namespace notch
