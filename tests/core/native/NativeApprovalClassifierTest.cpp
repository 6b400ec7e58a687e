#include <gtest/gtest.h>

#include "core/native/CardBuilder.h"
#include "core/native/NativeApprovalClassifier.h"

namespace notch {
namespace {

using namespace NativeApprovalClassifier;
using testing::axNode;
using testing::DeletionCard;
using testing::scannedWindow;

std::vector<NativeApprovalNode> flattenedWith(std::vector<NativeApprovalNode> parts) {
  std::vector<NativeApprovalNode> siblings = {axNode("AXImage", {}, {20, 20, 16, 16})};
  siblings.insert(siblings.end(), parts.begin(), parts.end());
  siblings.push_back(axNode("AXStaticText", {"footer"}, {110, 300, 100, 20}));
  return {scannedWindow({axNode("AXGroup", {}, {0, 0, 800, 600}, siblings)})};
}

std::vector<NativeApprovalNode> groupedWith(std::vector<NativeApprovalNode> parts) {
  return {scannedWindow({axNode("AXGroup", {}, {100, 100, 420, 170}, std::move(parts))})};
}

TEST(NativeApprovalClassifierTest, RecognisesTheGroupedCard) {
  const DeletionCard card;
  const auto match = uniqueMatch({scannedWindow({card.grouped()})});
  ASSERT_TRUE(match);
  EXPECT_EQ(match->layout, NativeApprovalLayout::grouped);
  EXPECT_EQ(match->windowID, "ax-1");
  EXPECT_EQ(match->containerID, "ax-2");
  EXPECT_EQ(match->allowID, "ax-6");
  EXPECT_EQ(match->denyID, "ax-7");
  EXPECT_EQ(match->contextNodeIDs, (std::vector<std::string>{"ax-3", "ax-4", "ax-5"}));
  EXPECT_EQ(match->context, (NativeApprovalContext{card.batchLine, card.risk, card.command, std::string(allowLabel),
                                                   std::string(denyLabel)}));
}

TEST(NativeApprovalClassifierTest, RecognisesTheFlattenedCardByItsGeometry) {
  std::vector<NativeApprovalNode> parts = DeletionCard().parts();
  // The risk line wrapped in a text-less group, as WorkBuddy sometimes does.
  parts[1] = axNode("AXGroup", {}, {368, 108, 124, 24}, {parts[1]});
  const auto match = uniqueMatch(flattenedWith(parts));
  ASSERT_TRUE(match);
  EXPECT_EQ(match->layout, NativeApprovalLayout::flattened);
  EXPECT_EQ(match->containerID, "ax-2");
  EXPECT_EQ(match->contextNodeIDs, (std::vector<std::string>{"ax-4", "ax-5", "ax-6", "ax-7"}));
  EXPECT_EQ(match->context.risk, riskText);

  std::vector<NativeApprovalNode> early(parts.begin() + 1, parts.end());
  EXPECT_FALSE(uniqueMatch(flattenedWith(early))) << "allow button at child index 2";
  std::vector<NativeApprovalNode> extra = parts;
  extra.push_back(axNode("AXButton", {"更多"}, {110, 264, 300, 28}));
  EXPECT_FALSE(uniqueMatch(flattenedWith(extra))) << "a third button after deny";
  std::vector<NativeApprovalNode> apart = parts;
  apart[2].frame = NodeFrame{110, 20, 300, 40};
  EXPECT_FALSE(uniqueMatch(flattenedWith(apart))) << "the command above the title";
  std::vector<NativeApprovalNode> misaligned = parts;
  misaligned[4].frame->x += 3;
  EXPECT_FALSE(uniqueMatch(flattenedWith(misaligned))) << "buttons 3 points apart";
}

TEST(NativeApprovalClassifierTest, EveryDoubtIsNoMatch) {
  auto refused = [](DeletionCard card, const char* why) {
    EXPECT_FALSE(uniqueMatch({scannedWindow({card.grouped()})})) << why;
  };
  refused({.batchLine = "检测到批量删除操作：累计删除数量 3 项，阈值 5"}, "count below threshold");
  refused({.command = "rm -rf ./bu\u200Bild"}, "zero-width space in the command");
  refused({.command = "rm -rf ./build\u202E"}, "direction mark in the command");
  for (const char* abbreviated : {"rm -rf ./build …", "rm -rf ./build...", "rm ⋯ build"}) {
    refused({.command = abbreviated}, "abbreviated command");
  }
  refused({.allowText = "允许\u200D本次删除"}, "a joiner in a label");
  refused({.allowText = "允许本次删除。"}, "a label with more after it");
  EXPECT_TRUE(uniqueMatch(
      {scannedWindow({DeletionCard{.batchLine = "检测到批量删除操作：累计删除数量 5 项，阈值 5"}.grouped()})}));

  const DeletionCard card;
  EXPECT_FALSE(uniqueMatch({scannedWindow({card.grouped(), card.grouped()})})) << "two cards";
  EXPECT_TRUE(hasRecognizableButtons({scannedWindow({card.grouped(), card.grouped()})}));
  EXPECT_FALSE(uniqueMatch({scannedWindow({card.grouped()}), scannedWindow({card.grouped()})}));
  EXPECT_FALSE(hasRecognizableButtons({scannedWindow({axNode("AXButton", {"确定"}, {10, 10, 80, 20})})}));

  std::vector<NativeApprovalNode> disabled = card.parts();
  disabled[3].enabled = false;
  EXPECT_FALSE(uniqueMatch(groupedWith(disabled))) << "a disabled allow button";
  std::vector<NativeApprovalNode> hidden = card.parts();
  hidden[3].visible = false; // e.g. 3 points outside its window
  EXPECT_FALSE(uniqueMatch(groupedWith(hidden))) << "an invisible allow button";
  std::vector<NativeApprovalNode> ambiguous = card.parts();
  ambiguous[3].texts = {std::string(allowLabel), std::string(denyLabel)};
  EXPECT_FALSE(uniqueMatch(groupedWith(ambiguous))) << "a button with both labels";

  // A group with more than the card is no grouped card; it may still be the
  // flattened one when the geometry fits.
  auto notGrouped = [](std::vector<NativeApprovalNode> parts, const char* why) {
    const auto match = uniqueMatch(groupedWith(std::move(parts)));
    EXPECT_TRUE(!match || match->layout == NativeApprovalLayout::flattened) << why;
  };
  std::vector<NativeApprovalNode> extraText = card.parts();
  extraText.push_back(axNode("AXStaticText", {"另一行"}, {110, 270, 100, 20}));
  notGrouped(extraText, "an extra text line");
  std::vector<NativeApprovalNode> thirdButton = card.parts();
  thirdButton.push_back(axNode("AXButton", {"稍后"}, {110, 270, 100, 20}));
  notGrouped(thirdButton, "a third button");
  std::vector<NativeApprovalNode> crowded = card.parts();
  for (int i = 0; i < 86; ++i) {
    crowded.push_back(axNode("AXGroup", {}, {110, 110, 10, 10}));
  }
  notGrouped(crowded, "91 nodes");
}

TEST(NativeApprovalClassifierTest, LabelsAndCommands) {
  for (const char* allow : {"允许本次删除", " 1.允许本次删除 ", "1、允许本次删除", "1： 允许本次删除"}) {
    EXPECT_EQ(normalizedButtonLabel(allow), std::string(allowLabel)) << allow;
  }
  EXPECT_EQ(normalizedButtonLabel("2. 取消删除"), std::string(denyLabel));
  for (const char* other : {"允许本次删除。", "2. 允许本次删除", "允许\u200B本次删除", "取消", ""}) {
    EXPECT_FALSE(normalizedButtonLabel(other)) << other;
  }
  EXPECT_TRUE(isCompleteCommand("rm -rf ./build\n  && echo done"));
  for (const std::string& command : {std::string(" \n "), std::string("rm\x01"), std::string(65'537, 'x')}) {
    EXPECT_FALSE(isCompleteCommand(command)) << command.substr(0, 20);
  }
}

} // namespace
} // namespace notch
