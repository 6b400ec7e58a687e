#pragma once

// WorkBuddy's cards as scan trees with plausible frames, so that a test
// states only what it changes: the deletion card (grouped, or as siblings
// for the flattened layout) and the question card.

#include <string>
#include <vector>

#include "core/native/NativeApprovalNode.h"

namespace notch::testing {

inline NativeApprovalNode axNode(std::string role, std::vector<std::string> texts, NodeFrame frame = {0, 0, 1, 1},
                                 std::vector<NativeApprovalNode> children = {}, bool enabled = true) {
  return NativeApprovalNode{"", std::move(role), std::move(texts), enabled, true, std::move(children), frame};
}

// Numbers the nodes in pre-order as a scan does, from "ax-<last + 1>"; returns the last number.
inline int number(NativeApprovalNode& node, int last = 0) {
  node.id = "ax-" + std::to_string(++last);
  for (NativeApprovalNode& child : node.children) {
    last = number(child, last);
  }
  return last;
}

// A numbered window around `children` ("ax-1" is the window).
inline NativeApprovalNode scannedWindow(std::vector<NativeApprovalNode> children, NodeFrame frame = {0, 0, 800, 1200}) {
  NativeApprovalNode window = axNode("AXWindow", {"WorkBuddy"}, frame, std::move(children));
  number(window);
  return window;
}

// `node` inside `levels` more text-less groups.
inline NativeApprovalNode nest(NativeApprovalNode node, int levels) {
  return levels == 0 ? node : nest(axNode("AXGroup", {}, {110, 110, 10, 10}, {std::move(node)}), levels - 1);
}

// A busy WorkBuddy window of about `nodes` nodes: `cards` first, then a
// long message list of text, icon and button rows.
inline NativeApprovalNode busyWindow(std::vector<NativeApprovalNode> cards, int nodes = 1'800) {
  NativeApprovalNode counted = scannedWindow(cards);
  std::vector<NativeApprovalNode> rows;
  for (int row = 0, count = number(counted) + 1; count + 4 <= nodes; ++row, count += 4) {
    const double y = 10 + (row % 50) * 20;
    rows.push_back(axNode("AXGroup", {}, {620, y, 170, 18},
                          {axNode("AXStaticText", {"消息 " + std::to_string(row)}, {622, y, 120, 16}),
                           axNode("AXImage", {}, {750, y, 16, 16}), axNode("AXButton", {"复制"}, {770, y, 16, 16})}));
  }
  cards.push_back(axNode("AXGroup", {}, {600, 0, 200, 1200}, std::move(rows)));
  return scannedWindow(std::move(cards));
}

struct DeletionCard {
  // Title, risk, command, allow, deny.
  std::vector<NativeApprovalNode> parts() const {
    return {axNode("AXStaticText", {"检测到批量删除操作：累计删除数量 5 项，阈值 3"}, {110, 110, 250, 20}),
            axNode("AXStaticText", {"高风险命令，可能影响系统稳定性"}, {370, 110, 120, 20}),
            axNode("AXStaticText", {"rm -rf ./build ./dist"}, {110, 140, 300, 40}),
            axNode("AXButton", {"1. 允许本次删除"}, {110, 200, 300, 28}),
            axNode("AXButton", {"取消删除"}, {110, 232, 300, 28})};
  }
  // The parts alone in one group.
  NativeApprovalNode grouped() const { return axNode("AXGroup", {}, {100, 100, 420, 170}, parts()); }
  // The parts as siblings between an icon and a footer.
  NativeApprovalNode flattened() const {
    std::vector<NativeApprovalNode> siblings = parts();
    siblings.insert(siblings.begin(), axNode("AXImage", {}, {20, 20, 16, 16}));
    siblings.push_back(axNode("AXStaticText", {"footer"}, {110, 300, 100, 20}));
    return axNode("AXGroup", {}, {0, 0, 800, 600}, std::move(siblings));
  }
};

// Replaces a question card's options by `count` rows 4 apart from y 150; numeral, label and icon centred, 8 from
// the row's ends.
inline void setOptionRows(NativeApprovalNode& card, int count, double h = 32, double w = 200) {
  card.children.resize(7);
  for (int k = 1; k <= count; ++k) {
    const double y = 150 + (k - 1) * (h + 4), mid = y + h / 2 - 8;
    const std::string n = std::to_string(k), label = "选项" + n;
    card.children.push_back(
        axNode("AXButton", {n + " " + label}, {110, y, w, h},
               {axNode("AXStaticText", {n}, {118, mid, 8, 16}), axNode("AXStaticText", {label}, {134, mid, 80, 16}),
                axNode("AXImage", {}, {86 + w, mid, 16, 16})}));
  }
}

// The card group {100,100,220,820}: title {110,110,30,24}, then 2 apart 上一题 (x 142, so b = 24), the page texts
// (16 high), 下一题 and 全部跳过 (maxX 250), each button 24 square with an icon; three option rows {110,150,200,32}.
struct QuestionCard {
  int current = 1;
  int total = 3;
  bool previous = false;
  bool next = true;

  NativeApprovalNode group() const {
    const auto button = [](const char* label, double x, bool enabled) {
      return axNode("AXButton", {label}, {x, 110, 24, 24}, {axNode("AXImage", {}, {x + 4, 114, 16, 16})}, enabled);
    };
    NativeApprovalNode card =
        axNode("AXGroup", {}, {100, 100, 220, 820},
               {axNode("AXStaticText", {"选择部署环境？"}, {110, 110, 30, 24}), button("上一题", 142, previous),
                axNode("AXStaticText", {std::to_string(current)}, {168, 114, 10, 16}),
                axNode("AXStaticText", {"/"}, {180, 114, 6, 16}),
                axNode("AXStaticText", {std::to_string(total)}, {188, 114, 10, 16}), button("下一题", 200, next),
                button("全部跳过", 226, true)});
    setOptionRows(card, 3);
    return card;
  }
};

} // namespace notch::testing
