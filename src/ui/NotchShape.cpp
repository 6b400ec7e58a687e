#include "ui/NotchShape.h"

#include <algorithm>

namespace notch {
namespace {

constexpr double shoulder = 12;
constexpr double corner = 24;

} // namespace

QPainterPath notchShapePath(double width, double height) {
  QPainterPath path;
  path.moveTo(0, 0);
  path.quadTo(shoulder, 0, shoulder, shoulder);
  path.lineTo(shoulder, height - corner);
  path.quadTo(shoulder, height, shoulder + corner, height);
  path.lineTo(width - shoulder - corner, height);
  path.quadTo(width - shoulder, height, width - shoulder, height - corner);
  path.lineTo(width - shoulder, shoulder);
  path.quadTo(width - shoulder, 0, width, 0);
  path.closeSubpath();
  path.setFillRule(Qt::WindingFill);
  return path;
}

QPainterPath centredNotchShapePath(double viewWidth, double height, double surfaceWidth) {
  const double surface = std::max(std::min(surfaceWidth, viewWidth), 1.0);
  return notchShapePath(surface, height).translated((viewWidth - surface) / 2, 0);
}

bool surfaceContains(QPointF point, const QRectF& panelFrame, double surfaceWidth) {
  // QRectF::contains counts the right and bottom edges in; a point on them is outside the panel.
  if (point.x() < panelFrame.left() || point.y() < panelFrame.top() || point.x() >= panelFrame.right() ||
      point.y() >= panelFrame.bottom()) {
    return false;
  }
  return centredNotchShapePath(panelFrame.width(), panelFrame.height(), surfaceWidth)
      .contains(point - panelFrame.topLeft());
}

} // namespace notch
