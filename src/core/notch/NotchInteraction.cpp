#include "core/notch/NotchInteraction.h"

#include <algorithm>

#include "core/bridge/HookEventPolicy.h"

namespace notch {
namespace {

constexpr std::string_view kNativeApprovalEvent = "NativeApproval";

} // namespace

const ApprovalRequest* NotchInteraction::find(std::string_view id) const {
  const auto found = std::find_if(requests_.begin(), requests_.end(),
                                  [id](const ApprovalRequest& request) { return request.id == id; });
  return found != requests_.end() ? &*found : nullptr;
}

void NotchInteraction::remove(std::string_view id) {
  std::erase_if(requests_, [id](const ApprovalRequest& request) { return request.id == id; });
}

void NotchInteraction::selectFirstRemaining() {
  selectedID_ = requests_.empty() ? std::nullopt : std::optional(requests_.front().id);
}

bool NotchInteraction::receive(const ApprovalRequest& request, double now) {
  if (request.eventName != kNativeApprovalEvent &&
      !HookEventPolicy::acceptsApproval(request.eventName, request.toolName)) {
    return false;
  }
  if (!(request.expiresAt > now) || find(request.id) != nullptr) {
    return false;
  }
  const bool wasEmpty = requests_.empty();
  const bool wasExpanded = expanded_;
  requests_.push_back(request);
  expanded_ = true;
  hoverBlockedUntilExit_ = false;
  if (wasEmpty) {
    selectedID_ = request.id;
    showAllParameters_ = false;
    arm(now);
  } else if (!wasExpanded) {
    arm(now); // the notch reopens on a request the user has not seen yet
  }
  return true;
}

bool NotchInteraction::pointerEntered() {
  pointerInside_ = true;
  return !expanded_ && !hoverBlockedUntilExit_;
}

void NotchInteraction::pointerLeft() {
  pointerInside_ = false;
  hoverBlockedUntilExit_ = false;
}

void NotchInteraction::expand(double now) {
  if (expanded_) {
    return; // an open notch keeps its running guard
  }
  expanded_ = true;
  hoverBlockedUntilExit_ = false;
  arm(now);
}

void NotchInteraction::collapse() {
  expanded_ = false;
  // A collapse made with the pointer over the notch must not be undone by
  // that same hover.
  hoverBlockedUntilExit_ = pointerInside_;
}

void NotchInteraction::select(const std::string& id, double now) {
  if (feedback_ || requests_.empty() || find(id) == nullptr || selectedID_ == id) {
    return;
  }
  selectedID_ = id;
  showAllParameters_ = false;
  arm(now);
}

bool NotchInteraction::canDecide(const std::string& id, double now) const {
  const ApprovalRequest* shown = current();
  return expanded_ && !feedback_ && now >= readyAt_ && shown != nullptr && shown->id == id && shown->expiresAt > now;
}

void NotchInteraction::finish(const std::string& id, Feedback::Kind kind, bool isDemo) {
  const ApprovalRequest* request = find(id);
  if (request == nullptr) {
    return;
  }
  const bool isNative = request->eventName == kNativeApprovalEvent;
  remove(id);
  selectFirstRemaining();
  showAllParameters_ = false;
  readyAt_ = farFuture; // disarmed until the receipt is dismissed
  feedback_ = Feedback{Uuid::random(), kind, isDemo, isNative};
}

void NotchInteraction::disconnected(const std::string& id, double now) {
  const ApprovalRequest* request = find(id);
  if (request == nullptr) {
    return;
  }
  const ApprovalRequest* shown = current();
  if (shown != nullptr && shown->id == id && !feedback_) {
    finish(id, now < request->expiresAt ? Feedback::Kind::unavailable : Feedback::Kind::expired, false);
    return;
  }
  // Not on screen: it leaves without a receipt.
  remove(id);
  if (selectedID_ == id) {
    selectFirstRemaining();
  }
}

void NotchInteraction::dismissFeedback(double now) {
  feedback_.reset();
  arm(now);
}

const ApprovalRequest* NotchInteraction::current() const {
  if (selectedID_) {
    if (const ApprovalRequest* selected = find(*selectedID_)) {
      return selected;
    }
  }
  return requests_.empty() ? nullptr : &requests_.front();
}

bool NotchInteraction::canAutoCollapse() const { return requests_.empty() && !feedback_ && !pointerInside_; }

} // namespace notch
