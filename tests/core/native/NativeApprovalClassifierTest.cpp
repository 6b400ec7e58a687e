// The deletion card classifier as near-miss tables: one valid card per
// layout, then one row per rule, each breaking exactly that rule; every
// threshold as a pair of values just inside and just outside. Last, random
// changes to a window holding both kinds of card.

#include <gtest/gtest.h>

#include <functional>
#include <random>

#include "core/native/CardBuilder.h"
#include "core/native/NativeApprovalClassifier.h"
#include "core/native/NativeQuestionClassifier.h"

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
N wrapped(N risk) { return group({risk}, {368, 108, 124, 24}); } // as WorkBuddy sometimes wraps the risk line

TEST(NativeApprovalClassifierTest, RecognisesBothLayouts) {
  const NativeApprovalContext context{"检测到批量删除操作：累计删除数量 5 项，阈值 3", "高风险命令，可能影响系统稳定性",
                                      "rm -rf ./build ./dist", "允许本次删除", "取消删除"};
  EXPECT_EQ(Card(false).match(),
            (NativeApprovalMatch{
                "ax-1", "ax-2", "ax-6", "ax-7", {"ax-3", "ax-4", "ax-5"}, NativeApprovalLayout::grouped, context}));
  Card flat(true);
  flat.risk() = wrapped(flat.risk());
  EXPECT_EQ(
      flat.match(),
      (NativeApprovalMatch{
          "ax-1", "ax-2", "ax-8", "ax-9", {"ax-4", "ax-5", "ax-6", "ax-7"}, NativeApprovalLayout::flattened, context}));
  EXPECT_FALSE(hasRecognizableButtons({testing::scannedWindow({axNode("AXButton", {"确定删除"})})}));
  EXPECT_FALSE(isCompleteCommand(" \n ")); // a scan drops blank texts: only the check itself sees one
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
  // clang-format off
  const Row rows[] = {
      // Both layouts: buttons and texts.
      {"allow disabled", grouped, refused, [](Card& c) { c.allow().enabled = false; }},
      {"deny disabled", grouped, refused, [](Card& c) { c.deny().enabled = false; }},
      {"a second allow button", grouped, refused, [](Card& c) { c.window.children.push_back(c.allow()); }},
      {"a second card", grouped, refused, [](Card& c) { c.window.children.push_back(c.container()); }},
      {"a second card in an invisible group", grouped, accepted, [](Card& c) { c.window.children.push_back(hidden(group({c.container()}))); }},
      {"a button with both labels", grouped, refused, [](Card& c) { c.allow().texts = {"取消删除", "允许本次删除"}; }},
      {"more after a label", grouped, refused, [](Card& c) { c.allow().texts = {"允许本次删除。"}; }},
      {"the deny label after 1.", grouped, refused, [](Card& c) { c.deny().texts = {"1. 取消删除"}; }},
      {"allow after 1.", grouped, accepted, [](Card& c) { c.allow().texts = {" 1. 允许本次删除 "}; }},
      {"allow after 1、", grouped, accepted, [](Card& c) { c.allow().texts = {"1、允许本次删除"}; }},
      {"deny after 2：", grouped, accepted, [](Card& c) { c.deny().texts = {"2： 取消删除"}; }},
      {"allow after 2.", grouped, refused, [](Card& c) { c.allow().texts = {"2. 允许本次删除"}; }},
      {"a control character trimmed off a label", grouped, refused, [](Card& c) { c.allow().texts = {"允许本次删除\v"}; }},
      {"count below threshold", grouped, refused, [](Card& c) { c.title().texts = {"检测到批量删除操作：累计删除数量 4 项，阈值 5"}; }},
      {"count equal to threshold", grouped, accepted, [](Card& c) { c.title().texts = {"检测到批量删除操作：累计删除数量 5 项，阈值 5"}; }},
      {"…", grouped, refused, [](Card& c) { c.command().texts = {"rm -rf ./build …"}; }},
      {"...", grouped, refused, [](Card& c) { c.command().texts = {"rm -rf ./build..."}; }},
      {"⋯", grouped, refused, [](Card& c) { c.command().texts = {"rm ⋯ build"}; }},
      {"a hidden character in the command", grouped, refused, [](Card& c) { c.command().texts = {"rm -rf ./bu\u200Bild"}; }},
      {"a command of 65,537 bytes", grouped, refused, [](Card& c) { c.command().texts = {std::string(65'537, 'x')}; }},
      {"a command of 65,536 bytes over lines", grouped, accepted, [](Card& c) { c.command().texts = {std::string(65'530, 'x') + "\n\t&& y"}; }},
      // Grouped.
      {"a container that is no group", grouped, refused, [](Card& c) { c.container().role = "AXList"; }},
      {"91 nodes", grouped, refused, [](Card& c) { c.siblings().insert(c.siblings().end(), 85, group()); }},
      {"90 nodes", grouped, accepted, [](Card& c) { c.siblings().insert(c.siblings().end(), 84, group()); }},
      {"depth 13", grouped, refused, [](Card& c) { c.siblings().push_back(nest(group(), 11)); }},
      {"depth 12", grouped, accepted, [](Card& c) { c.siblings().push_back(nest(group(), 10)); }},
      {"a third button", grouped, refused, [](Card& c) { c.siblings().push_back(axNode("AXButton", {"稍后"}, {1, 1, 9, 9})); }},
      {"an invisible node", grouped, refused, [](Card& c) { c.siblings().push_back(hidden(group())); }},
      {"an extra text line", grouped, refused, [](Card& c) { c.siblings().push_back(text("另一行")); }},
      {"two risk lines", grouped, refused, [](Card& c) { c.siblings().push_back(text(c.risk().texts[0])); }},
      {"two batch lines", grouped, refused, [](Card& c) { c.siblings().push_back(text(c.title().texts[0])); }},
      {"buttons in five nested groups", grouped, refused, [](Card& c) { c.siblings() = {c.title(), c.risk(), c.command(), nest(group({c.allow(), c.deny()}), 4)}; }},
      {"buttons in four nested groups", grouped, accepted, [](Card& c) { c.siblings() = {c.title(), c.risk(), c.command(), nest(group({c.allow(), c.deny()}), 3)}; }},
      // Flattened: structure. "deny not next to allow" moves deny two places on, where the geometry still fits.
      {"allow at child index 2", flat, refused, [](Card& c) { c.siblings().erase(c.siblings().begin(), c.siblings().begin() + 2); }},
      {"deny not next to allow", flat, refused, [](Card& c) { N deny = c.deny(); c.deny().texts = {"更多"}; c.siblings().insert(c.siblings().begin() + 6, {text("注释", {110, 262, 60, 20}), deny}); }},
      {"a third button after deny", flat, refused, [](Card& c) { c.siblings().insert(c.siblings().begin() + 6, axNode("AXButton", {"更多"}, {110, 264, 300, 28})); }},
      {"title disabled", flat, refused, [](Card& c) { c.title().enabled = false; }},
      {"title with a child", flat, refused, [](Card& c) { c.title().children = {text("x", {112, 112, 5, 5})}; }},
      {"title with two texts", flat, refused, [](Card& c) { c.title().texts.push_back("另一行"); }},
      {"title no batch line", flat, refused, [](Card& c) { c.title().texts = {"检测到删除操作"}; }},
      {"another risk line", flat, refused, [](Card& c) { c.risk().texts = {"高风险命令"}; }},
      {"command that is a batch line", flat, refused, [](Card& c) { c.command().texts = c.title().texts; }},
      {"command that is the risk line", flat, refused, [](Card& c) { c.command().texts = c.risk().texts; }},
      {"risk wrapper with a text", flat, refused, [](Card& c) { c.risk() = wrapped(c.risk()); c.risk().texts = {"风险"}; }},
      {"risk wrapper with two children", flat, refused, [](Card& c) { c.risk() = wrapped(c.risk()); c.risk().children.push_back(text("x", {370, 110, 5, 5})); }},
      {"risk leaf outside its wrapper by 2.5", flat, refused, [](Card& c) { c.risk().frame->x = 374.5; c.risk() = wrapped(c.risk()); }},
      {"risk leaf outside its wrapper by 2", flat, accepted, [](Card& c) { c.risk().frame->x = 374; c.risk() = wrapped(c.risk()); }},
      {"risk leaf beyond allow's right edge, wrapper within", flat, refused, [](Card& c) { c.risk() = group({text(c.risk().texts[0], {410.5, 110, 20, 20})}, {409, 110, 20, 20}); }},
      {"an invisible node in allow", flat, refused, [](Card& c) { c.allow().children.push_back(hidden(image())); }},
      {"a button inside allow", flat, refused, [](Card& c) { c.allow().children = {axNode("AXButton", {}, {112, 202, 8, 8})}; }},
      {"91 nodes", flat, refused, [](Card& c) { c.deny().children.assign(86, image()); }},
      {"90 nodes", flat, accepted, [](Card& c) { c.deny().children.assign(85, image()); }},
  };
  // clang-format on
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
  // clang-format off
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
      {"command at most h right of allow", [](Card& c, double v) { c.title().frame->x = 130; c.command().frame->x = v; }, 138, 138.5},
      {"risk at most 2 left of title", [](Card& c, double v) { c.risk().frame->x = v; }, 108, 107.5},
      {"risk left of allow's right edge", [](Card& c, double v) { c.risk().frame->x = v; }, 409.5, 410},
      {"risk at most 2 above title", [](Card& c, double v) { c.risk().frame->y = v; }, 108, 107.5},
      {"risk starts above title's bottom", [](Card& c, double v) { c.risk().frame = NodeFrame{370, v, 120, 10}; }, 129.5, 130},
      {"risk ends below title's top", [](Card& c, double v) { c.risk().frame = NodeFrame{370, 108, 120, v}; }, 2.5, 2},
      {"command at most 2 over the texts", [](Card& c, double v) { c.command().frame->y = v; }, 128, 127.5},
      {"command at most 2h below the texts", [](Card& c, double v) { c.allow().frame->y = 240; c.deny().frame->y = 272; c.command().frame->y = v; }, 186, 186.5},
      {"command ends at most 2 into allow", [](Card& c, double v) { c.command().frame->height = v; }, 62, 62.5},
      {"command ends at most 2h over allow", [](Card& c, double v) { c.command().frame->height = v; }, 4, 3.5},
      {"texts at most 4h tall", [](Card& c, double v) { c.command().frame->y = 221; c.allow().frame->y = 270; c.deny().frame->y = 302; c.risk().frame->height = v; }, 112, 112.5},
      {"command at most 4h tall", [](Card& c, double v) { c.allow().frame->y = 254; c.deny().frame->y = 286; c.command().frame->height = v; }, 112, 112.5},
  };
  // clang-format on
  for (const Edge& edge : edges) {
    for (const bool inside : {true, false}) {
      Card card(true);
      edge.set(card, inside ? edge.inside : edge.outside);
      EXPECT_EQ(card.match().has_value(), inside) << edge.rule << (inside ? " inside" : " outside");
    }
  }
}

// Random changes anywhere below a window holding both cards (a node removed,
// doubled, moved into the first card, shifted, disabled, hidden, or its text
// given a hidden character): whatever the classifiers then report names
// nodes that exist, and a second intact card beside one that still matches
// makes the match go away.
TEST(CardMutationTest, MatchesNameRealNodesAndNeverSurviveASecondCard) {
  std::mt19937 random(7001);
  int approvals = 0, questions = 0;
  for (int round = 0; round < 1500; ++round) {
    const N deletion = round % 2 == 0 ? testing::DeletionCard().flattened() : testing::DeletionCard().grouped();
    const N question = testing::QuestionCard().group();
    N window = testing::scannedWindow({deletion, question});
    for (int i = 0, mutations = 1 + static_cast<int>(random() % 3); i < mutations; ++i) {
      std::vector<std::pair<std::vector<N>*, std::size_t>> places; // a node as its siblings and its index
      const std::function<void(N&)> collect = [&](N& node) {
        for (std::size_t k = 0; k < node.children.size(); ++k) {
          places.emplace_back(&node.children, k);
          collect(node.children[k]);
        }
      };
      collect(window);
      if (places.empty()) {
        break;
      }
      auto [siblings, index] = places[random() % places.size()];
      N target = (*siblings)[index];
      N& node = (*siblings)[index];
      const auto at = siblings->begin() + static_cast<long>(index);
      const auto into = [&]() -> std::vector<N>& {
        return window.children.empty() ? window.children : window.children[0].children;
      };
      static const char* kHidden[] = {"\u200B", "\u202E", "\u2028", "\u200D"};
      // clang-format off
      switch (random() % 7) {
      case 0: siblings->erase(at); break;
      case 1: siblings->insert(at, target); break;
      case 2: siblings->erase(at); into().insert(into().begin() + static_cast<long>(random() % (into().size() + 1)), target); break;
      case 3: if (node.frame) (random() % 2 == 0 ? node.frame->x : node.frame->height) += static_cast<int>(random() % 21) - 10; break;
      case 4: node.enabled = !node.enabled; break;
      case 5: node.visible = !node.visible; break;
      default: if (!node.texts.empty()) node.texts[0].insert(0, kHidden[random() % 4]);
      }
      // clang-format on
    }
    const int last = testing::number(window);
    const auto approval = uniqueMatch({window});
    const auto questionMatch = NativeQuestionClassifier::uniqueMatch({window});
    approvals += approval.has_value();
    questions += questionMatch.has_value();
    std::vector<std::string> named = approval ? approval->contextNodeIDs : std::vector<std::string>();
    if (approval) {
      named.insert(named.end(), {approval->windowID, approval->containerID, approval->allowID, approval->denyID});
    }
    if (questionMatch) {
      named.insert(named.end(), questionMatch->contextNodeIDs.begin(), questionMatch->contextNodeIDs.end());
      named.insert(named.end(), {questionMatch->windowID, questionMatch->containerID, questionMatch->anchorID});
    }
    for (const std::string& id : named) {
      ASSERT_TRUE(id.starts_with("ax-") && std::stoi(id.substr(3)) >= 1 && std::stoi(id.substr(3)) <= last) << id;
    }
    window.children.insert(window.children.end(), {deletion, question});
    testing::number(window);
    EXPECT_FALSE(approval && uniqueMatch({window})) << "round " << round;
    EXPECT_FALSE(questionMatch && NativeQuestionClassifier::uniqueMatch({window})) << "round " << round;
  }
  EXPECT_GT(approvals, 0); // some changes leave a card intact; the run must have seen both kinds
  EXPECT_GT(questions, 0);
}

} // namespace
} // namespace notch
