#include <gtest/gtest.h>

#include "core/native/CardBuilder.h"
#include "core/native/NativeQuestionClassifier.h"

namespace notch {
namespace {

using NativeQuestionClassifier::uniqueMatch;

using testing::axNode;
using testing::QuestionCard;
using testing::scannedWindow;

std::vector<NativeApprovalNode> roots(const QuestionCard& card) { return {scannedWindow({card.group()})}; }

TEST(NativeQuestionClassifierTest, RecognisesTheCardAndItsPage) {
  const QuestionCard card;
  const auto match = uniqueMatch(roots(card));
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
  EXPECT_TRUE(NativeQuestionClassifier::hasRecognizableQuestion(roots(card)));

  // Number and text may be joined by any Unicode space.
  NativeApprovalNode spaced = card.group();
  spaced.children[7].texts = {"1\u00A0选项1"};
  spaced.children[8].texts = {"2\u3000选项2"};
  EXPECT_TRUE(uniqueMatch({scannedWindow({spaced})}));

  QuestionCard last = card;
  last.current = "3";
  last.previousEnabled = true;
  last.nextEnabled = false;
  EXPECT_TRUE(uniqueMatch(roots(last)));
}

TEST(NativeQuestionClassifierTest, EveryDoubtIsNoMatch) {
  std::vector<std::pair<QuestionCard, const char*>> refused;
  auto add = [&](auto change, const char* why) {
    QuestionCard card;
    change(card);
    refused.emplace_back(card, why);
  };
  add([](QuestionCard& c) { c.previousEnabled = true; }, "previous enabled on page 1");
  add(
      [](QuestionCard& c) {
        c.current = "3";
        c.previousEnabled = true;
      },
      "next enabled on the last page");
  add([](QuestionCard& c) { c.current = "0"; }, "page 0");
  add([](QuestionCard& c) { c.current = "01"; }, "a leading zero");
  add([](QuestionCard& c) { c.total = "101"; }, "more than 100 pages");
  add(
      [](QuestionCard& c) {
        c.current = "2";
        c.total = "1";
        c.previousEnabled = true;
        c.nextEnabled = false;
      },
      "total below current");
  add([](QuestionCard& c) { c.title = "LOADING"; }, "a placeholder title");
  add([](QuestionCard& c) { c.title = "其他（输入你的答案）"; }, "a placeholder title");
  add([](QuestionCard& c) { c.title = "12345"; }, "a title of digits");
  add([](QuestionCard& c) { c.title = std::string(16, 'q') + std::string(16, '\n') + "r"; }, "17 lines");
  add([](QuestionCard& c) { c.title = "选择\u200B环境"; }, "a hidden character");
  add([](QuestionCard& c) { c.optionNumbers = {"1", "2", "4"}; }, "options 1, 2, 4");
  add(
      [](QuestionCard& c) {
        c.optionNumbers.clear();
        for (int i = 1; i <= 21; ++i) {
          c.optionNumbers.push_back(std::to_string(i));
        }
      },
      "21 options");
  add(
      [](QuestionCard& c) {
        c.after = {axNode("AXStaticText", {"3 另一个选项"}, {110, 240, 200, 20})};
      },
      "a numbered line after the options");
  add([](QuestionCard& c) { c.after = {axNode("AXStaticText", {"3\u3000另一个选项"}, {110, 240, 200, 20})}; },
      "a numbered line after the options, with an ideographic space");
  for (const auto& [card, why] : refused) {
    EXPECT_FALSE(uniqueMatch(roots(card))) << why;
  }

  const QuestionCard card;
  const std::vector<NativeApprovalNode> twice = {scannedWindow({card.group(), card.group()})};
  EXPECT_FALSE(uniqueMatch(twice)) << "two cards";
  EXPECT_FALSE(NativeQuestionClassifier::hasRecognizableQuestion(
      {scannedWindow({axNode("AXButton", {"下一步"}, {10, 10, 40, 20})})}));
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
