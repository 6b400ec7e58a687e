#include <gtest/gtest.h>

#include "core/native/AXRead.h"
#include "core/native/CardBuilder.h"
#include "core/native/NativeApprovalClassifier.h"
#include "core/native/NativeQuestionClassifier.h"
#include "platform/FakeAccessibility.h"

namespace notch {
namespace {

using testing::DeletionCard;
using testing::FakeAccessibility;
using testing::FakeClock;
using testing::FakeElementRef;
using testing::QuestionCard;

constexpr std::int32_t kPid = 4242;

class AXReadTest : public ::testing::Test {
protected:
  FakeElementRef window(double x = 100, double y = 100) {
    FakeElementRef created = FakeAccessibility::element(kPid, "AXWindow");
    created->frame(x, y, 800, 600).set("AXMinimized", false).set("AXTitle", std::string("WorkBuddy"));
    return created;
  }

  FakeElementRef node(const std::string& role, double x, double y, double width = 100, double height = 30) {
    FakeElementRef created = FakeAccessibility::element(kPid, role);
    created->frame(x, y, width, height);
    return created;
  }

  void showWindows(const std::vector<FakeElementRef>& windows) {
    std::vector<AXElementRef> list(windows.begin(), windows.end());
    accessibility.application(kPid)->set("AXWindows", list);
  }

  AXRead reader(AXRead::Limits limits = {}) { return AXRead(accessibility, clock, kPid, limits); }

  FakeClock clock;
  FakeAccessibility accessibility{&clock, 0.0};
};

TEST_F(AXReadTest, ReadsWindowsIntoDensePreOrderTrees) {
  FakeElementRef main = window();
  FakeElementRef group = node("AXGroup", 120, 120, 400, 300);
  FakeElementRef title = node("AXStaticText", 130, 130);
  title->set("AXValue", std::string("删除 3 个文件")).set("AXDescription", std::string("ignored for texts"));
  FakeElementRef button = node("AXButton", 130, 200);
  button->set("AXTitle", std::string("删除")).set("AXEnabled", true);
  group->adopt({title, button});
  FakeElementRef image = node("AXImage", 600, 130);
  image->set("AXEnabled", std::string("odd")).set("AXDescription", std::string("icon"));
  main->adopt({group, image});
  showWindows({main});

  AXRead scan = reader();
  const auto roots = scan.readWindows(false);
  ASSERT_EQ(roots.size(), 1u);
  EXPECT_TRUE(scan.complete());
  EXPECT_TRUE(scan.coverage().approvalComplete());
  const auto& root = roots[0];
  EXPECT_EQ(root.id, "ax-1");
  ASSERT_EQ(root.children.size(), 2u);
  EXPECT_EQ(root.children[0].id, "ax-2");
  EXPECT_EQ(root.children[0].children[0].id, "ax-3");
  EXPECT_EQ(root.children[0].children[0].texts, std::vector<std::string>{"删除 3 个文件"});
  EXPECT_EQ(root.children[0].children[1].id, "ax-4");
  EXPECT_TRUE(root.children[0].children[1].enabled);
  EXPECT_EQ(root.children[1].id, "ax-5");
  EXPECT_TRUE(root.children[1].enabled); // a non-boolean AXEnabled counts as enabled, but for buttons
  EXPECT_EQ(root.children[1].texts, std::vector<std::string>{"icon"});
  EXPECT_EQ(scan.elements().size(), 5u);
  EXPECT_TRUE(accessibility.sameElement(scan.elements().at("ax-4"), button));
  EXPECT_EQ(scan.windowTitles().at("ax-1"), "WorkBuddy");
  EXPECT_TRUE(std::get<bool>(accessibility.application(kPid)->attributes.at("AXManualAccessibility")));
}

TEST_F(AXReadTest, VisibilityFollowsTheWindowFrame) {
  FakeElementRef main = window(100, 100); // 800 x 600
  FakeElementRef barelyOut = node("AXButton", 98, 100);
  FakeElementRef tooFarOut = node("AXButton", 97.5, 100);
  FakeElementRef partlyInText = node("AXStaticText", 850, 100);
  FakeElementRef hidden = node("AXGroup", 120, 120);
  hidden->set("AXHidden", true).adopt({node("AXButton", 130, 130)});
  FakeElementRef buttonWithoutEnabled = node("AXButton", 300, 300);
  main->adopt({barelyOut, tooFarOut, partlyInText, hidden, buttonWithoutEnabled});
  showWindows({main});
  AXRead scan = reader();
  const auto roots = scan.readWindows(false);
  ASSERT_EQ(roots.size(), 1u);
  const auto& children = roots[0].children;
  EXPECT_TRUE(children[0].visible);
  EXPECT_FALSE(children[1].visible);
  EXPECT_TRUE(children[2].visible);
  EXPECT_FALSE(children[3].visible);
  EXPECT_TRUE(children[3].children.empty()); // invisible subtrees are not descended into
  EXPECT_FALSE(children[4].enabled);
}

TEST_F(AXReadTest, WindowProblemsMakeTheScanIncomplete) {
  showWindows({});
  AXRead none = reader();
  EXPECT_TRUE(none.readWindows(false).empty());
  EXPECT_FALSE(none.complete());
  EXPECT_EQ(none.primaryWindowCount(), 0);

  std::vector<FakeElementRef> many(13, window());
  showWindows(many);
  AXRead tooMany = reader();
  EXPECT_TRUE(tooMany.readWindows(false).empty());
  EXPECT_FALSE(tooMany.complete());
  EXPECT_EQ(tooMany.primaryWindowCount(), -1);

  FakeElementRef minimized = window();
  minimized->set("AXMinimized", true);
  showWindows({minimized, window()});
  AXRead partial = reader();
  EXPECT_EQ(partial.readWindows(false).size(), 1u);
  EXPECT_FALSE(partial.complete());
  EXPECT_EQ(partial.scannedRootCount(), 1);
  EXPECT_EQ(partial.primaryWindowCount(), 2);
  EXPECT_FALSE(partial.coverage().approvalComplete());
}

TEST_F(AXReadTest, AnAgreedMainWindowServesQuestionsOnly) {
  FakeElementRef main = window();
  showWindows({});
  accessibility.application(kPid)->set("AXMainWindow", AXElementRef(main)).set("AXFocusedWindow", AXElementRef(main));
  AXRead scan = reader();
  const auto roots = scan.readWindows(true);
  ASSERT_EQ(roots.size(), 1u);
  EXPECT_TRUE(scan.agreedQuestionFallback());
  EXPECT_EQ(main->pidReads, 2); // once as the main, once as the focused window
  EXPECT_TRUE(scan.windowTitles().empty());
  EXPECT_TRUE(scan.coverage().questionPositiveComplete());
  EXPECT_FALSE(scan.coverage().questionAbsenceComplete());
  EXPECT_FALSE(scan.coverage().approvalComplete());

  accessibility.application(kPid)->set("AXFocusedWindow", AXElementRef(window())); // they disagree
  AXRead disagreeing = reader();
  EXPECT_TRUE(disagreeing.readWindows(true).empty());
  EXPECT_FALSE(disagreeing.complete());
}

TEST_F(AXReadTest, NodeFailuresDropTheirWindow) {
  FakeElementRef main = window();
  FakeElementRef text = node("AXStaticText", 120, 120);
  text->set("AXValue", std::string(65'537, 'x'));
  main->adopt({text});
  FakeElementRef other = window();
  other->adopt({node("AXGroup", 120, 120)});
  showWindows({main, other});
  AXRead longText = reader();
  EXPECT_EQ(longText.readWindows(false).size(), 1u);
  EXPECT_FALSE(longText.complete());

  FakeElementRef cyclic = window();
  FakeElementRef group = node("AXGroup", 120, 120);
  group->adopt({cyclic});
  cyclic->adopt({group});
  showWindows({cyclic});
  AXRead cycle = reader();
  EXPECT_TRUE(cycle.readWindows(false).empty());
  EXPECT_FALSE(cycle.complete());
  cyclic->attributes.erase("AXChildren"); // break the cycle for the fake's sake
  group->attributes.erase("AXChildren");

  FakeElementRef odd = window();
  odd->set("AXChildren", std::string("not a list"));
  FakeElementRef empty = window();
  empty->set("AXChildren", AXErrorValue{kAXErrorAttributeUnsupported});
  showWindows({odd, empty});
  AXRead oddChildren = reader();
  EXPECT_EQ(oddChildren.readWindows(true).size(), 2u);
  EXPECT_TRUE(oddChildren.complete());
  EXPECT_FALSE(oddChildren.questionTreeComplete());
}

TEST_F(AXReadTest, PlatformFailuresMakeTheScanIncomplete) {
  FakeElementRef healthy = window();
  healthy->adopt({node("AXGroup", 120, 120)});
  FakeElementRef titleless = window();
  titleless->failingCopies.insert("AXTitle");
  showWindows({healthy, titleless});
  AXRead untitled = reader();
  ASSERT_EQ(untitled.readWindows(false).size(), 2u);
  EXPECT_TRUE(untitled.complete()); // a missing title only gets the default name
  EXPECT_EQ(untitled.windowTitles().at("ax-3"), "WorkBuddy 窗口");

  FakeElementRef unreadable = node("AXGroup", 130, 130);
  unreadable->multipleCopyFails = true;
  FakeElementRef withUnreadable = window();
  withUnreadable->adopt({unreadable});
  FakeElementRef slowChild = node("AXGroup", 130, 130);
  slowChild->timeoutFails = true;
  FakeElementRef withSlowChild = window();
  withSlowChild->adopt({slowChild});
  FakeElementRef sizeless = window();
  sizeless->failingCopies.insert("AXSize");
  showWindows({healthy, withUnreadable, withSlowChild, sizeless});
  AXRead failing = reader();
  EXPECT_EQ(failing.readWindows(false).size(), 1u); // only the healthy window survives
  EXPECT_FALSE(failing.complete());
  EXPECT_FALSE(failing.coverage().approvalComplete());

  accessibility.application(kPid)->timeoutFails = true;
  AXRead noApplication = reader();
  EXPECT_TRUE(noApplication.readWindows(false).empty());
  EXPECT_FALSE(noApplication.complete());
}

TEST_F(AXReadTest, BudgetsEndTheScan) {
  FakeElementRef main = window();
  FakeElementRef deep = main;
  for (int level = 0; level < 5; ++level) {
    FakeElementRef child = node("AXGroup", 120, 120);
    deep->adopt({child});
    deep = child;
  }
  showWindows({main});
  AXRead::Limits shallow;
  shallow.deepestNode = 4;
  AXRead tooDeep = reader(shallow);
  EXPECT_TRUE(tooDeep.readWindows(false).empty());
  EXPECT_FALSE(tooDeep.complete());

  AXRead::Limits few;
  few.nodeBudget = 4;
  AXRead tooMany = reader(few);
  EXPECT_TRUE(tooMany.readWindows(false).empty());
  EXPECT_FALSE(tooMany.complete());

  FakeAccessibility slow(&clock, 0.05); // every read spends 50 ms of the 0.45 s
  slow.application(kPid)->set("AXWindows", std::vector<AXElementRef>{main});
  AXRead timed(slow, clock, kPid);
  EXPECT_TRUE(timed.readWindows(false).empty());
  EXPECT_FALSE(timed.complete());
}

TEST_F(AXReadTest, ScannedCardsAreRecognisedOnlyWhenOnScreen) {
  const NativeApprovalNode tree = testing::scannedWindow({DeletionCard().grouped(), QuestionCard().group()});
  showWindows({testing::fakeElementsFor(tree, kPid)});
  AXRead scan = reader();
  const auto roots = scan.readWindows(true);
  EXPECT_TRUE(scan.complete());
  EXPECT_EQ(roots, std::vector<NativeApprovalNode>{tree}); // the scan sees what was built, ids included
  EXPECT_TRUE(NativeApprovalClassifier::uniqueMatch(roots));
  EXPECT_TRUE(NativeQuestionClassifier::uniqueMatch(roots));

  // The allow button 3 points outside the window is invisible: no card.
  std::vector<NativeApprovalNode> parts = DeletionCard().parts();
  parts[3].frame->x = -3;
  showWindows({testing::fakeElementsFor(
      testing::scannedWindow({testing::axNode("AXGroup", {}, {-5, 100, 420, 170}, parts)}), kPid)});
  AXRead outside = reader();
  EXPECT_FALSE(NativeApprovalClassifier::uniqueMatch(outside.readWindows(false)));
}

TEST(NativeScanCoverageTest, Verdicts) {
  EXPECT_TRUE((NativeScanCoverage{2, 2, true, false, false}.approvalComplete()));
  EXPECT_FALSE((NativeScanCoverage{2, 1, true, true, false}.approvalComplete()));
  EXPECT_FALSE((NativeScanCoverage{13, 13, true, true, false}.approvalComplete()));
  EXPECT_FALSE((NativeScanCoverage{2, 2, true, false, false}.questionPositiveComplete()));
  EXPECT_TRUE((NativeScanCoverage{0, 1, true, true, true}.questionPositiveComplete()));
  EXPECT_FALSE((NativeScanCoverage{0, 1, true, true, true}.questionAbsenceComplete()));
  EXPECT_TRUE((NativeScanCoverage{1, 1, true, true, false}.questionAbsenceComplete()));
  EXPECT_TRUE(NativeScanCoverage::acceptsQuestionFallback(0, 7, 7, 7, true, true, true, true));
  EXPECT_FALSE(NativeScanCoverage::acceptsQuestionFallback(1, 7, 7, 7, true, true, true, true));
  EXPECT_FALSE(NativeScanCoverage::acceptsQuestionFallback(0, 7, 7, 8, true, true, true, true));
  EXPECT_FALSE(NativeScanCoverage::acceptsQuestionFallback(0, 7, 7, 7, true, true, false, true));
}

} // namespace
} // namespace notch
