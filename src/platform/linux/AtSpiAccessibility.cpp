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
  const auto node = object != nullptr ? mirror_->node(object->bus, object->path) : std::nullopt;
  if (!node) {
    return std::nullopt;
  }
  const bool isApplication = object->path == atSpiRootPath;
  const bool text = atspi::showsText(node->role);
  std::vector<AXValue> values;
  for (const std::string& name : names) {
    if (name == "AXRole") {
      values.emplace_back(std::string(isApplication ? "AXApplication" : atspi::roleName(node->role, node->topLevel)));
    } else if (name == "AXTitle") {
      values.push_back(text ? kNoValue : AXValue(node->name));
    } else if (name == "AXValue") {
      values.push_back(text ? AXValue(node->name) : kUnsupported);
    } else if (name == "AXDescription") {
      values.emplace_back(node->description);
    } else if (name == "AXEnabled") {
      values.emplace_back(atspi::has(node->states, atspi::enabled));
    } else if (name == "AXHidden") {
      values.emplace_back(!atspi::has(node->states, atspi::visible) || !atspi::has(node->states, atspi::showing));
    } else if (name == "AXMinimized") {
      values.emplace_back(atspi::has(node->states, atspi::iconified));
    } else if (name == "AXChildren" || (name == "AXWindows" && isApplication)) {
      values.emplace_back(elementsAt(object->bus, node->children));
    } else if (name == "AXPosition" && node->extents) {
      values.emplace_back(AXPoint{double(node->extents->x), double(node->extents->y)});
    } else if (name == "AXSize" && node->extents) {
      values.emplace_back(AXSize{double(node->extents->width), double(node->extents->height)});
    } else if ((name == "AXMainWindow" || name == "AXFocusedWindow") && isApplication) {
      AXValue window = kNoValue;
      for (const std::string& child : node->children) {
        const auto candidate = mirror_->node(object->bus, child);
        if (candidate && atspi::has(candidate->states, atspi::active)) {
          window = elementAt(object->bus, child);
          break;
        }
      }
      values.push_back(std::move(window));
    } else {
      values.push_back(kUnsupported);
    }
  }
  return values;
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
