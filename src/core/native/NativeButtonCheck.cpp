#include "core/native/NativeButtonCheck.h"

#include <algorithm>

#include "core/native/NativeApprovalClassifier.h"

namespace notch::NativeButtonCheck {
namespace {

template <typename T>
const T* copied(const Accessibility& accessibility, const AXElementRef& element, std::string_view name,
                std::optional<AXValue>& storage) {
  storage = accessibility.copyAttribute(element, name);
  return storage ? std::get_if<T>(&*storage) : nullptr;
}

bool isEnabledVisibleButton(const Accessibility& accessibility, const AXElementRef& button) {
  std::optional<AXValue> value;
  const std::string* role = copied<std::string>(accessibility, button, "AXRole", value);
  if (role == nullptr || *role != "AXButton") {
    return false;
  }
  const bool* enabled = copied<bool>(accessibility, button, "AXEnabled", value);
  if (enabled == nullptr || !*enabled) {
    return false;
  }
  const bool* hidden = copied<bool>(accessibility, button, "AXHidden", value);
  return hidden == nullptr || !*hidden;
}

// A button without any text passes; every text it has must name the label.
bool textsNameLabel(const Accessibility& accessibility, const AXElementRef& button, std::string_view expectedLabel) {
  for (const char* attribute : {"AXTitle", "AXValue", "AXDescription"}) {
    std::optional<AXValue> value;
    const std::string* text = copied<std::string>(accessibility, button, attribute, value);
    if (text == nullptr || text->empty()) {
      continue;
    }
    const auto label = NativeApprovalClassifier::normalizedButtonLabel(*text);
    if (!label || *label != expectedLabel) {
      return false;
    }
  }
  return true;
}

bool offersPress(const Accessibility& accessibility, const AXElementRef& button) {
  const auto actions = accessibility.actionNames(button);
  return actions && std::find(actions->begin(), actions->end(), "AXPress") != actions->end();
}

} // namespace

bool isPressable(const Accessibility& accessibility, const AXElementRef& button, std::string_view expectedLabel) {
  return button != nullptr && isEnabledVisibleButton(accessibility, button) &&
         textsNameLabel(accessibility, button, expectedLabel) && offersPress(accessibility, button);
}

} // namespace notch::NativeButtonCheck
