#include <gtest/gtest.h>

#include <functional>

#include "core/native/AXRead.h"
#include "core/native/CardBuilder.h"
#include "core/native/NativeApprovalClassifier.h"
#include "core/native/NativeQuestionClassifier.h"
#include "platform/FakeAccessibility.h"

namespace notch {
namespace {

using testing::FakeAccessibility;
using testing::FakeClock;
using testing::FakeElementRef;

constexpr std::int32_t kPid = 4242;

FakeElementRef window() {
  FakeElementRef created = FakeAccessibility::element(kPid, "AXWindow");
  created->frame(100, 100, 800, 600).set("AXMinimized", false).set("AXTitle", std::string("WorkBuddy"));
  return created;
}

FakeElementRef node(const std::string& role, double x = 120, double y = 120) {
  FakeElementRef created = FakeAccessibility::element(kPid, role);
  created->frame(x, y, 100, 30);
  return created;
}

// A window with a chain of `depth` groups below it: depth + 1 nodes.
FakeElementRef deepWindow(int depth) {
  FakeElementRef root = window();
  FakeElementRef deepest = root;
  for (int level = 0; level < depth; ++level) {
    FakeElementRef child = node("AXGroup");
    deepest->adopt({child});
    deepest = child;
  }
  return root;
}

struct Scene {
  ~Scene() {
    for (const FakeElementRef& element : cyclic) {
      element->attributes.erase("AXChildren"); // lets the fake's elements go
    }
  }

  FakeClock clock;
  FakeAccessibility accessibility{&clock, 0.0};
  std::vector<FakeElementRef> cyclic;

  void show(const std::vector<FakeElementRef>& windows) {
    accessibility.application(kPid)->set("AXWindows", std::vector<AXElementRef>(windows.begin(), windows.end()));
  }
  AXRead reader(AXRead::Limits limits = {}) { return AXRead(accessibility, clock, kPid, limits); }
};

TEST(AXReadTest, ReadsWindowsIntoDensePreOrderTrees) {
  Scene scene;
  FakeElementRef main = window();
  FakeElementRef group = node("AXGroup");
  FakeElementRef title = node("AXStaticText", 130, 130);
  title->set("AXValue", std::string("删除 3 个文件")).set("AXDescription", std::string("ignored for texts"));
  FakeElementRef button = node("AXButton", 130, 200);
  button->set("AXTitle", std::string("删除")).set("AXEnabled", true);
  group->adopt({title, button});
  FakeElementRef image = node("AXImage", 600, 130);
  image->set("AXEnabled", std::string("odd")).set("AXDescription", std::string("icon"));
  main->adopt({group, image});
  scene.show({main});

  AXRead scan = scene.reader();
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
  EXPECT_EQ(root.children[1].id, "ax-5");
  EXPECT_TRUE(root.children[1].enabled); // a non-boolean AXEnabled counts as enabled, but for buttons
  EXPECT_EQ(root.children[1].texts, std::vector<std::string>{"icon"});
  EXPECT_EQ(scan.elements().size(), 5u);
  EXPECT_TRUE(scene.accessibility.sameElement(*scan.element("ax-4"), button));
  EXPECT_EQ(scan.windowTitles().at("ax-1"), "WorkBuddy");
  EXPECT_TRUE(std::get<bool>(scene.accessibility.application(kPid)->attributes.at("AXManualAccessibility")));
}

TEST(AXReadTest, VisibilityFollowsTheWindowFrame) {
  Scene scene;
  FakeElementRef main = window(); // 100, 100, 800 x 600
  FakeElementRef hidden = node("AXGroup");
  hidden->set("AXHidden", true).adopt({node("AXButton")});
  main->adopt({node("AXButton", 98, 100), node("AXButton", 97.5, 100), node("AXStaticText", 850, 100), hidden,
               node("AXButton", 300, 300)});
  scene.show({main});
  const auto children = scene.reader().readWindows(false).at(0).children;
  EXPECT_TRUE(children[0].visible);  // 2 points out
  EXPECT_FALSE(children[1].visible); // 2.5 points out
  EXPECT_TRUE(children[2].visible);  // a text partly inside
  EXPECT_FALSE(children[3].visible);
  EXPECT_TRUE(children[3].children.empty()); // invisible subtrees are not descended into
  EXPECT_FALSE(children[4].enabled);         // a button without AXEnabled
}

// Each limit at its edge: just within it the scan is complete, one step
// past it the scan is incomplete and yields no partial window.
TEST(AXReadTest, LimitsHoldAtTheirEdges) {
  struct Edge {
    const char* limit;
    std::function<void(Scene&, bool past)> build;
    AXRead::Limits limits;
  };
  AXRead::Limits fiveNodes;
  fiveNodes.nodeBudget = 5; // the counter may not reach it
  AXRead::Limits depthFour;
  depthFour.deepestNode = 4;
  const Edge edges[] = {
      {"12 windows", [](Scene& s, bool past) { s.show(std::vector<FakeElementRef>(past ? 13 : 12, window())); }, {}},
      {"node budget", [](Scene& s, bool past) { s.show({deepWindow(past ? 4 : 3)}); }, fiveNodes},
      {"depth", [](Scene& s, bool past) { s.show({deepWindow(past ? 5 : 4)}); }, depthFour},
      {"text of 65,536 bytes",
       [](Scene& s, bool past) {
         FakeElementRef main = window();
         FakeElementRef text = node("AXStaticText");
         text->set("AXValue", std::string(past ? 65'537 : 65'536, 'x'));
         main->adopt({text});
         s.show({main});
       },
       {}},
  };
  for (const Edge& edge : edges) {
    for (const bool past : {false, true}) {
      Scene scene;
      edge.build(scene, past);
      AXRead scan = scene.reader(edge.limits);
      const auto roots = scan.readWindows(false);
      EXPECT_EQ(scan.complete(), !past) << edge.limit << (past ? " past" : " within");
      EXPECT_EQ(roots.empty(), past) << edge.limit << (past ? " past" : " within");
    }
  }
}

// Anything the scan needed and could not read leaves it incomplete.
TEST(AXReadTest, EveryMissedReadMakesTheScanIncomplete) {
  const std::pair<const char*, std::function<void(Scene&)>> failures[] = {
      {"no windows", [](Scene& s) { s.show({}); }},
      {"a minimized window",
       [](Scene& s) {
         FakeElementRef minimized = window();
         minimized->set("AXMinimized", true);
         s.show({minimized, window()});
       }},
      {"a window without size",
       [](Scene& s) {
         FakeElementRef sizeless = window();
         sizeless->failingCopies.insert("AXSize");
         s.show({window(), sizeless});
       }},
      {"an unreadable node",
       [](Scene& s) {
         FakeElementRef main = window();
         main->adopt({node("AXGroup")});
         std::get<std::vector<AXElementRef>>(main->attributes["AXChildren"]).push_back(nullptr);
         s.show({main});
       }},
      {"a node whose attributes cannot be copied",
       [](Scene& s) {
         FakeElementRef main = window();
         FakeElementRef unreadable = node("AXGroup");
         unreadable->multipleCopyFails = true;
         main->adopt({unreadable});
         s.show({main});
       }},
      {"a node that refuses its time-out",
       [](Scene& s) {
         FakeElementRef main = window();
         FakeElementRef slow = node("AXGroup");
         slow->timeoutFails = true;
         main->adopt({slow});
         s.show({main});
       }},
      {"a cycle",
       [](Scene& s) {
         FakeElementRef main = window();
         FakeElementRef group = node("AXGroup");
         main->adopt({group});
         group->adopt({main});
         s.cyclic = {main, group};
         s.show({main});
       }},
      {"the application refuses its time-out",
       [](Scene& s) {
         s.show({window()});
         s.accessibility.application(kPid)->timeoutFails = true;
       }},
      {"reads slower than the budget",
       [](Scene& s) {
         s.accessibility = FakeAccessibility(&s.clock, 0.05); // 50 ms a read of 0.45 s
         s.show({deepWindow(12)});
       }},
  };
  for (const auto& [name, failure] : failures) {
    Scene scene;
    failure(scene);
    AXRead scan = scene.reader();
    scan.readWindows(false);
    EXPECT_FALSE(scan.complete()) << name;
    EXPECT_FALSE(scan.coverage().approvalComplete()) << name;
  }
  Scene titleless; // a missing title only gets the default name
  FakeElementRef untitled = window();
  untitled->failingCopies.insert("AXTitle");
  titleless.show({untitled});
  AXRead scan = titleless.reader();
  scan.readWindows(false);
  EXPECT_TRUE(scan.complete());
  EXPECT_EQ(scan.windowTitles().at("ax-1"), "WorkBuddy 窗口");
}

TEST(AXReadTest, OddChildListsLeaveOnlyTheQuestionTreeIncomplete) {
  Scene scene;
  FakeElementRef odd = window();
  odd->set("AXChildren", std::string("not a list"));
  FakeElementRef empty = window();
  empty->set("AXChildren", AXErrorValue{kAXErrorAttributeUnsupported});
  scene.show({odd, empty});
  AXRead scan = scene.reader();
  EXPECT_EQ(scan.readWindows(true).size(), 2u);
  EXPECT_TRUE(scan.complete());
  EXPECT_FALSE(scan.questionTreeComplete());
}

TEST(AXReadTest, AnAgreedMainWindowServesQuestionsOnly) {
  Scene scene;
  FakeElementRef main = window();
  scene.show({});
  scene.accessibility.application(kPid)
      ->set("AXMainWindow", AXElementRef(main))
      .set("AXFocusedWindow", AXElementRef(main));
  AXRead scan = scene.reader();
  ASSERT_EQ(scan.readWindows(true).size(), 1u);
  EXPECT_TRUE(scan.agreedQuestionFallback());
  EXPECT_EQ(main->pidReads, 2); // once as the main, once as the focused window
  EXPECT_TRUE(scan.windowTitles().empty());
  EXPECT_TRUE(scan.coverage().questionPositiveComplete());
  EXPECT_FALSE(scan.coverage().questionAbsenceComplete());
  EXPECT_FALSE(scan.coverage().approvalComplete());
  EXPECT_TRUE(scene.reader().readWindows(false).empty()) << "not without question detection";

  scene.accessibility.application(kPid)->set("AXFocusedWindow", AXElementRef(window())); // they disagree
  AXRead disagreeing = scene.reader();
  EXPECT_TRUE(disagreeing.readWindows(true).empty());
  EXPECT_FALSE(disagreeing.complete());
}

TEST(AXReadTest, ScannedCardsAreRecognisedOnlyWhenOnScreen) {
  Scene scene;
  const NativeApprovalNode tree =
      testing::scannedWindow({testing::DeletionCard().grouped(), testing::QuestionCard().group()});
  scene.show({testing::fakeElementsFor(tree, kPid)});
  AXRead scan = scene.reader();
  const auto roots = scan.readWindows(true);
  EXPECT_TRUE(scan.complete());
  EXPECT_EQ(roots, std::vector<NativeApprovalNode>{tree}); // the scan sees what was built, ids included
  EXPECT_TRUE(NativeApprovalClassifier::uniqueMatch(roots));
  EXPECT_TRUE(NativeQuestionClassifier::uniqueMatch(roots));

  std::vector<NativeApprovalNode> parts = testing::DeletionCard().parts();
  parts[3].frame->x = -3; // the allow button 3 points outside its window is invisible: no card
  scene.show({testing::fakeElementsFor(
      testing::scannedWindow({testing::axNode("AXGroup", {}, {-5, 100, 420, 170}, parts)}), kPid)});
  EXPECT_FALSE(NativeApprovalClassifier::uniqueMatch(scene.reader().readWindows(false)));
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
