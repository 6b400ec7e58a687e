// The silhouette: its exact outline, and what the pointer counts as on it.

#include <gtest/gtest.h>

#include "ui/NotchShape.h"

namespace notch {
namespace {

TEST(NotchShape, OutlinesTheNotchFlushWithTheTop) {
  const QPainterPath path = notchShapePath(480, 200);
  // The straight pieces, each with the point it starts from (curves are cubic elements in between).
  std::vector<std::pair<QPointF, QPointF>> lines;
  for (int i = 1; i < path.elementCount(); ++i) {
    if (path.elementAt(i).isLineTo()) {
      lines.emplace_back(QPointF(path.elementAt(i - 1)), QPointF(path.elementAt(i)));
    }
  }
  const std::vector<std::pair<QPointF, QPointF>> expected = {
      {{12, 12}, {12, 176}}, {{36, 200}, {444, 200}}, {{468, 176}, {468, 12}}, {{480, 0}, {0, 0}}};
  EXPECT_EQ(lines, expected);
  EXPECT_EQ(path.boundingRect(), QRectF(0, 0, 480, 200));
  EXPECT_FALSE(path.contains(QPointF(14, 198))) << "the lower corner is rounded";
}

TEST(NotchShape, ThePointerIsOnTheSurfaceOnlyInsideTheCentredSilhouette) {
  const QRectF panel(100, 0, 480, 32);
  // clang-format off
  const struct { QPointF point; double surface; bool on; } rows[] = {
      {{340, 20}, 240, true},   // the middle
      {{110, 10}, 240, false},  // 10 points from the left edge of a narrowed surface
      {{110, 10}, 480, false},  // beside the shoulder even at full width
      {{125, 20}, 480, true},   // below the shoulder, inside the side
      {{235, 20}, 240, true},   {{229, 20}, 240, false}, // the narrowed surface's left side is at 232
      {{340, 32}, 480, false},  // the panel's bottom edge is outside it
      {{340, -1}, 480, false},
      {{105, 20}, 900, false},  // a surface wider than the panel is the panel's width
  };
  // clang-format on
  for (const auto& row : rows) {
    EXPECT_EQ(surfaceContains(row.point, panel, row.surface), row.on) << row.point.x() << "," << row.point.y();
  }
}

} // namespace
} // namespace notch
