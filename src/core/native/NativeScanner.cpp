#include "core/native/NativeScanner.h"

#include <algorithm>
#include <variant>

#include "core/native/NativeCardRequest.h"

namespace notch {
namespace {

using Unavailable = QuestionReminderState::Unavailable;

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

bool isWaiting(const QuestionReminderState::Observation& observation) {
  return std::holds_alternative<QuestionReminderState::Waiting>(observation);
}

} // namespace

bool isSameCard(const Accessibility& accessibility, const NativeCandidate& offered, const NativeCandidate& fresh) {
  const auto same = [&](const AXElementRef& a, const AXElementRef& b) { return accessibility.sameElement(a, b); };
  return offered.fingerprint == fresh.fingerprint && offered.pid == fresh.pid && same(offered.window, fresh.window) &&
         same(offered.container, fresh.container) && same(offered.allow, fresh.allow) &&
         same(offered.deny, fresh.deny) && offered.layout == fresh.layout &&
         std::equal(offered.contextElements.begin(), offered.contextElements.end(), fresh.contextElements.begin(),
                    fresh.contextElements.end(), same) &&
         offered.context == fresh.context;
}

NativeScan NativeScanner::scan(bool approvalsEnabled, NativeQuestionTracker* questions) const {
  NativeScan scan;
  scan.startedAt = clock_.uptime();
  scan.status = kWaitingForCard;
  const std::vector<RunningApplication> applications = instances_.running();
  if (applications.empty()) {
    scan.status = kNotRunning; // nothing is missed: the scan stays complete
    return scan;
  }
  scan.complete = false;
  if (applications.size() > 1) {
    scan.status = kSeveralInstances;
  } else if (applications.front().active) {
    scan.isForeground = true;
    scan.status = kInFront;
  } else if (applications.front().hidden) {
    scan.status = kHidden;
  } else {
    readWindows(scan, applications.front().pid, approvalsEnabled, questions);
  }
  return scan;
}

void NativeScanner::readWindows(NativeScan& scan, std::int32_t pid, bool approvalsEnabled,
                                NativeQuestionTracker* questions) const {
  AXRead reader(accessibility_, clock_, pid, limits_);
  const std::vector<NativeApprovalNode> roots = reader.readWindows(questions != nullptr);
  scan.complete = reader.coverage().approvalComplete();
  if (questions != nullptr) {
    scan.question = questions->observe(reader, roots, pid);
    if (!instances_.anyInstanceIsInBackground(pid)) {
      scan.question = Unavailable{};
    }
  }
  const bool questionWaiting = isWaiting(scan.question);
  if (!approvalsEnabled) {
    scan.status = questionWaiting ? kQuestionsOnlyFound : kQuestionsOnlyWaiting;
    return;
  }
  if (!scan.complete) {
    scan.status = questionWaiting ? kFallbackQuestion : kIncompleteScan;
    return;
  }
  scan.recognizable = NativeApprovalClassifier::hasRecognizableButtons(roots);
  const auto match = NativeApprovalClassifier::uniqueMatch(roots);
  if (match) {
    scan.candidate = candidateFor(scan, reader, *match, pid);
  } else {
    scan.status = unmatchedStatus(scan.recognizable);
  }
  if (scan.candidate && !instances_.onlyInstanceIsInBackground(pid)) {
    // WorkBuddy changed while it was read: nothing of this scan is trusted.
    scan.candidate.reset();
    scan.complete = false;
    scan.question = Unavailable{};
    scan.isForeground = instances_.anyInstanceIsActive();
    scan.status = kStateChanged;
  }
}

std::optional<NativeCandidate> NativeScanner::candidateFor(NativeScan& scan, const AXRead& reader,
                                                           const NativeApprovalMatch& match, std::int32_t pid) const {
  const AXElementRef* window = reader.element(match.windowID);
  const AXElementRef* container = reader.element(match.containerID);
  const AXElementRef* allow = reader.element(match.allowID);
  const AXElementRef* deny = reader.element(match.denyID);
  if (window == nullptr || container == nullptr || allow == nullptr || deny == nullptr) {
    scan.status = unmatchedStatus(scan.recognizable);
    return std::nullopt;
  }
  std::vector<AXElementRef> contextElements;
  for (const std::string& id : match.contextNodeIDs) {
    if (const AXElementRef* element = reader.element(id)) {
      contextElements.push_back(*element);
    }
  }
  if (contextElements.empty() || contextElements.size() < match.contextNodeIDs.size()) {
    scan.complete = false;
    scan.status = kContextChanged;
    return std::nullopt;
  }
  const auto title = reader.windowTitles().find(match.windowID);
  std::string windowTitle = title != reader.windowTitles().end() ? title->second : "WorkBuddy 窗口";
  std::optional<std::string> toolInput = NativeCardRequest::toolInput(match.context, windowTitle);
  if (!toolInput) {
    scan.status = kUnverifiedCard; // a text that cannot be shown as it is cannot be approved
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
  return NativeCandidate{
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
const std::string& NativeScanner::unmatchedStatus(bool recognizable) const {
  if (recognizable) {
    return kUnverifiedCard;
  }
  return instances_.anyInstanceIsActive() ? kInFront : kWaitingForCard;
}

} // namespace notch
