#include "core/native/AXRead.h"

#include <cmath>

namespace notch {
namespace {

// The attributes read for every node, in one call; the indices matter.
const std::vector<std::string> kNodeAttributes = {"AXRole",   "AXTitle",    "AXValue",    "AXDescription", "AXEnabled",
                                                  "AXHidden", "AXChildren", "AXPosition", "AXSize"};
enum NodeAttribute { role, title, value, description, enabled, hidden, children, position, size };

constexpr double kButtonMargin = 2.0;

template <typename T> const T* as(const AXValue& value) { return std::get_if<T>(&value); }

std::optional<NodeFrame> frameOf(const std::optional<AXValue>& position, const std::optional<AXValue>& size) {
  const AXPoint* point = position ? as<AXPoint>(*position) : nullptr;
  const AXSize* extent = size ? as<AXSize>(*size) : nullptr;
  if (point == nullptr || extent == nullptr || !std::isfinite(point->x) || !std::isfinite(point->y) ||
      !std::isfinite(extent->width) || !std::isfinite(extent->height)) {
    return std::nullopt;
  }
  return NodeFrame{point->x, point->y, extent->width, extent->height};
}

bool isVisible(const std::string& role, bool hidden, const std::optional<NodeFrame>& frame,
               const NodeFrame& windowFrame) {
  if (hidden) {
    return false;
  }
  if (role == "AXButton") {
    return frame && !frame->isEmpty() && frame->isInside(windowFrame, kButtonMargin);
  }
  if (role == "AXStaticText") {
    return frame && !frame->isEmpty() && frame->intersects(windowFrame);
  }
  return !frame || frame->isEmpty() || frame->intersects(windowFrame);
}

} // namespace

AXRead::AXRead(const Accessibility& accessibility, const Clock& clock, std::int32_t pid, Limits limits)
    : accessibility_(accessibility), clock_(clock), pid_(pid), limits_(limits),
      deadline_(clock.uptime() + limits.scanBudget) {}

NativeScanCoverage AXRead::coverage() const {
  return NativeScanCoverage{primaryWindowCount_, scannedRootCount_, complete_, questionTreeComplete_,
                            agreedQuestionFallback_};
}

bool AXRead::budgetHolds() const { return nodes_ < limits_.nodeBudget && clock_.uptime() < deadline_; }

bool AXRead::checkBudget() {
  if (!budgetHolds()) {
    complete_ = false;
    return false;
  }
  return true;
}

std::optional<NativeApprovalNode> AXRead::fail() {
  complete_ = false;
  return std::nullopt;
}

std::optional<AXValue> AXRead::copyAttribute(const AXElementRef& element, const char* name) {
  if (!checkBudget()) {
    return std::nullopt;
  }
  auto copied = accessibility_.copyAttribute(element, name);
  if (!checkBudget()) {
    return std::nullopt;
  }
  return copied; // a copy error yields nothing without touching `complete`
}

std::vector<NativeApprovalNode> AXRead::readWindows(bool allowQuestionFallback) {
  std::vector<NativeApprovalNode> roots;
  const auto windows = windowList(allowQuestionFallback);
  if (!windows) {
    complete_ = false;
    return roots;
  }
  for (const AXElementRef& window : *windows) {
    if (!checkBudget() || !accessibility_.setMessagingTimeout(window, limits_.messagingTimeout) || !checkBudget()) {
      complete_ = false;
      break;
    }
    if (auto root = readWindow(window)) {
      roots.push_back(std::move(*root));
    } else {
      complete_ = false;
    }
  }
  scannedRootCount_ = static_cast<int>(roots.size());
  checkBudget();
  return roots;
}

// The windows to scan: "AXWindows", or for question detection the agreed
// main window when that list is empty. nullopt abandons the scan.
std::optional<std::vector<AXElementRef>> AXRead::windowList(bool allowQuestionFallback) {
  const AXElementRef application = accessibility_.applicationElement(pid_);
  if (!application || !checkBudget() || !accessibility_.setMessagingTimeout(application, limits_.messagingTimeout) ||
      !checkBudget()) {
    return std::nullopt;
  }
  accessibility_.setAttribute(application, "AXManualAccessibility", AXValue(true));
  if (!checkBudget()) {
    return std::nullopt;
  }
  const auto listed = copyAttribute(application, "AXWindows");
  const auto* windows = listed ? as<std::vector<AXElementRef>>(*listed) : nullptr;
  if (windows == nullptr || static_cast<int>(windows->size()) > limits_.mostWindows) {
    return std::nullopt;
  }
  primaryWindowCount_ = static_cast<int>(windows->size());
  if (!windows->empty()) {
    return *windows;
  }
  if (!allowQuestionFallback) {
    return std::nullopt;
  }
  const auto main = fallbackWindow(application, "AXMainWindow");
  const auto focused = main ? fallbackWindow(application, "AXFocusedWindow") : std::nullopt;
  if (!main || !focused || !budgetHolds()) {
    return std::nullopt;
  }
  const bool agreed = NativeScanCoverage::acceptsQuestionFallback(
      0, pid_, main->pid, focused->pid, true, true, accessibility_.sameElement(main->element, focused->element), true);
  if (!agreed) {
    return std::nullopt;
  }
  agreedQuestionFallback_ = true;
  return std::vector<AXElementRef>{main->element};
}

// The window behind `attribute` when it is an element of this process with
// the role "AXWindow", with the pid it answered (read once: a second read
// may fail or disagree).
std::optional<AXRead::FallbackWindow> AXRead::fallbackWindow(const AXElementRef& application, const char* attribute) {
  const auto value = copyAttribute(application, attribute);
  const AXElementRef* window = value ? as<AXElementRef>(*value) : nullptr;
  if (window == nullptr || !*window || !accessibility_.setMessagingTimeout(*window, limits_.messagingTimeout)) {
    return std::nullopt;
  }
  const auto pid = accessibility_.elementPID(*window);
  const auto role = copyAttribute(*window, "AXRole");
  const std::string* roleText = role ? as<std::string>(*role) : nullptr;
  if (!pid || *pid != pid_ || roleText == nullptr || *roleText != "AXWindow") {
    return std::nullopt;
  }
  return FallbackWindow{*window, *pid};
}

std::optional<NativeApprovalNode> AXRead::readWindow(const AXElementRef& window) {
  const auto minimized = copyAttribute(window, "AXMinimized");
  const bool* isMinimized = minimized ? as<bool>(*minimized) : nullptr;
  if (isMinimized == nullptr || *isMinimized) {
    return std::nullopt;
  }
  const auto position = copyAttribute(window, "AXPosition");
  const auto size = position ? copyAttribute(window, "AXSize") : std::nullopt;
  const auto frame = frameOf(position, size);
  if (!frame || frame->isEmpty()) {
    return std::nullopt;
  }
  std::vector<AXElementRef> ancestors;
  auto root = readNode(window, 0, ancestors, *frame);
  if (!root) {
    return std::nullopt;
  }
  if (!agreedQuestionFallback_) {
    const auto title = copyAttribute(window, "AXTitle");
    const std::string* text = title ? as<std::string>(*title) : nullptr;
    windowTitles_[root->id] = text != nullptr ? *text : "WorkBuddy 窗口";
  }
  return root;
}

std::optional<NativeApprovalNode> AXRead::readNode(const AXElementRef& element, int depth,
                                                   std::vector<AXElementRef>& ancestors, const NodeFrame& windowFrame) {
  if (!budgetHolds() || depth > limits_.deepestNode) {
    return fail();
  }
  for (const AXElementRef& ancestor : ancestors) {
    if (accessibility_.sameElement(ancestor, element)) {
      return fail(); // a cycle
    }
  }
  ++nodes_;
  if (!accessibility_.setMessagingTimeout(element, limits_.messagingTimeout) || !budgetHolds()) {
    return fail();
  }
  const auto values = accessibility_.copyAttributes(element, kNodeAttributes);
  if (!budgetHolds() || !values || values->size() != kNodeAttributes.size()) {
    return fail();
  }
  const std::string* roleText = as<std::string>((*values)[role]);
  if (roleText == nullptr) {
    return fail();
  }

  NativeApprovalNode node;
  node.role = *roleText;
  const bool isStaticText = node.role == "AXStaticText";
  for (const NodeAttribute index : {title, value, description}) {
    if (index == description && isStaticText) {
      continue;
    }
    const std::string* text = as<std::string>((*values)[index]);
    if (text == nullptr || text->empty()) {
      continue;
    }
    textBytes_ += text->size();
    if (text->size() > limits_.longestText || textBytes_ > limits_.allTextBytes) {
      return fail();
    }
    node.texts.push_back(*text);
  }
  const bool* hiddenFlag = as<bool>((*values)[hidden]);
  const bool* enabledFlag = as<bool>((*values)[enabled]);
  node.enabled = enabledFlag != nullptr ? *enabledFlag : node.role != "AXButton";
  node.frame = frameOf((*values)[position], (*values)[size]);
  node.visible = isVisible(node.role, hiddenFlag != nullptr && *hiddenFlag, node.frame, windowFrame);
  node.id = "ax-" + std::to_string(nodes_);
  elements_[node.id] = element;

  if (isStaticText || !node.visible) {
    return node;
  }
  const AXValue& childList = (*values)[children];
  if (const auto* elements = as<std::vector<AXElementRef>>(childList)) {
    ancestors.push_back(element);
    for (const AXElementRef& child : *elements) {
      auto childNode = readNode(child, depth + 1, ancestors, windowFrame);
      if (!childNode) {
        ancestors.pop_back();
        return std::nullopt; // the failure already cleared `complete`
      }
      node.children.push_back(std::move(*childNode));
    }
    ancestors.pop_back();
  } else {
    const auto* error = as<AXErrorValue>(childList);
    const bool noChildren =
        as<AXNullMarker>(childList) != nullptr ||
        (error != nullptr && (error->code == kAXErrorNoValue || error->code == kAXErrorAttributeUnsupported));
    if (!noChildren) {
      questionTreeComplete_ = false;
    }
  }
  return node;
}

} // namespace notch
