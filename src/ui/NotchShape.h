#pragma once

// The notch's silhouette in a rectangle of `width` × `height` (origin top
// left, y down): flush with the screen's top edge over the full width,
// curving in through 12-point shoulders to sides 12 points narrower, with
// 24-point rounded lower corners. One closed contour, so that the same
// path masks the panel, paints the surface and decides what the pointer is
// over.

#include <QPainterPath>
#include <QPointF>
#include <QRectF>

namespace notch {

QPainterPath notchShapePath(double width, double height);

// The silhouette of a surface `surfaceWidth` wide, centred in a view
// `viewWidth` wide (the surface is kept between 1 point and the view's width).
QPainterPath centredNotchShapePath(double viewWidth, double height, double surfaceWidth);

// Whether a screen point lies on the drawn surface of a panel at `panelFrame`.
bool surfaceContains(QPointF point, const QRectF& panelFrame, double surfaceWidth);

} // namespace notch
