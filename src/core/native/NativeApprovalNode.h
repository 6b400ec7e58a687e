#pragma once

// The plain tree a scan of WorkBuddy's windows yields, which both card
// classifiers read without touching the platform. Built once, never changed.

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace notch {

// A rectangle in global screen points, origin at the top left.
struct NodeFrame {
  double x = 0;
  double y = 0;
  double width = 0;
  double height = 0;

  bool isEmpty() const { return width <= 0 || height <= 0; }
  bool intersects(const NodeFrame& other) const;
  // Whether this frame lies entirely inside `other` grown by `margin` points on every side.
  bool isInside(const NodeFrame& other, double margin) const;

  friend bool operator==(const NodeFrame&, const NodeFrame&) = default;
};

// A frame that geometry may be judged on: present, finite (edges included)
// and not empty.
bool isValidFrame(const std::optional<NodeFrame>& frame);

// The texts that are not empty, each once, in their first order.
std::vector<std::string> distinctNonEmpty(const std::vector<std::string>& texts);

struct NativeApprovalNode;

// Whether any node of the trees (depth-first, every root) satisfies `test`.
bool anyNode(const std::vector<NativeApprovalNode>& roots, const std::function<bool(const NativeApprovalNode&)>& test);

struct NativeApprovalNode {
  std::string id;                 // "ax-<n>", dense pre-order within one scan
  std::string role;               // "AXWindow", "AXButton", "AXStaticText", ...
  std::vector<std::string> texts; // own non-empty texts, in attribute order
  bool enabled = true;
  bool visible = true;
  std::vector<NativeApprovalNode> children;
  std::optional<NodeFrame> frame;

  friend bool operator==(const NativeApprovalNode&, const NativeApprovalNode&) = default;
};

} // namespace notch
