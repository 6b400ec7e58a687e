#include "platform/FakeAccessibility.h"

#include <algorithm>
#include <functional>

namespace notch::testing {

FakeElement& FakeElement::frame(double x, double y, double width, double height) {
  attributes["AXPosition"] = AXPoint{x, y};
  attributes["AXSize"] = AXSize{width, height};
  return *this;
}

FakeElement& FakeElement::set(const std::string& name, AXValue value) {
  attributes[name] = std::move(value);
  return *this;
}

FakeElement& FakeElement::adopt(const std::vector<FakeElementRef>& children) {
  auto& list = attributes["AXChildren"];
  if (!std::holds_alternative<std::vector<AXElementRef>>(list)) {
    list = std::vector<AXElementRef>();
  }
  auto& elements = std::get<std::vector<AXElementRef>>(list);
  elements.insert(elements.end(), children.begin(), children.end());
  return *this;
}

FakeElementRef fakeElementsFor(const NativeApprovalNode& node, std::int32_t pid) {
  FakeElementRef element = FakeAccessibility::element(pid, node.role);
  // Static texts show their text as the value, everything else as a title.
  static const char* const kTextAttributes[] = {"AXTitle", "AXValue", "AXDescription"};
  std::size_t slot = node.role == "AXStaticText" ? 1 : 0;
  for (const std::string& text : node.texts) {
    if (slot < 3) {
      element->set(kTextAttributes[slot++], text);
    }
  }
  element->set("AXEnabled", node.enabled).set("AXHidden", !node.visible);
  if (node.frame) {
    element->frame(node.frame->x, node.frame->y, node.frame->width, node.frame->height);
  }
  if (node.role == "AXWindow") {
    element->set("AXMinimized", false);
  }
  std::vector<FakeElementRef> children;
  for (const NativeApprovalNode& child : node.children) {
    children.push_back(fakeElementsFor(child, pid));
  }
  element->adopt(children);
  return element;
}

FakeElementRef FakeAccessibility::application(std::int32_t pid) {
  auto& application = applications_[pid];
  if (!application) {
    application = element(pid, "AXApplication");
  }
  return application;
}

FakeElementRef FakeAccessibility::element(std::int32_t pid, const std::string& role) {
  auto created = std::make_shared<FakeElement>();
  created->pid = pid;
  created->attributes["AXRole"] = role;
  return created;
}

const FakeElement* FakeAccessibility::fake(const AXElementRef& element) {
  return dynamic_cast<const FakeElement*>(element.get());
}

void FakeAccessibility::tick() const {
  ++reads;
  if (clock_ != nullptr) {
    clock_->advance(secondsPerRead_);
  }
}

AXElementRef FakeAccessibility::applicationElement(std::int32_t pid) const {
  const auto found = applications_.find(pid);
  return found != applications_.end() ? found->second : nullptr;
}

bool FakeAccessibility::setMessagingTimeout(const AXElementRef& element, double) const {
  const FakeElement* target = fake(element);
  return target != nullptr && !target->timeoutFails;
}

bool FakeAccessibility::setAttribute(const AXElementRef& element, std::string_view name, const AXValue& value) const {
  auto* target = const_cast<FakeElement*>(fake(element)); // the fake records what the program sets
  if (target == nullptr) {
    return false;
  }
  target->attributes[std::string(name)] = value;
  return true;
}

std::optional<AXValue> FakeAccessibility::copyAttribute(const AXElementRef& element, std::string_view name) const {
  tick();
  const FakeElement* target = fake(element);
  if (target != nullptr && target->onCopy) {
    target->onCopy(name);
  }
  if (target == nullptr || target->failingCopies.contains(std::string(name))) {
    return std::nullopt;
  }
  const auto found = target->attributes.find(std::string(name));
  if (found == target->attributes.end()) {
    return std::nullopt; // as the platform: no value is an error of the copy
  }
  return found->second;
}

std::optional<std::vector<AXValue>> FakeAccessibility::copyAttributes(const AXElementRef& element,
                                                                      const std::vector<std::string>& names) const {
  tick();
  const FakeElement* target = fake(element);
  if (target == nullptr || target->multipleCopyFails) {
    return std::nullopt;
  }
  std::vector<AXValue> values;
  for (const std::string& name : names) {
    const auto found = target->attributes.find(name);
    values.push_back(found != target->attributes.end() ? found->second : AXValue(AXErrorValue{kAXErrorNoValue}));
  }
  return values;
}

std::optional<std::int32_t> FakeAccessibility::elementPID(const AXElementRef& element) const {
  const FakeElement* target = fake(element);
  if (target == nullptr) {
    return std::nullopt;
  }
  ++target->pidReads;
  return target->pid;
}

bool FakeAccessibility::sameElement(const AXElementRef& a, const AXElementRef& b) const { return a == b; }

std::size_t FakeAccessibility::elementHash(const AXElementRef& element) const {
  return std::hash<const void*>()(element.get());
}

std::optional<std::vector<std::string>> FakeAccessibility::actionNames(const AXElementRef& element) const {
  const FakeElement* target = fake(element);
  return target != nullptr ? std::optional(target->actions) : std::nullopt;
}

bool FakeAccessibility::performAction(const AXElementRef& element, std::string_view action) const {
  const FakeElement* target = fake(element);
  if (target == nullptr || target->actionFails ||
      std::find(target->actions.begin(), target->actions.end(), action) == target->actions.end()) {
    return false;
  }
  target->performed.emplace_back(action);
  return true;
}

} // namespace notch::testing
