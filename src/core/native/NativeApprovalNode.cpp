#include "core/native/NativeApprovalNode.h"

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

} // namespace notch
