#include "ui/NotchViewport.h"

#include <QGuiApplication>
#include <QPainter>
#include <QRegion>

#include <cmath>

#include "ui/NotchShape.h"

namespace notch {

NotchViewport::NotchViewport(QWidget* hosted, std::function<int(int width)> measure, QWidget* parent)
    : QWidget(parent), hosted_(hosted), measure_(std::move(measure)) {
  hosted_->setParent(this);
  setAttribute(Qt::WA_OpaquePaintEvent);
}

double NotchViewport::fitHeight(double width) {
  const double measured = measure_(static_cast<int>(std::lround(width)));
  if (std::isfinite(measured) && measured > 0) {
    naturalHeight_ = measured;
  }
  hosted_->resize(static_cast<int>(std::lround(width)), static_cast<int>(std::lround(naturalHeight_)));
  layoutHosted();
  return naturalHeight_;
}

void NotchViewport::setSurfaceWidth(double width) {
  surfaceWidth_ = width;
  updateMask();
}

void NotchViewport::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  layoutHosted();
  updateMask();
}

void NotchViewport::layoutHosted() {
  hosted_->setGeometry(0, 0, width(), static_cast<int>(std::lround(naturalHeight_)));
}

void NotchViewport::updateMask() {
  // Without a window system (previews, tests) there is no window to shape.
  if (width() <= 0 || height() <= 0 || QGuiApplication::platformName() == "offscreen") {
    return;
  }
  const QPainterPath silhouette = centredNotchShapePath(width(), height(), surfaceWidth_);
  const QRegion region(silhouette.toFillPolygon().toPolygon(), Qt::WindingFill);
  // The panel's window takes the silhouette's shape: what lies outside is
  // neither drawn nor hit. The viewport fills the window from its origin.
  if (window()->mask() != region) {
    window()->setMask(region);
  }
}

void NotchViewport::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), Qt::black);
}

} // namespace notch
