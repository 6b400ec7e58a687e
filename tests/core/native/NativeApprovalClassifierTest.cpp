// The deletion card classifier as near-miss tables: one valid card per
// layout, then one row per rule, each breaking exactly that rule; every
// threshold as a pair of values just inside and just outside.

#include <gtest/gtest.h>

#include <functional>

#include "core/native/CardBuilder.h"
#include "core/native/NativeApprovalClassifier.h"

namespace notch {
namespace {

using namespace NativeApprovalClassifier;
using testing::axNode;
using testing::DeletionCard;
using testing::scannedWindow;

// A card in a scanned window: grouped (the parts alone in one group, deny
// moved aside so the geometry of the flattened layout can never fit) or
// flattened (the parts between an icon and a footer).
struct Card {
  explicit Card(bool isFlattened) : flattened(isFlattened) {
    NativeApprovalNode group = flattened ? DeletionCard().flattened() : DeletionCard().grouped();
    window = scannedWindow({std::move(group)});
    if (!flattened) {
      deny().frame->x += 50;
    }
  }
  NativeApprovalNode& container() { return window.children[0]; }
  NativeApprovalNode& part(std::size_t i) { return container().children[flattened ? i + 1 : i]; }
  NativeApprovalNode& title() { return part(0); }
  NativeApprovalNode& risk() { return part(1); }
  NativeApprovalNode& command() { return part(2); }
  NativeApprovalNode& allow() { return part(3); }
  NativeApprovalNode& deny() { return part(4); }
  std::vector<NativeApprovalNode>& siblings() { return container().children; }
  std::optional<NativeApprovalMatch> match() const {
    return uniqueMatch({scannedWindow(window.children, *window.frame)}); // numbered afresh
  }

  bool flattened;
  NativeApprovalNode window;
};

NativeApprovalNode text(std::string value, NodeFrame frame = {110, 270, 100, 20}) {
  return axNode("AXStaticText", {std::move(value)}, frame);
}
NativeApprovalNode group(std::vector<NativeApprovalNode> children = {}, NodeFrame frame = {110, 110, 10, 10}) {
  return axNode("AXGroup", {}, frame, std::move(children));
}
NativeApprovalNode image() { return axNode("AXImage", {}, {112, 202, 8, 8}); }

TEST(NativeApprovalClassifierTest, RecognisesBothLayouts) {
  const DeletionCard card;
  const auto grouped = Card(false).match();
  ASSERT_TRUE(grouped);
  EXPECT_EQ(grouped->layout, NativeApprovalLayout::grouped);
  EXPECT_EQ(grouped->windowID, "ax-1");
  EXPECT_EQ(grouped->containerID, "ax-2");
  EXPECT_EQ(grouped->allowID, "ax-6");
  EXPECT_EQ(grouped->denyID, "ax-7");
  EXPECT_EQ(grouped->contextNodeIDs, (std::vector<std::string>{"ax-3", "ax-4", "ax-5"}));
  EXPECT_EQ(grouped->context,
            (NativeApprovalContext{"检测到批量删除操作：累计删除数量 5 项，阈值 3", "高风险命令，可能影响系统稳定性",
                                   "rm -rf ./build ./dist", "允许本次删除", "取消删除"}));

  Card wrapped(true); // the risk line wrapped in a text-less group, as WorkBuddy sometimes does
  wrapped.risk() = group({wrapped.risk()}, {368, 108, 124, 24});
  const auto flattened = wrapped.match();
  ASSERT_TRUE(flattened);
  EXPECT_EQ(flattened->layout, NativeApprovalLayout::flattened);
  EXPECT_EQ(flattened->containerID, "ax-2");
  EXPECT_EQ(flattened->allowID, "ax-8");
  EXPECT_EQ(flattened->contextNodeIDs, (std::vector<std::string>{"ax-4", "ax-5", "ax-6", "ax-7"}));
  EXPECT_EQ(flattened->context.risk, "高风险命令，可能影响系统稳定性");
}

using Change = std::function<void(Card&)>;
struct Row {
  const char* rule;
  bool flattened;
  Change change;
};

// Each row breaks one rule of a valid card: it must be refused.
TEST(NativeApprovalClassifierTest, EachBrokenRuleRefusesTheCard) {
  const Row rows[] = {
      // Both layouts: buttons and texts.
      {"allow disabled", false, [](Card& c) { c.allow().enabled = false; }},
      {"deny disabled", false, [](Card& c) { c.deny().enabled = false; }},
      {"a second allow button", false,
       [](Card& c) {
         const NativeApprovalNode copy = c.allow();
         c.window.children.push_back(copy);
       }},
      {"a second card", false,
       [](Card& c) {
         const NativeApprovalNode copy = c.container();
         c.window.children.push_back(copy);
       }},
      {"a button with both labels", false,
       [](Card& c) {
         c.allow().texts = {"取消删除", "允许本次删除"};
       }},
      {"more after a label", false, [](Card& c) { c.allow().texts = {"允许本次删除。"}; }},
      {"the deny label after 1.", false, [](Card& c) { c.deny().texts = {"1. 取消删除"}; }},
      {"a control character trimmed off a label", false, [](Card& c) { c.allow().texts = {"允许本次删除\v"}; }},
      {"count below threshold", false,
       [](Card& c) { c.title().texts = {"检测到批量删除操作：累计删除数量 4 项，阈值 5"}; }},
      {"…", false, [](Card& c) { c.command().texts = {"rm -rf ./build …"}; }},
      {"...", false, [](Card& c) { c.command().texts = {"rm -rf ./build..."}; }},
      {"⋯", false, [](Card& c) { c.command().texts = {"rm ⋯ build"}; }},
      {"a hidden character in the command", false, [](Card& c) { c.command().texts = {"rm -rf ./bu\u200Bild"}; }},
      {"a command of 65,537 bytes", false, [](Card& c) { c.command().texts = {std::string(65'537, 'x')}; }},
      // Grouped.
      {"a container that is no group", false, [](Card& c) { c.container().role = "AXList"; }},
      {"91 nodes", false, [](Card& c) { c.siblings().insert(c.siblings().end(), 85, group()); }},
      {"depth 13", false,
       [](Card& c) {
         NativeApprovalNode chain = group();
         for (int i = 1; i < 12; ++i) {
           chain = group({chain});
         }
         c.siblings().push_back(chain);
       }},
      {"a third button", false,
       [](Card& c) {
         c.siblings().push_back(axNode("AXButton", {"稍后"}, {1, 1, 9, 9}));
       }},
      {"an invisible node", false,
       [](Card& c) {
         c.siblings().push_back(group());
         c.siblings().back().visible = false;
       }},
      {"an extra text line", false, [](Card& c) { c.siblings().push_back(text("另一行")); }},
      {"two risk lines", false, [](Card& c) { c.siblings().push_back(text("高风险命令，可能影响系统稳定性")); }},
      {"two batch lines", false,
       [](Card& c) { c.siblings().push_back(text("检测到批量删除操作：累计删除数量 5 项，阈值 3")); }},
      {"buttons in five nested groups", false,
       [](Card& c) {
         NativeApprovalNode nested = group({c.allow(), c.deny()});
         for (int i = 1; i < 5; ++i) {
           nested = group({nested});
         }
         c.siblings().resize(3);
         c.siblings().push_back(nested);
       }},
      // Flattened: structure.
      {"allow at child index 2", true,
       [](Card& c) { c.siblings().erase(c.siblings().begin(), c.siblings().begin() + 2); }},
      {"deny not next to allow", true,
       [](Card& c) {
         NativeApprovalNode deny = c.deny(); // deny two places on, where the card's geometry still fits
         c.deny().texts = {"更多"};          // an unlabelled button where deny was
         c.siblings().insert(c.siblings().begin() + 6, text("注释", {110, 262, 60, 20}));
         c.siblings().insert(c.siblings().begin() + 7, deny);
       }},
      {"a third button after deny", true,
       [](Card& c) {
         c.siblings().insert(c.siblings().begin() + 6, axNode("AXButton", {"更多"}, {110, 264, 300, 28}));
       }},
      {"title disabled", true, [](Card& c) { c.title().enabled = false; }},
      {"title with a child", true,
       [](Card& c) {
         c.title().children = {text("x", {112, 112, 5, 5})};
       }},
      {"title with two texts", true, [](Card& c) { c.title().texts.push_back("另一行"); }},
      {"title no batch line", true, [](Card& c) { c.title().texts = {"检测到删除操作"}; }},
      {"another risk line", true, [](Card& c) { c.risk().texts = {"高风险命令"}; }},
      {"command that is a batch line", true, [](Card& c) { c.command().texts = c.title().texts; }},
      {"command that is the risk line", true, [](Card& c) { c.command().texts = c.risk().texts; }},
      {"risk wrapper with a text", true,
       [](Card& c) {
         c.risk() = axNode("AXGroup", {"风险"}, {368, 108, 124, 24}, {c.risk()});
       }},
      {"risk wrapper with two children", true,
       [](Card& c) {
         c.risk() = group({c.risk(), text("x", {370, 110, 5, 5})}, {368, 108, 124, 24});
       }},
      {"risk leaf outside its wrapper by 2.5", true,
       [](Card& c) {
         c.risk().frame->x = 374.5;
         c.risk() = group({c.risk()}, {368, 108, 124, 24});
       }},
      {"risk leaf beyond allow's right edge, wrapper within", true,
       [](Card& c) {
         c.risk().frame = NodeFrame{410.5, 110, 20, 20};
         c.risk() = group({c.risk()}, {409, 110, 20, 20});
       }},
      {"an invisible node in allow", true,
       [](Card& c) {
         c.allow().children = {image()};
         c.allow().children[0].visible = false;
       }},
      {"a button inside allow", true,
       [](Card& c) {
         c.allow().children = {axNode("AXButton", {}, {112, 202, 8, 8})};
       }},
      {"91 nodes", true, [](Card& c) { c.deny().children.assign(86, image()); }},
  };
  for (const Row& row : rows) {
    Card card(row.flattened);
    ASSERT_TRUE(card.match()) << "base of " << row.rule;
    row.change(card);
    const auto match = card.match();
    EXPECT_FALSE(match) << (row.flattened ? "flattened: " : "grouped: ") << row.rule;
  }
}

// The other side of the limits and of what the walk must not see.
TEST(NativeApprovalClassifierTest, WhatIsJustInsideTheRulesIsAccepted) {
  const Row rows[] = {
      {"allow after 1.", false, [](Card& c) { c.allow().texts = {" 1. 允许本次删除 "}; }},
      {"allow after 1、", false, [](Card& c) { c.allow().texts = {"1、允许本次删除"}; }},
      {"deny after 2：", false, [](Card& c) { c.deny().texts = {"2： 取消删除"}; }},
      {"count equal to threshold", false,
       [](Card& c) { c.title().texts = {"检测到批量删除操作：累计删除数量 5 项，阈值 5"}; }},
      {"a command of 65,536 bytes over lines", false,
       [](Card& c) { c.command().texts = {std::string(65'530, 'x') + "\n\t&& y"}; }},
      {"a second card inside an invisible group", false,
       [](Card& c) {
         NativeApprovalNode hidden = group({c.container()});
         hidden.visible = false;
         c.window.children.push_back(hidden);
       }},
      {"90 nodes", false, [](Card& c) { c.siblings().insert(c.siblings().end(), 84, group()); }},
      {"depth 12", false,
       [](Card& c) {
         NativeApprovalNode chain = group();
         for (int i = 1; i < 11; ++i) {
           chain = group({chain});
         }
         c.siblings().push_back(chain);
       }},
      {"buttons in four nested groups", false,
       [](Card& c) {
         NativeApprovalNode nested = group({c.allow(), c.deny()});
         for (int i = 1; i < 4; ++i) {
           nested = group({nested});
         }
         c.siblings().resize(3);
         c.siblings().push_back(nested);
       }},
      {"90 nodes", true, [](Card& c) { c.deny().children.assign(85, image()); }},
      {"risk leaf outside its wrapper by 2", true,
       [](Card& c) {
         c.risk().frame->x = 374;
         c.risk() = group({c.risk()}, {368, 108, 124, 24});
       }},
  };
  for (const Row& row : rows) {
    Card card(row.flattened);
    row.change(card);
    EXPECT_TRUE(card.match()) << (row.flattened ? "flattened: " : "grouped: ") << row.rule;
  }
}

// Each rule of the flattened card's geometry at its edge: the value that
// just fits is accepted, the value just past it refused. The base card is
// title {110,110,250,20}, risk {370,110,120,20}, command {110,140,300,40},
// allow {110,200,300,28}, deny {110,232,300,28}; h is allow's height.
TEST(NativeApprovalClassifierTest, FlattenedGeometryHoldsAtEachEdge) {
  struct Edge {
    const char* rule;
    std::function<void(Card&, double)> set;
    double inside;
    double outside;
  };
  const auto setHeight = [](Card& c, double h) {
    c.allow().frame->height = h;
    c.deny().frame->height = h;
    c.deny().frame->y = 200 + h + 4;
  };
  const Edge edges[] = {
      {"12 <= h", setHeight, 12, 11.5},
      {"h <= 128", setHeight, 128, 128.5},
      {"deny left edge within 2", [](Card& c, double v) { c.deny().frame->x = v; }, 112, 112.5},
      {"deny width within 2", [](Card& c, double v) { c.deny().frame->width = v; }, 302, 302.5},
      {"deny height within 2", [](Card& c, double v) { c.deny().frame->height = v; }, 30, 30.5},
      {"deny at most 1 over allow", [](Card& c, double v) { c.deny().frame->y = v; }, 227, 226.5},
      {"deny at most 24 below allow", [](Card& c, double v) { c.deny().frame->y = v; }, 252, 252.5},
      {"title within h of command", [](Card& c, double v) { c.title().frame->x = v; }, 82, 81.5},
      {"command at most 2 left of allow", [](Card& c, double v) { c.command().frame->x = v; }, 108, 107.5},
      {"command at most h right of allow",
       [](Card& c, double v) {
         c.title().frame->x = 130;
         c.command().frame->x = v;
       },
       138, 138.5},
      {"risk at most 2 left of title", [](Card& c, double v) { c.risk().frame->x = v; }, 108, 107.5},
      {"risk left of allow's right edge", [](Card& c, double v) { c.risk().frame->x = v; }, 409.5, 410},
      {"risk at most 2 above title", [](Card& c, double v) { c.risk().frame->y = v; }, 108, 107.5},
      {"risk starts above title's bottom",
       [](Card& c, double v) {
         c.risk().frame->height = 10;
         c.risk().frame->y = v;
       },
       129.5, 130},
      {"risk ends below title's top",
       [](Card& c, double v) {
         c.risk().frame->y = 108;
         c.risk().frame->height = v;
       },
       2.5, 2},
      {"command at most 2 over the texts", [](Card& c, double v) { c.command().frame->y = v; }, 128, 127.5},
      {"command at most 2h below the texts",
       [](Card& c, double v) {
         c.allow().frame->y = 240;
         c.deny().frame->y = 272;
         c.command().frame->y = v;
       },
       186, 186.5},
      {"command ends at most 2 into allow", [](Card& c, double v) { c.command().frame->height = v; }, 62, 62.5},
      {"command ends at most 2h over allow", [](Card& c, double v) { c.command().frame->height = v; }, 4, 3.5},
      {"texts at most 4h tall",
       [](Card& c, double v) {
         c.command().frame->y = 221;
         c.allow().frame->y = 270;
         c.deny().frame->y = 302;
         c.risk().frame->height = v;
       },
       112, 112.5},
      {"command at most 4h tall",
       [](Card& c, double v) {
         c.allow().frame->y = 254;
         c.deny().frame->y = 286;
         c.command().frame->height = v;
       },
       112, 112.5},
  };
  for (const Edge& edge : edges) {
    Card inside(true);
    edge.set(inside, edge.inside);
    EXPECT_TRUE(inside.match()) << edge.rule << " at " << edge.inside;
    Card outside(true);
    edge.set(outside, edge.outside);
    EXPECT_FALSE(outside.match()) << edge.rule << " at " << edge.outside;
  }
}

TEST(NativeApprovalClassifierTest, RecognisableButtonsAndSingleTexts) {
  Card twice(false);
  const NativeApprovalNode copy = twice.container();
  twice.window.children.push_back(copy);
  EXPECT_TRUE(hasRecognizableButtons({twice.window}));
  EXPECT_FALSE(hasRecognizableButtons({scannedWindow({axNode("AXButton", {"确定删除"}, {10, 10, 80, 20})})}));
  EXPECT_EQ(normalizedButtonLabel("1： 允许本次删除"), "允许本次删除");
  EXPECT_EQ(normalizedButtonLabel("取消删除"), "取消删除");
  EXPECT_FALSE(normalizedButtonLabel("2. 允许本次删除"));
  EXPECT_FALSE(isCompleteCommand(" \n "));
}

} // namespace
} // namespace notch
