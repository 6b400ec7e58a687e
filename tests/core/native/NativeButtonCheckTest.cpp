#include <gtest/gtest.h>

#include "core/native/NativeButtonCheck.h"
#include "platform/FakeAccessibility.h"

namespace notch {
namespace {

using testing::FakeAccessibility;
using testing::FakeElementRef;

FakeElementRef pressableAllowButton() {
  FakeElementRef button = FakeAccessibility::element(7, "AXButton");
  button->set("AXEnabled", true).set("AXHidden", false).set("AXTitle", std::string(" 1. 允许本次删除\n"));
  button->actions = {"AXShowMenu", "AXPress"};
  return button;
}

bool isPressable(const FakeElementRef& button, std::string_view label = "允许本次删除") {
  return NativeButtonCheck::isPressable(FakeAccessibility(), button, label);
}

TEST(NativeButtonCheckTest, PassesOnlyAnEnabledVisibleButtonNamingTheChosenLabel) {
  EXPECT_TRUE(isPressable(pressableAllowButton()));
  EXPECT_FALSE(isPressable(pressableAllowButton(), "取消删除"));
  EXPECT_FALSE(isPressable(nullptr));

  const FakeElementRef untitled = pressableAllowButton();
  untitled->attributes.erase("AXTitle");
  untitled->set("AXValue", std::string()).set("AXDescription", AXValue(AXNullMarker{}));
  untitled->attributes.erase("AXHidden");
  EXPECT_TRUE(isPressable(untitled)) << "no texts and no hidden flag pass";

  const std::vector<std::function<void(FakeElementRef&)>> breakages = {
      [](FakeElementRef& button) { button->set("AXRole", std::string("AXStaticText")); },
      [](FakeElementRef& button) { button->set("AXEnabled", false); },
      [](FakeElementRef& button) { button->attributes.erase("AXEnabled"); },
      [](FakeElementRef& button) { button->set("AXHidden", true); },
      [](FakeElementRef& button) { button->set("AXDescription", std::string("取消删除")); },
      [](FakeElementRef& button) { button->set("AXValue", std::string("允许本次删除\u200b")); },
      [](FakeElementRef& button) { button->set("AXTitle", std::string("允许本次删除吗")); },
      [](FakeElementRef& button) { button->actions = {"AXShowMenu"}; },
  };
  for (std::size_t index = 0; index < breakages.size(); ++index) {
    FakeElementRef button = pressableAllowButton();
    breakages[index](button);
    EXPECT_FALSE(isPressable(button)) << "breakage " << index;
  }
}

} // namespace
} // namespace notch
