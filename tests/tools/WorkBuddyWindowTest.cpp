// The WorkBuddy window stand-in keeps its line protocol: one answer per
// command, refusals for cards WorkBuddy never shows, and a line for every
// press of a card's button naming the button and the card.

#include <gtest/gtest.h>

#include "platform/linux/StandInWindow.h"

namespace notch {
namespace {

using testing::StandIn;

TEST(WorkBuddyWindowTest, AnswersEachLineAndReportsAClickedButton) {
  SKIP_WITHOUT_DISPLAY();
  StandIn window;
  ASSERT_TRUE(window.started);
  EXPECT_EQ(window.send("question 3/2 选择？ | 是"), "error the page must be C/T with 1 ≤ C ≤ T ≤ 100");
  EXPECT_EQ(window.send("question 1/2 选择？"), "error a question needs a title and 1 to 20 options");
  EXPECT_EQ(window.send("command rm -rf ./dist"), "error no deletion card");
  EXPECT_EQ(window.send("deletion sideways rm -rf ./dist"), "error usage: deletion grouped|flattened COMMAND");
  EXPECT_EQ(window.send("frobnicate"), "error unknown command frobnicate");
  EXPECT_EQ(window.send("question 1/2 选择？ | 是 | 否"), "ok card=1");
  EXPECT_EQ(window.send("deletion flattened rm -rf ./dist"), "ok card=2");
  EXPECT_EQ(window.send("command rm -rf ./build"), "ok card=2");
  // The allow button spans the card's width, 32 high, about 142 from the window's top.
  ASSERT_TRUE(testing::xdotool("mousemove --window " + window.window() + " 330 142 click 1"));
  EXPECT_EQ(window.line(), "pressed 1. 允许本次删除 card=2");
  EXPECT_EQ(window.send("remove"), "ok card=2");
  EXPECT_EQ(window.send("remove"), "error no card");
}

} // namespace
} // namespace notch
