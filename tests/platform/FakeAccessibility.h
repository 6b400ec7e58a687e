#pragma once

// An in-memory accessibility tree for tests: elements with roles,
// attributes, frames and pids; injectable copy, time-out and action
// failures; and a clock that every read advances, so that tests can spend a
// scan's budget.

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "core/native/NativeApprovalNode.h"
#include "platform/Accessibility.h"
#include "support/FakeClock.h"

namespace notch::testing {

class FakeElement final : public AXElement {
public:
  std::int32_t pid = 0;
  std::map<std::string, AXValue> attributes;
  std::set<std::string> failingCopies; // single copies of these fail
  bool timeoutFails = false;
  bool multipleCopyFails = false;
  bool actionFails = false; // offered actions report an error when performed
  std::vector<std::string> actions;
  std::function<void(std::string_view name)> onCopy; // runs before each single copy
  mutable std::vector<std::string> performed;

  FakeElement& set(const std::string& name, AXValue value) {
    attributes[name] = std::move(value);
    return *this;
  }
  FakeElement& frame(double x, double y, double width, double height) {
    return set("AXPosition", AXPoint{x, y}).set("AXSize", AXSize{width, height});
  }
  // Appends children to AXChildren (creating the list).
  FakeElement& adopt(const std::vector<std::shared_ptr<FakeElement>>& children) {
    auto* list = std::get_if<std::vector<AXElementRef>>(&attributes["AXChildren"]);
    std::vector<AXElementRef> all = list != nullptr ? *list : std::vector<AXElementRef>();
    all.insert(all.end(), children.begin(), children.end());
    return set("AXChildren", all);
  }
};
using FakeElementRef = std::shared_ptr<FakeElement>;

class FakeAccessibility final : public Accessibility {
public:
  // Every attribute read advances `clock` (when given) by `secondsPerRead`.
  explicit FakeAccessibility(FakeClock* clock = nullptr, double secondsPerRead = 0)
      : clock_(clock), secondsPerRead_(secondsPerRead) {}

  // A new element of `pid` with the role given.
  static FakeElementRef element(std::int32_t pid, const std::string& role) {
    auto created = std::make_shared<FakeElement>();
    created->pid = pid;
    created->set("AXRole", role);
    return created;
  }
  // The application element of `pid`, created on first use.
  FakeElementRef application(std::int32_t pid) {
    auto& application = applications_[pid];
    return application ? application : application = element(pid, "AXApplication");
  }

  bool trusted = true;
  bool liveRefreshFails = false; // the live read of a card before a press fails

  AXElementRef applicationElement(std::int32_t pid) const override {
    return applications_.contains(pid) ? applications_.at(pid) : nullptr;
  }
  bool setMessagingTimeout(const AXElementRef& element, double) const override {
    return fake(element) != nullptr && !fake(element)->timeoutFails;
  }
  bool setAttribute(const AXElementRef& element, std::string_view name, const AXValue& value) const override {
    if (fake(element) != nullptr) {
      fake(element)->set(std::string(name), value); // the fake records what the program sets
    }
    return fake(element) != nullptr;
  }
  std::optional<AXValue> copyAttribute(const AXElementRef& element, std::string_view name) const override {
    tick();
    const FakeElement* target = fake(element);
    if (target != nullptr && target->onCopy) {
      target->onCopy(name);
    }
    if (target == nullptr || target->failingCopies.contains(std::string(name)) ||
        !target->attributes.contains(std::string(name))) {
      return std::nullopt; // as the platform: no value is an error of the copy
    }
    return target->attributes.at(std::string(name));
  }
  std::optional<std::vector<AXValue>> copyAttributes(const AXElementRef& element,
                                                     const std::vector<std::string>& names) const override {
    tick();
    const FakeElement* target = fake(element);
    if (target == nullptr || target->multipleCopyFails) {
      return std::nullopt;
    }
    std::vector<AXValue> values;
    for (const std::string& name : names) {
      const auto found = target->attributes.find(name);
      values.push_back(found != target->attributes.end() ? found->second : AXErrorValue{kAXErrorNoValue});
    }
    return values;
  }
  std::optional<std::int32_t> elementPID(const AXElementRef& element) const override {
    return fake(element) != nullptr ? std::optional(fake(element)->pid) : std::nullopt;
  }
  bool sameElement(const AXElementRef& a, const AXElementRef& b) const override { return a == b; }
  std::size_t elementHash(const AXElementRef& element) const override {
    return std::hash<const void*>()(element.get());
  }
  std::optional<std::vector<std::string>> actionNames(const AXElementRef& element) const override {
    return fake(element) != nullptr ? std::optional(fake(element)->actions) : std::nullopt;
  }
  bool performAction(const AXElementRef& element, std::string_view action) const override {
    const FakeElement* target = fake(element);
    if (target == nullptr || target->actionFails ||
        std::find(target->actions.begin(), target->actions.end(), action) == target->actions.end()) {
      return false;
    }
    target->performed.emplace_back(action);
    return true;
  }
  bool refreshLive(const std::vector<AXElementRef>&) const override { return !liveRefreshFails; }
  bool isTrusted() const override { return trusted; }
  void requestTrust() const override {}

private:
  void tick() const {
    if (clock_ != nullptr) {
      clock_->advance(secondsPerRead_);
    }
  }
  static FakeElement* fake(const AXElementRef& element) {
    return const_cast<FakeElement*>(dynamic_cast<const FakeElement*>(element.get()));
  }

  FakeClock* clock_;
  double secondsPerRead_;
  std::map<std::int32_t, FakeElementRef> applications_;
};

// Fake elements that a scan reads back as `node` (role, texts, enabled,
// hidden, frame, children), all of process `pid`; buttons offer AXPress.
inline FakeElementRef fakeElementsFor(const NativeApprovalNode& node, std::int32_t pid) {
  FakeElementRef element = FakeAccessibility::element(pid, node.role);
  // Static texts show their text as the value, everything else as a title.
  static const char* const kTextAttributes[] = {"AXTitle", "AXValue", "AXDescription"};
  for (std::size_t k = 0, slot = node.role == "AXStaticText" ? 1 : 0; k < node.texts.size() && slot < 3; ++k) {
    element->set(kTextAttributes[slot++], node.texts[k]);
  }
  element->set("AXEnabled", node.enabled).set("AXHidden", !node.visible).set("AXMinimized", false);
  if (node.role == "AXButton") {
    element->actions = {"AXPress"};
  }
  if (node.frame) {
    element->frame(node.frame->x, node.frame->y, node.frame->width, node.frame->height);
  }
  std::vector<FakeElementRef> children;
  for (const NativeApprovalNode& child : node.children) {
    children.push_back(fakeElementsFor(child, pid));
  }
  element->adopt(children);
  return element;
}

} // namespace notch::testing
