#include <gtest/gtest.h>

#include <functional>

#include "core/native/AXRead.h"
#include "platform/FakeAccessibility.h"

namespace notch {
namespace {

using testing::FakeAccessibility;
using testing::FakeElement;
using testing::FakeElementRef;

constexpr std::int32_t kPid = 4242;

FakeElementRef node(const std::string& role, double x = 120, double y = 120) {
  FakeElementRef created = FakeAccessibility::element(kPid, role);
  created->frame(x, y, 100, 30);
  return created;
}

FakeElementRef with(FakeElementRef element, const std::string& name, AXValue value) {
  element->set(name, std::move(value));
  return element;
}

FakeElementRef failing(FakeElementRef element, const std::string& name, bool FakeElement::*flag = nullptr) {
  flag != nullptr ? void((*element).*flag = true) : void(element->failingCopies.insert(name));
  return element;
}

// A window at {100,100,800,600} around `children`.
FakeElementRef window(const std::vector<FakeElementRef>& children = {}) {
  FakeElementRef created = FakeAccessibility::element(kPid, "AXWindow");
  created->frame(100, 100, 800, 600).set("AXMinimized", false).set("AXTitle", std::string("WorkBuddy"));
  created->adopt(children);
  return created;
}

// A chain of `depth` groups, each inside the one before.
FakeElementRef groups(int depth) {
  FakeElementRef group = node("AXGroup");
  group->adopt(depth > 1 ? std::vector{groups(depth - 1)} : std::vector<FakeElementRef>{});
  return group;
}

// Each node in pre-order as "id role texts; ", with " off" when disabled and " hidden" when invisible.
std::string outline(const NativeApprovalNode& node) {
  std::string line = node.id + " " + node.role;
  for (const std::string& text : node.texts) {
    line += " " + text;
  }
  line += std::string(node.enabled ? "" : " off") + (node.visible ? "" : " hidden") + "; ";
  for (const NativeApprovalNode& child : node.children) {
    line += outline(child);
  }
  return line;
}

struct Scene {
  ~Scene() {
    for (const FakeElementRef& element : cyclic) {
      element->attributes.erase("AXChildren"); // lets the fake's elements go
    }
  }
  void show(const std::vector<FakeElementRef>& windows) {
    accessibility.application(kPid)->set("AXWindows", std::vector<AXElementRef>(windows.begin(), windows.end()));
  }
  AXRead reader(AXRead::Limits limits = {}) { return AXRead(accessibility, clock, kPid, limits); }

  testing::FakeClock clock;
  FakeAccessibility accessibility{&clock, 0.0};
  std::vector<FakeElementRef> cyclic;
};

TEST(AXReadTest, ReadsWindowsIntoDensePreOrderTrees) {
  Scene scene;
  FakeElementRef title = node("AXStaticText", 130, 130), button = node("AXButton", 130, 200), image = node("AXImage");
  title->set("AXValue", std::string("删除 3 个文件")).set("AXDescription", std::string("ignored for texts"));
  button->set("AXTitle", std::string("删除")).set("AXValue", std::string()).set("AXEnabled", true);
  image->set("AXEnabled", std::string("odd")).set("AXDescription", std::string("icon"));
  FakeElementRef hidden = node("AXGroup");
  hidden->set("AXHidden", true).adopt({node("AXButton")});
  FakeElementRef group = node("AXGroup");
  group->adopt({title, button});
  scene.show({window({group, image, node("AXButton", 98, 100), node("AXButton", 97.5, 100),
                      node("AXStaticText", 850, 100), hidden, node("AXButton", 300, 300)})});
  AXRead scan = scene.reader();
  const auto roots = scan.readWindows(false);
  EXPECT_TRUE(scan.complete());
  EXPECT_TRUE(scan.coverage().approvalComplete());
  ASSERT_EQ(roots.size(), 1u);
  // Empty texts are left out; non-boolean AXEnabled counts as enabled but for buttons; a button 2 points out of its
  // window is visible, 2.5 points out not; a text partly inside is visible; an invisible group is not descended into.
  EXPECT_EQ(outline(roots[0]),
            "ax-1 AXWindow WorkBuddy; ax-2 AXGroup; ax-3 AXStaticText 删除 3 个文件; ax-4 AXButton 删除; "
            "ax-5 AXImage icon; ax-6 AXButton off; ax-7 AXButton off hidden; ax-8 AXStaticText; "
            "ax-9 AXGroup hidden; ax-10 AXButton off; ");
  EXPECT_EQ(scan.elements().size(), 10u);
  EXPECT_EQ(*scan.element("ax-4"), button);
  EXPECT_EQ(scan.windowTitles().at("ax-1"), "WorkBuddy");
  EXPECT_TRUE(std::get<bool>(scene.accessibility.application(kPid)->attributes.at("AXManualAccessibility")));
}

// Each limit just within and one step past, and each read the scan needed and missed: complete only when nothing
// was past a limit or missed, and a window past a limit is never read in part.
TEST(AXReadTest, CompleteOnlyWithinEveryLimitAndWithEveryRead) {
  const auto text = [](std::size_t bytes) {
    return window({with(node("AXStaticText"), "AXValue", std::string(bytes, 'x'))});
  };
  struct Row {
    const char* name;
    bool complete;
    std::size_t windows; // read, whole
    std::function<void(Scene&)> set;
    AXRead::Limits limits = {};
  };
  // clang-format off
  const Row rows[] = {
      {"12 windows", true, 12, [](Scene& s) { s.show(std::vector(12, window())); }},
      {"13 windows", false, 0, [](Scene& s) { s.show(std::vector(13, window())); }},
      {"4 nodes of 5", true, 1, [](Scene& s) { s.show({window({groups(3)})}); }, {.nodeBudget = 5}}, // the budget may not be reached
      {"5 nodes of 5", false, 0, [](Scene& s) { s.show({window({groups(4)})}); }, {.nodeBudget = 5}},
      {"depth 4 of 4", true, 1, [](Scene& s) { s.show({window({groups(4)})}); }, {.deepestNode = 4}},
      {"depth 5 of 4", false, 0, [](Scene& s) { s.show({window({groups(5)})}); }, {.deepestNode = 4}},
      {"a text of 65,536 bytes", true, 1, [&](Scene& s) { s.show({text(65'536)}); }},
      {"a text of 65,537 bytes", false, 0, [&](Scene& s) { s.show({text(65'537)}); }},
      {"no window", false, 0, [](Scene& s) { s.show({}); }},
      {"a minimized window", false, 1, [](Scene& s) { s.show({window(), with(window(), "AXMinimized", true)}); }},
      {"a window size unread", false, 1, [](Scene& s) { s.show({window(), failing(window(), "AXSize")}); }},
      {"a null child", false, 0, [](Scene& s) { s.show({with(window(), "AXChildren", std::vector<AXElementRef>{nullptr})}); }},
      {"attributes unread", false, 0, [](Scene& s) { s.show({window({failing(node("AXGroup"), "", &FakeElement::multipleCopyFails)})}); }},
      {"a time-out not set", false, 0, [](Scene& s) { s.show({window({failing(node("AXGroup"), "", &FakeElement::timeoutFails)})}); }},
      {"a window inside itself", false, 0, [](Scene& s) { s.cyclic = {window()}; s.cyclic[0]->adopt(s.cyclic); s.show(s.cyclic); }},
      {"no application time-out", false, 0, [](Scene& s) { s.show({window()}); s.accessibility.application(kPid)->timeoutFails = true; }},
      {"50 ms a read of 0.45 s", false, 0, [](Scene& s) { s.accessibility = FakeAccessibility(&s.clock, 0.05); s.show({window({groups(12)})}); }},
  };
  // clang-format on
  for (const Row& row : rows) {
    Scene scene;
    row.set(scene);
    AXRead scan = scene.reader(row.limits);
    EXPECT_EQ(scan.readWindows(false).size(), row.windows) << row.name;
    EXPECT_EQ(scan.complete(), row.complete) << row.name;
    EXPECT_EQ(scan.coverage().approvalComplete(), row.complete) << row.name;
  }
  Scene titleless; // a missing title only gets the default name
  titleless.show({failing(window(), "AXTitle")});
  AXRead scan = titleless.reader();
  scan.readWindows(false);
  EXPECT_TRUE(scan.complete());
  EXPECT_EQ(scan.windowTitles().at("ax-1"), "WorkBuddy 窗口");
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
  EXPECT_TRUE(scene.reader().readWindows(false).empty()) << "not without question detection";

  scene.accessibility.application(kPid)->set("AXFocusedWindow", AXElementRef(window())); // they disagree
  AXRead disagreeing = scene.reader();
  EXPECT_TRUE(disagreeing.readWindows(true).empty());
  EXPECT_FALSE(disagreeing.complete());
}

} // namespace
} // namespace notch
