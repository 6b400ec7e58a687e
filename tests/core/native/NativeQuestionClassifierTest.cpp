#include <gtest/gtest.h>

#include "core/native/NativeQuestionClassifier.h"

namespace notch {
namespace {

using NativeQuestionClassifier::uniqueMatch;

NativeApprovalNode node(std::string role, std::vector<std::string> texts, NodeFrame frame,
                        std::vector<NativeApprovalNode> children = {}, bool enabled = true) {
  return NativeApprovalNode{"", std::move(role), std::move(texts), enabled, true, std::move(children), frame};
}

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

NativeApprovalNode navigation(const char* label, double x, bool enabled) {
  return node("AXButton", {label}, {x, 110, 24, 24}, {node("AXImage", {}, {x + 4, 114, 16, 16})}, enabled);
}

NativeApprovalNode option(int number, const std::string& label, double y) {
  const std::string n = std::to_string(number);
  return node("AXButton", {n + " " + label}, {110, y, 480, 40},
              {node("AXStaticText", {n}, {120, y + 10, 10, 20}), node("AXStaticText", {label}, {140, y + 10, 200, 20}),
               node("AXImage", {}, {560, y + 10, 20, 20})});
}

struct Card {
  std::string title = "选择部署环境？";
  std::string current = "1";
  std::string total = "3";
  bool previousEnabled = false;
  bool nextEnabled = true;
  std::vector<std::string> optionNumbers = {"1", "2"};
  std::vector<NativeApprovalNode> after;

  NativeApprovalNode group() const {
    std::vector<NativeApprovalNode> children = {node("AXStaticText", {title}, {110, 110, 300, 24}),
                                                navigation("上一题", 420, previousEnabled),
                                                node("AXStaticText", {current}, {446, 114, 10, 16}),
                                                node("AXStaticText", {"/"}, {458, 114, 6, 16}),
                                                node("AXStaticText", {total}, {466, 114, 10, 16}),
                                                navigation("下一题", 478, nextEnabled),
                                                navigation("全部跳过", 504, true)};
    double y = 150;
    for (const std::string& number : optionNumbers) {
      NativeApprovalNode row = option(std::stoi(number), "选项" + number, y);
      children.push_back(std::move(row));
      y += 44;
    }
    children.insert(children.end(), after.begin(), after.end());
    return node("AXGroup", {}, {100, 100, 500, std::max(300.0, y)}, children);
  }

  std::vector<NativeApprovalNode> roots() const {
    return {numbered(node("AXWindow", {"WorkBuddy"}, {0, 0, 800, 1200}, {group()}))};
  }
};

TEST(NativeQuestionClassifierTest, RecognisesTheCardAndItsPage) {
  const Card card;
  const auto match = uniqueMatch(card.roots());
  ASSERT_TRUE(match);
  EXPECT_EQ(match->windowID, "ax-1");
  EXPECT_EQ(match->containerID, "ax-2");
  EXPECT_EQ(match->title, "选择部署环境？");
  EXPECT_EQ(match->currentPage, 1);
  EXPECT_EQ(match->totalPages, 3);
  EXPECT_EQ(match->anchorID, "ax-11");
  // Each of the seven header nodes followed by its direct children (the icons).
  EXPECT_EQ(match->contextNodeIDs, (std::vector<std::string>{"ax-3", "ax-4", "ax-5", "ax-6", "ax-7", "ax-8", "ax-9",
                                                             "ax-10", "ax-11", "ax-12"}));
  EXPECT_TRUE(NativeQuestionClassifier::hasRecognizableQuestion(card.roots()));

  Card last = card;
  last.current = "3";
  last.previousEnabled = true;
  last.nextEnabled = false;
  EXPECT_TRUE(uniqueMatch(last.roots()));
}

TEST(NativeQuestionClassifierTest, EveryDoubtIsNoMatch) {
  std::vector<std::pair<Card, const char*>> refused;
  auto add = [&](auto change, const char* why) {
    Card card;
    change(card);
    refused.emplace_back(card, why);
  };
  add([](Card& c) { c.previousEnabled = true; }, "previous enabled on page 1");
  add(
      [](Card& c) {
        c.current = "3";
        c.previousEnabled = true;
      },
      "next enabled on the last page");
  add([](Card& c) { c.current = "0"; }, "page 0");
  add([](Card& c) { c.current = "01"; }, "a leading zero");
  add([](Card& c) { c.total = "101"; }, "more than 100 pages");
  add(
      [](Card& c) {
        c.current = "2";
        c.total = "1";
        c.previousEnabled = true;
        c.nextEnabled = false;
      },
      "total below current");
  add([](Card& c) { c.title = "LOADING"; }, "a placeholder title");
  add([](Card& c) { c.title = "其他（输入你的答案）"; }, "a placeholder title");
  add([](Card& c) { c.title = "12345"; }, "a title of digits");
  add([](Card& c) { c.title = std::string(16, 'q') + std::string(16, '\n') + "r"; }, "17 lines");
  add([](Card& c) { c.title = "选择\u200B环境"; }, "a hidden character");
  add([](Card& c) { c.optionNumbers = {"1", "2", "4"}; }, "options 1, 2, 4");
  add(
      [](Card& c) {
        c.optionNumbers.clear();
        for (int i = 1; i <= 21; ++i) {
          c.optionNumbers.push_back(std::to_string(i));
        }
      },
      "21 options");
  add(
      [](Card& c) {
        c.after = {node("AXStaticText", {"3 另一个选项"}, {110, 240, 200, 20})};
      },
      "a numbered line after the options");
  for (const auto& [card, why] : refused) {
    EXPECT_FALSE(uniqueMatch(card.roots())) << why;
  }

  const Card card;
  std::vector<NativeApprovalNode> twice = {
      numbered(node("AXWindow", {}, {0, 0, 800, 1200}, {card.group(), card.group()}))};
  EXPECT_FALSE(uniqueMatch(twice)) << "two cards";
  EXPECT_FALSE(NativeQuestionClassifier::hasRecognizableQuestion(
      {numbered(node("AXWindow", {}, {0, 0, 800, 600}, {node("AXButton", {"下一步"}, {10, 10, 40, 20})}))}));
}

TEST(QuestionObservationFreshnessTest, OnlyRecentObservationsAfterTheLastChange) {
  using QuestionObservationFreshness::acceptsWaiting;
  EXPECT_TRUE(acceptsWaiting(100.0, 101.5, 99.0, true, true, true));
  EXPECT_FALSE(acceptsWaiting(100.0, 102.0, 99.0, true, true, true));  // 2 s old
  EXPECT_FALSE(acceptsWaiting(100.0, 100.5, 100.2, true, true, true)); // before the last change
  EXPECT_FALSE(acceptsWaiting(100.0, 99.0, 99.0, true, true, true));   // from the future
  EXPECT_FALSE(acceptsWaiting(100.0, 100.5, 99.0, false, true, true));
  EXPECT_FALSE(acceptsWaiting(100.0, 100.5, 99.0, true, true, false));
  EXPECT_FALSE(acceptsWaiting(100.0, std::numeric_limits<double>::infinity(), 99.0, true, true, true));
}

} // namespace
} // namespace notch
