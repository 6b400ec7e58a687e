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
using testing::nest;
using N = NativeApprovalNode;

// A card in a scanned window: grouped (the parts alone in one group, deny
// moved aside so the geometry of the flattened layout can never fit) or
// flattened (the parts between an icon and a footer).
struct Card {
  explicit Card(bool flat) : flattened(flat) {
    window = testing::scannedWindow({flat ? testing::DeletionCard().flattened() : testing::DeletionCard().grouped()});
    deny().frame->x += flat ? 0 : 50;
  }
  N& container() { return window.children[0]; }
  std::vector<N>& siblings() { return container().children; }
  N& title() { return siblings()[flattened ? 1 : 0]; }
  N& risk() { return siblings()[flattened ? 2 : 1]; }
  N& command() { return siblings()[flattened ? 3 : 2]; }
  N& allow() { return siblings()[flattened ? 4 : 3]; }
  N& deny() { return siblings()[flattened ? 5 : 4]; }
  std::optional<NativeApprovalMatch> match() {
    testing::number(window);
    return uniqueMatch({window});
  }

  bool flattened;
  N window;
};

N text(std::string value, NodeFrame frame = {110, 270, 100, 20}) { return axNode("AXStaticText", {value}, frame); }
N group(std::vector<N> children = {}, NodeFrame frame = {110, 110, 10, 10}) {
  return axNode("AXGroup", {}, frame, std::move(children));
}
N image() { return axNode("AXImage", {}, {112, 202, 8, 8}); }
N hidden(N node) {
  node.visible = false;
  return node;
}

TEST(NativeApprovalClassifierTest, RecognisesBothLayouts) {
  const NativeApprovalContext context{"检测到批量删除操作：累计删除数量 5 项，阈值 3", "高风险命令，可能影响系统稳定性",
                                      "rm -rf ./build ./dist", "允许本次删除", "取消删除"};
  EXPECT_EQ(Card(false).match(),
            (NativeApprovalMatch{
                "ax-1", "ax-2", "ax-6", "ax-7", {"ax-3", "ax-4", "ax-5"}, NativeApprovalLayout::grouped, context}));
  Card wrapped(true); // the risk line wrapped in a text-less group, as WorkBuddy sometimes does
  wrapped.risk() = group({wrapped.risk()}, {368, 108, 124, 24});
  EXPECT_EQ(
      wrapped.match(),
      (NativeApprovalMatch{
          "ax-1", "ax-2", "ax-8", "ax-9", {"ax-4", "ax-5", "ax-6", "ax-7"}, NativeApprovalLayout::flattened, context}));
}

// Each refused row breaks one rule of a valid card; each accepted row stays just inside one.
TEST(NativeApprovalClassifierTest, EachRuleAtItsEdge) {
  constexpr bool grouped = false, flat = true, refused = false, accepted = true;
  struct Row {
    const char* rule;
    bool flattened;
    bool matches;
    std::function<void(Card&)> change;
  };
  const Row rows[] = {
      // Both layouts: buttons and texts.
      {"allow disabled", grouped, refused, [](Card& c) { c.allow().enabled = false; }},
      {"deny disabled", grouped, refused, [](Card& c) { c.deny().enabled = false; }},
      {"a second allow button", grouped, refused, [](Card& c) { c.window.children.push_back(c.allow()); }},
      {"a second card", grouped, refused, [](Card& c) { c.window.children.push_back(c.container()); }},
      {"a second card in an invisible group", grouped, accepted,
       [](Card& c) { c.window.children.push_back(hidden(group({c.container()}))); }},
      {"a button with both labels", grouped, refused,
       [](Card& c) {
         c.allow().texts = {"取消删除", "允许本次删除"};
       }},
      {"more after a label", grouped, refused, [](Card& c) { c.allow().texts = {"允许本次删除。"}; }},
      {"the deny label after 1.", grouped, refused, [](Card& c) { c.deny().texts = {"1. 取消删除"}; }},
      {"allow after 1.", grouped, accepted, [](Card& c) { c.allow().texts = {" 1. 允许本次删除 "}; }},
      {"allow after 1、", grouped, accepted, [](Card& c) { c.allow().texts = {"1、允许本次删除"}; }},
      {"deny after 2：", grouped, accepted, [](Card& c) { c.deny().texts = {"2： 取消删除"}; }},
      {"a control character trimmed off a label", grouped, refused,
       [](Card& c) { c.allow().texts = {"允许本次删除\v"}; }},
      {"count below threshold", grouped, refused,
       [](Card& c) { c.title().texts = {"检测到批量删除操作：累计删除数量 4 项，阈值 5"}; }},
      {"count equal to threshold", grouped, accepted,
       [](Card& c) { c.title().texts = {"检测到批量删除操作：累计删除数量 5 项，阈值 5"}; }},
      {"…", grouped, refused, [](Card& c) { c.command().texts = {"rm -rf ./build …"}; }},
      {"...", grouped, refused, [](Card& c) { c.command().texts = {"rm -rf ./build..."}; }},
      {"⋯", grouped, refused, [](Card& c) { c.command().texts = {"rm ⋯ build"}; }},
      {"a hidden character in the command", grouped, refused,
       [](Card& c) { c.command().texts = {"rm -rf ./bu\u200Bild"}; }},
      {"a command of 65,537 bytes", grouped, refused, [](Card& c) { c.command().texts = {std::string(65'537, 'x')}; }},
      {"a command of 65,536 bytes over lines", grouped, accepted,
       [](Card& c) { c.command().texts = {std::string(65'530, 'x') + "\n\t&& y"}; }},
      // Grouped.
      {"a container that is no group", grouped, refused, [](Card& c) { c.container().role = "AXList"; }},
      {"91 nodes", grouped, refused, [](Card& c) { c.siblings().insert(c.siblings().end(), 85, group()); }},
      {"90 nodes", grouped, accepted, [](Card& c) { c.siblings().insert(c.siblings().end(), 84, group()); }},
      {"depth 13", grouped, refused, [](Card& c) { c.siblings().push_back(nest(group(), 11)); }},
      {"depth 12", grouped, accepted, [](Card& c) { c.siblings().push_back(nest(group(), 10)); }},
      {"a third button", grouped, refused,
       [](Card& c) {
         c.siblings().push_back(axNode("AXButton", {"稍后"}, {1, 1, 9, 9}));
       }},
      {"an invisible node", grouped, refused, [](Card& c) { c.siblings().push_back(hidden(group())); }},
      {"an extra text line", grouped, refused, [](Card& c) { c.siblings().push_back(text("另一行")); }},
      {"two risk lines", grouped, refused, [](Card& c) { c.siblings().push_back(text(c.risk().texts[0])); }},
      {"two batch lines", grouped, refused, [](Card& c) { c.siblings().push_back(text(c.title().texts[0])); }},
      {"buttons in five nested groups", grouped, refused,
       [](Card& c) {
         c.siblings() = {c.title(), c.risk(), c.command(), nest(group({c.allow(), c.deny()}), 4)};
       }},
      {"buttons in four nested groups", grouped, accepted,
       [](Card& c) {
         c.siblings() = {c.title(), c.risk(), c.command(), nest(group({c.allow(), c.deny()}), 3)};
       }},
      // Flattened: structure.
      {"allow at child index 2", flat, refused,
       [](Card& c) { c.siblings().erase(c.siblings().begin(), c.siblings().begin() + 2); }},
      {"deny not next to allow", flat, refused,
       [](Card& c) {
         const N deny = c.deny();   // deny two places on, where the card's geometry still fits
         c.deny().texts = {"更多"}; // an unlabelled button where deny was
         c.siblings().insert(c.siblings().begin() + 6, {text("注释", {110, 262, 60, 20}), deny});
       }},
      {"a third button after deny", flat, refused,
       [](Card& c) {
         c.siblings().insert(c.siblings().begin() + 6, axNode("AXButton", {"更多"}, {110, 264, 300, 28}));
       }},
      {"title disabled", flat, refused, [](Card& c) { c.title().enabled = false; }},
      {"title with a child", flat, refused,
       [](Card& c) {
         c.title().children = {text("x", {112, 112, 5, 5})};
       }},
      {"title with two texts", flat, refused, [](Card& c) { c.title().texts.push_back("另一行"); }},
      {"title no batch line", flat, refused, [](Card& c) { c.title().texts = {"检测到删除操作"}; }},
      {"another risk line", flat, refused, [](Card& c) { c.risk().texts = {"高风险命令"}; }},
      {"command that is a batch line", flat, refused, [](Card& c) { c.command().texts = c.title().texts; }},
      {"command that is the risk line", flat, refused, [](Card& c) { c.command().texts = c.risk().texts; }},
      {"risk wrapper with a text", flat, refused,
       [](Card& c) {
         c.risk() = axNode("AXGroup", {"风险"}, {368, 108, 124, 24}, {c.risk()});
       }},
      {"risk wrapper with two children", flat, refused,
       [](Card& c) {
         c.risk() = group({c.risk(), text("x", {370, 110, 5, 5})}, {368, 108, 124, 24});
       }},
      {"risk leaf outside its wrapper by 2.5", flat, refused,
       [](Card& c) {
         c.risk().frame->x = 374.5;
         c.risk() = group({c.risk()}, {368, 108, 124, 24});
       }},
      {"risk leaf outside its wrapper by 2", flat, accepted,
       [](Card& c) {
         c.risk().frame->x = 374;
         c.risk() = group({c.risk()}, {368, 108, 124, 24});
       }},
      {"risk leaf beyond allow's right edge, wrapper within", flat, refused,
       [](Card& c) {
         c.risk() = group({text(c.risk().texts[0], {410.5, 110, 20, 20})}, {409, 110, 20, 20});
       }},
      {"an invisible node in allow", flat, refused, [](Card& c) { c.allow().children.push_back(hidden(image())); }},
      {"a button inside allow", flat, refused,
       [](Card& c) {
         c.allow().children = {axNode("AXButton", {}, {112, 202, 8, 8})};
       }},
      {"91 nodes", flat, refused, [](Card& c) { c.deny().children.assign(86, image()); }},
      {"90 nodes", flat, accepted, [](Card& c) { c.deny().children.assign(85, image()); }},
  };
  for (const Row& row : rows) {
    Card card(row.flattened);
    row.change(card);
    EXPECT_EQ(card.match().has_value(), row.matches) << (row.flattened ? "flattened: " : "grouped: ") << row.rule;
  }
}

// Each rule of the flattened card's geometry at its edge. The base card is
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
    c.allow().frame->height = c.deny().frame->height = h;
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
         c.risk().frame = NodeFrame{370, v, 120, 10};
       },
       129.5, 130},
      {"risk ends below title's top",
       [](Card& c, double v) {
         c.risk().frame = NodeFrame{370, 108, 120, v};
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
    for (const bool inside : {true, false}) {
      Card card(true);
      edge.set(card, inside ? edge.inside : edge.outside);
      EXPECT_EQ(card.match().has_value(), inside) << edge.rule << (inside ? " inside" : " outside");
    }
  }
}

TEST(NativeApprovalClassifierTest, RecognisableButtonsAndSingleTexts) {
  Card twice(false);
  twice.window.children.push_back(twice.container());
  EXPECT_TRUE(hasRecognizableButtons({twice.window}));
  EXPECT_FALSE(hasRecognizableButtons({testing::scannedWindow({axNode("AXButton", {"确定删除"})})}));
  EXPECT_EQ(normalizedButtonLabel("1： 允许本次删除"), "允许本次删除");
  EXPECT_FALSE(normalizedButtonLabel("2. 允许本次删除"));
  EXPECT_FALSE(isCompleteCommand(" \n "));
}

} // namespace
} // namespace notch
