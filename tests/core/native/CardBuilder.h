#pragma once

// Realistic WorkBuddy cards as scan trees, with plausible frames, so that a
// test states only what it changes: the deletion card (grouped, or as
// siblings for the flattened layout) and the question card (title, page
// row, numbered options).

#include <string>
#include <vector>

#include "core/native/NativeApprovalNode.h"

namespace notch::testing {

NativeApprovalNode axNode(std::string role, std::vector<std::string> texts, NodeFrame frame,
                          std::vector<NativeApprovalNode> children = {}, bool enabled = true);

// A window around `children`, every node numbered in pre-order as a scan
// numbers them ("ax-1" is the window).
NativeApprovalNode scannedWindow(std::vector<NativeApprovalNode> children, NodeFrame frame = {0, 0, 800, 1200});

// A busy WorkBuddy window of about `nodes` nodes: `cards` first, then a
// long message list of text, icon and button rows.
NativeApprovalNode busyWindow(std::vector<NativeApprovalNode> cards, int nodes = 1'800);

struct DeletionCard {
  std::string batchLine = "检测到批量删除操作：累计删除数量 5 项，阈值 3";
  std::string risk = "高风险命令，可能影响系统稳定性";
  std::string command = "rm -rf ./build ./dist";
  std::string allowText = "1. 允许本次删除";
  std::string denyText = "取消删除";

  // Title, risk, command, allow, deny.
  std::vector<NativeApprovalNode> parts() const;
  // The parts alone in one group.
  NativeApprovalNode grouped() const;
  // The parts as siblings among others in one group.
  NativeApprovalNode flattened() const;
};

struct QuestionCard {
  std::string title = "选择部署环境？";
  std::string current = "1";
  std::string total = "3";
  bool previousEnabled = false;
  bool nextEnabled = true;
  std::vector<std::string> optionNumbers = {"1", "2"};
  std::vector<NativeApprovalNode> after; // children after the options

  NativeApprovalNode group() const;
};

} // namespace notch::testing
