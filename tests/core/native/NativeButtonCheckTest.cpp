#include <gtest/gtest.h>

#include "core/native/NativeButtonCheck.h"
#include "platform/FakeAccessibility.h"

namespace notch {
namespace {

using testing::FakeElement;

// Whether an enabled, visible allow button offering AXPress, after `change`, passes the check for `label`.
bool passes(const std::function<void(FakeElement&)>& change, std::string_view label = "允许本次删除") {
  testing::FakeElementRef button = testing::FakeAccessibility::element(7, "AXButton");
  button->set("AXEnabled", true).set("AXHidden", false).set("AXTitle", std::string(" 1. 允许本次删除\n"));
  button->actions = {"AXShowMenu", "AXPress"};
  change(*button);
  return NativeButtonCheck::isPressable(testing::FakeAccessibility(), button, label);
}

TEST(NativeButtonCheckTest, PassesOnlyAnEnabledVisibleButtonNamingTheChosenLabel) {
  EXPECT_TRUE(passes([](FakeElement&) {}));
  EXPECT_FALSE(passes([](FakeElement&) {}, "取消删除"));
  EXPECT_FALSE(NativeButtonCheck::isPressable(testing::FakeAccessibility(), nullptr, "允许本次删除"));
  EXPECT_TRUE(passes([](FakeElement& button) { // no texts and no hidden flag pass
    button.attributes.erase("AXTitle");
    button.attributes.erase("AXHidden");
    button.set("AXValue", std::string()).set("AXDescription", AXNullMarker{});
  }));
  const std::function<void(FakeElement&)> breakages[] = {
      [](FakeElement& button) { button.set("AXRole", std::string("AXStaticText")); },
      [](FakeElement& button) { button.set("AXEnabled", false); },
      [](FakeElement& button) { button.attributes.erase("AXEnabled"); },
      [](FakeElement& button) { button.set("AXHidden", true); },
      [](FakeElement& button) { button.set("AXDescription", std::string("取消删除")); },
      [](FakeElement& button) { button.set("AXValue", std::string("允许本次删除\u200b")); },
      [](FakeElement& button) { button.set("AXTitle", std::string("允许本次删除吗")); },
      [](FakeElement& button) { button.actions = {"AXShowMenu"}; },
  };
  for (std::size_t index = 0; index < std::size(breakages); ++index) {
    EXPECT_FALSE(passes(breakages[index])) << "breakage " << index;
  }
}

} // namespace
} // namespace notch
