#include "platform/linux/AtSpiAccessibility.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <functional>
#include <map>

#include "platform/linux/AtSpiRoleTable.h"

namespace notch {
namespace {

constexpr int kDefaultTimeoutMs = 250;

class AtSpiElement final : public AXElement {
public:
  AtSpiElement(std::string busName, std::string objectPath) : bus(std::move(busName)), path(std::move(objectPath)) {}
  const std::string bus;
  const std::string path;
  mutable std::atomic<int> timeoutMs{kDefaultTimeoutMs};
};

const AtSpiElement* cast(const AXElementRef& element) { return dynamic_cast<const AtSpiElement*>(element.get()); }

AXElementRef elementAt(const std::string& bus, const std::string& path) {
  return std::make_shared<const AtSpiElement>(bus, path);
}

std::vector<AXElementRef> elementsAt(const std::string& bus, const std::vector<std::string>& paths) {
  std::vector<AXElementRef> elements;
  elements.reserve(paths.size());
  for (const std::string& path : paths) {
    elements.push_back(elementAt(bus, path));
  }
  return elements;
}

const AXValue kUnsupported = AXErrorValue{kAXErrorAttributeUnsupported};
const AXValue kNoValue = AXErrorValue{kAXErrorNoValue};

// One attribute of a copied node, as the role table says.
AXValue attributeOf(const AtSpiElement& object, const AtSpiNode& node, std::string_view name) {
  const bool isApplication = object.path == atSpiRootPath;
  const bool text = atspi::showsText(node.role);
  if (name == "AXRole") {
    return std::string(isApplication ? "AXApplication" : atspi::roleName(node.role, node.topLevel));
  }
  if (name == "AXTitle") {
    return text ? kNoValue : AXValue(node.name);
  }
  if (name == "AXValue") {
    return text ? AXValue(node.name) : kUnsupported;
  }
  if (name == "AXDescription") {
    return node.description;
  }
  if (name == "AXEnabled") {
    return atspi::has(node.states, atspi::enabled);
  }
  if (name == "AXHidden") {
    return !atspi::has(node.states, atspi::visible) || !atspi::has(node.states, atspi::showing);
  }
  if (name == "AXMinimized") {
    return atspi::has(node.states, atspi::iconified);
  }
  if (name == "AXChildren" || (name == "AXWindows" && isApplication)) {
    return elementsAt(object.bus, node.children);
  }
  if (name == "AXPosition" && node.extents) {
    return AXPoint{double(node.extents->x), double(node.extents->y)};
  }
  if (name == "AXSize" && node.extents) {
    return AXSize{double(node.extents->width), double(node.extents->height)};
  }
  return kUnsupported;
}

} // namespace

AtSpiAccessibility::AtSpiAccessibility(AtSpiMirrorLimits limits) : mirror_(std::make_unique<AtSpiMirror>(limits)) {}
AtSpiAccessibility::~AtSpiAccessibility() = default;

AXElementRef AtSpiAccessibility::applicationElement(std::int32_t pid) const {
  const auto bus = mirror_->applicationBus(pid);
  if (!bus) {
    return nullptr;
  }
  // Once per look at the application: windows move without telling.
  mirror_->refreshWindows(*bus, kDefaultTimeoutMs);
  return elementAt(*bus, atSpiRootPath);
}

bool AtSpiAccessibility::setMessagingTimeout(const AXElementRef& element, double seconds) const {
  const AtSpiElement* object = cast(element);
  if (object == nullptr || !(seconds > 0)) {
    return false;
  }
  object->timeoutMs = static_cast<int>(std::clamp(std::ceil(seconds * 1000), 1.0, 60'000.0));
  return true;
}

bool AtSpiAccessibility::setAttribute(const AXElementRef& element, std::string_view name, const AXValue&) const {
  // Toolkits on AT-SPI expose their tree whenever assistive technologies
  // are on; there is nothing to switch per application.
  return cast(element) != nullptr && name == "AXManualAccessibility";
}

std::optional<AXValue> AtSpiAccessibility::copyAttribute(const AXElementRef& element, std::string_view name) const {
  auto values = copyAttributes(element, {std::string(name)});
  if (!values) {
    return std::nullopt;
  }
  return std::move(values->front());
}

std::optional<std::vector<AXValue>> AtSpiAccessibility::copyAttributes(const AXElementRef& element,
                                                                       const std::vector<std::string>& names) const {
  const AtSpiElement* object = cast(element);
  if (object == nullptr) {
    return std::nullopt;
  }
  const bool isApplication = object->path == atSpiRootPath;
  std::vector<AXValue> values;
  std::vector<std::string> windows;
  const bool found = mirror_->read(object->bus, object->path, [&](const AtSpiNode& node) {
    values.reserve(names.size());
    for (const std::string& name : names) {
      values.push_back(attributeOf(*object, node, name));
    }
    if (isApplication) {
      windows = node.children;
    }
  });
  if (!found) {
    return std::nullopt;
  }
  // Which window is the main one is its own state: read once the
  // application's node is let go.
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (isApplication && (names[i] == "AXMainWindow" || names[i] == "AXFocusedWindow")) {
      values[i] = activeWindow(object->bus, windows);
    }
  }
  return values;
}

AXValue AtSpiAccessibility::activeWindow(const std::string& bus, const std::vector<std::string>& windows) const {
  for (const std::string& window : windows) {
    bool active = false;
    mirror_->read(bus, window, [&](const AtSpiNode& node) { active = atspi::has(node.states, atspi::active); });
    if (active) {
      return elementAt(bus, window);
    }
  }
  return kNoValue;
}

std::optional<std::int32_t> AtSpiAccessibility::elementPID(const AXElementRef& element) const {
  const AtSpiElement* object = cast(element);
  return object != nullptr ? mirror_->pidOf(object->bus) : std::nullopt;
}

bool AtSpiAccessibility::sameElement(const AXElementRef& a, const AXElementRef& b) const {
  const AtSpiElement* left = cast(a);
  const AtSpiElement* right = cast(b);
  return left != nullptr && right != nullptr && left->bus == right->bus && left->path == right->path;
}

std::size_t AtSpiAccessibility::elementHash(const AXElementRef& element) const {
  const AtSpiElement* object = cast(element);
  if (object == nullptr) {
    return 0;
  }
  const std::hash<std::string> hash;
  return hash(object->bus) * 31 + hash(object->path);
}

std::optional<std::vector<std::string>> AtSpiAccessibility::actionNames(const AXElementRef& element) const {
  const AtSpiElement* object = cast(element);
  auto names = object != nullptr ? mirror_->actionNames(object->bus, object->path, object->timeoutMs) : std::nullopt;
  if (names) {
    for (std::string& name : *names) {
      if (atspi::isPressAction(name)) {
        name = "AXPress";
      }
    }
  }
  return names;
}

bool AtSpiAccessibility::performAction(const AXElementRef& element, std::string_view action) const {
  const AtSpiElement* object = cast(element);
  if (object == nullptr || action != "AXPress") {
    return false;
  }
  const auto names = mirror_->actionNames(object->bus, object->path, object->timeoutMs);
  if (!names) {
    return false;
  }
  const auto press = std::find_if(names->begin(), names->end(), atspi::isPressAction);
  return press != names->end() &&
         mirror_->doAction(object->bus, object->path, static_cast<int>(press - names->begin()), object->timeoutMs);
}

bool AtSpiAccessibility::refreshLive(const std::vector<AXElementRef>& subtrees) const {
  std::map<std::string, std::vector<std::string>> byBus;
  int timeoutMs = 0;
  for (const AXElementRef& element : subtrees) {
    const AtSpiElement* object = cast(element);
    if (object == nullptr) {
      return false;
    }
    byBus[object->bus].push_back(object->path);
    timeoutMs = std::max(timeoutMs, object->timeoutMs.load());
  }
  return std::all_of(byBus.begin(), byBus.end(),
                     [&](const auto& entry) { return mirror_->refreshLive(entry.first, entry.second, timeoutMs); });
}

bool AtSpiAccessibility::isTrusted() const { return mirror_->trusted(); }

void AtSpiAccessibility::requestTrust() const { mirror_->requestTrust(); }

} // namespace notch
