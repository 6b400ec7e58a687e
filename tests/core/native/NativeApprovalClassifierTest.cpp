#include <gtest/gtest.h>

#include "core/native/NativeApprovalClassifier.h"

namespace notch {
namespace {

using namespace NativeApprovalClassifier;

const std::string kBatchLine = "检测到批量删除操作：累计删除数量 5 项，阈值 3";
const std::string kCommand = "rm -rf ./build ./dist";

NativeApprovalNode node(std::string role, std::vector<std::string> texts, NodeFrame frame,
                        std::vector<NativeApprovalNode> children = {}) {
  return NativeApprovalNode{"", std::move(role), std::move(texts), true, true, std::move(children), frame};
}

// Gives every node its pre-order id, as a scan would.
NativeApprovalNode numbered(NativeApprovalNode root) {
  int counter = 0;
  auto assign = [&](auto& self, NativeApprovalNode& n) -> void {
    n.id = "ax-" + std::to_string(++counter);
    for (NativeApprovalNode& child : n.children) {
      self(self, child);
    }
  };
  assign(assign, root);
  return root;
}

// The card's five parts at plausible places, in the order title, risk,
// command, allow, deny.
std::vector<NativeApprovalNode> cardParts(const std::string& command = kCommand,
                                          const std::string& batchLine = kBatchLine) {
  return {node("AXStaticText", {batchLine}, {110, 110, 250, 20}),
          node("AXStaticText", {std::string(riskText)}, {370, 110, 120, 20}),
          node("AXStaticText", {command}, {110, 140, 300, 40}),
          node("AXButton", {"1. 允许本次删除"}, {110, 200, 300, 28}),
          node("AXButton", {std::string(denyLabel)}, {110, 232, 300, 28})};
}

NativeApprovalNode window(std::vector<NativeApprovalNode> children) {
  return numbered(node("AXWindow", {"WorkBuddy"}, {0, 0, 800, 600}, std::move(children)));
}

// The parts as siblings among others in one group: only their order and
// geometry can make them a card.
std::vector<NativeApprovalNode> flattened(std::vector<NativeApprovalNode> parts) {
  std::vector<NativeApprovalNode> siblings = {node("AXImage", {}, {20, 20, 16, 16})};
  siblings.insert(siblings.end(), parts.begin(), parts.end());
  siblings.push_back(node("AXStaticText", {"footer"}, {110, 300, 100, 20}));
  return {window({node("AXGroup", {}, {0, 0, 800, 600}, siblings)})};
}

NativeApprovalNode groupedCard(std::vector<NativeApprovalNode> parts = cardParts()) {
  return node("AXGroup", {}, {100, 100, 420, 170}, std::move(parts));
}

TEST(NativeApprovalClassifierTest, RecognisesTheGroupedCard) {
  const std::vector<NativeApprovalNode> roots = {window({groupedCard()})};
  const auto match = uniqueMatch(roots);
  ASSERT_TRUE(match);
  EXPECT_EQ(match->layout, NativeApprovalLayout::grouped);
  EXPECT_EQ(match->windowID, "ax-1");
  EXPECT_EQ(match->containerID, "ax-2");
  EXPECT_EQ(match->allowID, "ax-6");
  EXPECT_EQ(match->denyID, "ax-7");
  EXPECT_EQ(match->contextNodeIDs, (std::vector<std::string>{"ax-3", "ax-4", "ax-5"}));
  EXPECT_EQ(match->context, (NativeApprovalContext{kBatchLine, std::string(riskText), kCommand, std::string(allowLabel),
                                                   std::string(denyLabel)}));
}

TEST(NativeApprovalClassifierTest, RecognisesTheFlattenedCardByItsGeometry) {
  std::vector<NativeApprovalNode> parts = cardParts();
  // The risk line wrapped in a text-less group, as WorkBuddy sometimes does.
  parts[1] = node("AXGroup", {}, {368, 108, 124, 24}, {parts[1]});
  const auto match = uniqueMatch(flattened(parts));
  ASSERT_TRUE(match);
  EXPECT_EQ(match->layout, NativeApprovalLayout::flattened);
  EXPECT_EQ(match->containerID, "ax-2");
  EXPECT_EQ(match->contextNodeIDs, (std::vector<std::string>{"ax-4", "ax-5", "ax-6", "ax-7"}));
  EXPECT_EQ(match->context.risk, riskText);

  // The same siblings with the allow button too early, or a third button
  // right after the deny button, are not the card.
  std::vector<NativeApprovalNode> early(parts.begin() + 1, parts.end());
  EXPECT_FALSE(uniqueMatch(flattened(early)));
  std::vector<NativeApprovalNode> extra = parts;
  extra.push_back(node("AXButton", {"更多"}, {110, 264, 300, 28}));
  EXPECT_FALSE(uniqueMatch(flattened(extra)));
  // Moving the command above the title breaks the geometry.
  std::vector<NativeApprovalNode> apart = parts;
  apart[2].frame = NodeFrame{110, 20, 300, 40};
  EXPECT_FALSE(uniqueMatch(flattened(apart)));
}

TEST(NativeApprovalClassifierTest, EveryDoubtIsNoMatch) {
  auto refused = [](std::vector<NativeApprovalNode> roots, const char* why) {
    EXPECT_FALSE(uniqueMatch(roots)) << why;
  };
  refused({window({groupedCard(), groupedCard()})}, "two cards");
  EXPECT_TRUE(hasRecognizableButtons({window({groupedCard(), groupedCard()})}));
  refused({window({groupedCard()}), window({groupedCard()})}, "two windows with cards");
  refused({window({groupedCard(cardParts(kCommand, "检测到批量删除操作：累计删除数量 3 项，阈值 5"))})},
          "count below threshold");
  EXPECT_TRUE(
      uniqueMatch({window({groupedCard(cardParts(kCommand, "检测到批量删除操作：累计删除数量 5 项，阈值 5"))})}));
  refused({window({groupedCard(cardParts("rm -rf ./bu\u200Bild"))})}, "zero-width space in the command");
  refused({window({groupedCard(cardParts("rm -rf ./build …"))})}, "abbreviated command");
  refused({window({groupedCard(cardParts("rm -rf ./build..."))})}, "abbreviated command");

  // A group with more than the card is no grouped card; it may still be the
  // flattened one when its geometry fits.
  auto notGrouped = [](std::vector<NativeApprovalNode> parts, const char* why) {
    const auto match = uniqueMatch({window({groupedCard(std::move(parts))})});
    EXPECT_TRUE(!match || match->layout == NativeApprovalLayout::flattened) << why;
  };
  std::vector<NativeApprovalNode> extraText = cardParts();
  extraText.push_back(node("AXStaticText", {"另一行"}, {110, 270, 100, 20}));
  notGrouped(extraText, "an extra text line");
  std::vector<NativeApprovalNode> thirdButton = cardParts();
  thirdButton.push_back(node("AXButton", {"稍后"}, {110, 270, 100, 20}));
  refused({window({groupedCard(thirdButton)})}, "a third button");
  std::vector<NativeApprovalNode> crowded = cardParts();
  for (int i = 0; i < 86; ++i) {
    crowded.push_back(node("AXGroup", {}, {110, 110, 10, 10}));
  }
  notGrouped(crowded, "91 nodes");
  std::vector<NativeApprovalNode> disabled = cardParts();
  disabled[3].enabled = false;
  refused({window({groupedCard(disabled)})}, "a disabled allow button");
  std::vector<NativeApprovalNode> ambiguous = cardParts();
  ambiguous[3].texts = {std::string(allowLabel), std::string(denyLabel)};
  refused({window({groupedCard(ambiguous)})}, "a button with both labels");
  EXPECT_FALSE(hasRecognizableButtons({window({node("AXButton", {"确定"}, {10, 10, 80, 20})})}));
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
  for (const std::string& command : {std::string(" \n "), std::string("rm ⋯"), std::string("rm\x01"),
                                     std::string(65'537, 'x'), std::string("echo \u202Egnp.exe")}) {
    EXPECT_FALSE(isCompleteCommand(command)) << command.substr(0, 20);
  }
}

} // namespace
} // namespace notch
