#include "core/native/NativeApprovalNode.h"

#include <algorithm>
#include <cmath>

namespace notch {

bool NodeFrame::intersects(const NodeFrame& other) const {
  if (isEmpty() || other.isEmpty()) {
    return false;
  }
  return x < other.x + other.width && other.x < x + width && y < other.y + other.height && other.y < y + height;
}

bool NodeFrame::isInside(const NodeFrame& other, double margin) const {
  return x >= other.x - margin && y >= other.y - margin && x + width <= other.x + other.width + margin &&
         y + height <= other.y + other.height + margin;
}

bool isValidFrame(const std::optional<NodeFrame>& frame) {
  return frame && std::isfinite(frame->x) && std::isfinite(frame->y) && std::isfinite(frame->width) &&
         std::isfinite(frame->height) && std::isfinite(frame->x + frame->width) &&
         std::isfinite(frame->y + frame->height) && frame->width > 0 && frame->height > 0;
}

std::vector<std::string> distinctNonEmpty(const std::vector<std::string>& texts) {
  std::vector<std::string> result;
  for (const std::string& text : texts) {
    if (!text.empty() && std::find(result.begin(), result.end(), text) == result.end()) {
      result.push_back(text);
    }
  }
  return result;
}

bool anyNode(const std::vector<NativeApprovalNode>& roots, const std::function<bool(const NativeApprovalNode&)>& test) {
  std::vector<const NativeApprovalNode*> stack;
  for (const NativeApprovalNode& root : roots) {
    stack.push_back(&root);
  }
  while (!stack.empty()) {
    const NativeApprovalNode* node = stack.back();
    stack.pop_back();
    if (test(*node)) {
      return true;
    }
    for (const NativeApprovalNode& child : node->children) {
      stack.push_back(&child);
    }
  }
  return false;
}

} // namespace notch
