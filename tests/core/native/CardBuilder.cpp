#include "core/native/CardBuilder.h"

#include <algorithm>

namespace notch::testing {
namespace {

void number(NativeApprovalNode& node, int& counter) {
  node.id = "ax-" + std::to_string(++counter);
  for (NativeApprovalNode& child : node.children) {
    number(child, counter);
  }
}

NativeApprovalNode navigation(const char* label, double x, bool enabled) {
  return axNode("AXButton", {label}, {x, 110, 24, 24}, {axNode("AXImage", {}, {x + 4, 114, 16, 16})}, enabled);
}

NativeApprovalNode option(int number, const std::string& label, double y) {
  const std::string n = std::to_string(number);
  return axNode("AXButton", {n + " " + label}, {110, y, 480, 40},
                {axNode("AXStaticText", {n}, {120, y + 10, 10, 20}),
                 axNode("AXStaticText", {label}, {140, y + 10, 200, 20}),
                 axNode("AXImage", {}, {560, y + 10, 20, 20})});
}

int countNodes(const NativeApprovalNode& node) {
  int count = 1;
  for (const NativeApprovalNode& child : node.children) {
    count += countNodes(child);
  }
  return count;
}

} // namespace

NativeApprovalNode axNode(std::string role, std::vector<std::string> texts, NodeFrame frame,
                          std::vector<NativeApprovalNode> children, bool enabled) {
  return NativeApprovalNode{"", std::move(role), std::move(texts), enabled, true, std::move(children), frame};
}

NativeApprovalNode scannedWindow(std::vector<NativeApprovalNode> children, NodeFrame frame) {
  NativeApprovalNode window = axNode("AXWindow", {"WorkBuddy"}, frame, std::move(children));
  int counter = 0;
  number(window, counter);
  return window;
}

NativeApprovalNode busyWindow(std::vector<NativeApprovalNode> cards, int nodes) {
  int counted = 2; // the window and the message list
  for (const NativeApprovalNode& card : cards) {
    counted += countNodes(card);
  }
  std::vector<NativeApprovalNode> rows;
  for (int row = 0; counted + 4 <= nodes; ++row) {
    const double y = 10 + (row % 50) * 20;
    rows.push_back(axNode("AXGroup", {}, {620, y, 170, 18},
                          {axNode("AXStaticText", {"消息 " + std::to_string(row)}, {622, y, 120, 16}),
                           axNode("AXImage", {}, {750, y, 16, 16}), axNode("AXButton", {"复制"}, {770, y, 16, 16})}));
    counted += 4;
  }
  cards.push_back(axNode("AXGroup", {}, {600, 0, 200, 1200}, std::move(rows)));
  return scannedWindow(std::move(cards));
}

std::vector<NativeApprovalNode> DeletionCard::parts() const {
  return {axNode("AXStaticText", {batchLine}, {110, 110, 250, 20}), axNode("AXStaticText", {risk}, {370, 110, 120, 20}),
          axNode("AXStaticText", {command}, {110, 140, 300, 40}), axNode("AXButton", {allowText}, {110, 200, 300, 28}),
          axNode("AXButton", {denyText}, {110, 232, 300, 28})};
}

NativeApprovalNode DeletionCard::grouped() const { return axNode("AXGroup", {}, {100, 100, 420, 170}, parts()); }

NativeApprovalNode DeletionCard::flattened() const {
  std::vector<NativeApprovalNode> siblings = {axNode("AXImage", {}, {20, 20, 16, 16})};
  for (NativeApprovalNode& part : parts()) {
    siblings.push_back(std::move(part));
  }
  siblings.push_back(axNode("AXStaticText", {"footer"}, {110, 300, 100, 20}));
  return axNode("AXGroup", {}, {0, 0, 800, 600}, std::move(siblings));
}

NativeApprovalNode QuestionCard::group() const {
  std::vector<NativeApprovalNode> children = {axNode("AXStaticText", {title}, {110, 110, 300, 24}),
                                              navigation("上一题", 420, previousEnabled),
                                              axNode("AXStaticText", {current}, {446, 114, 10, 16}),
                                              axNode("AXStaticText", {"/"}, {458, 114, 6, 16}),
                                              axNode("AXStaticText", {total}, {466, 114, 10, 16}),
                                              navigation("下一题", 478, nextEnabled),
                                              navigation("全部跳过", 504, true)};
  double y = 150;
  for (const std::string& n : optionNumbers) {
    children.push_back(option(std::stoi(n), "选项" + n, y));
    y += 44;
  }
  children.insert(children.end(), after.begin(), after.end());
  return axNode("AXGroup", {}, {100, 100, 500, std::max(300.0, y)}, std::move(children));
}

} // namespace notch::testing
