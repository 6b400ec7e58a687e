#include "ui/NotchActionButton.h"

#include <QEvent>
#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>
#include <QVariantAnimation>

#include "ui/NotchIcons.h"
#include "ui/NotchStyle.h"

namespace notch {
namespace {

constexpr double cornerRadius = 11;
constexpr double pressedScale = 0.98;
constexpr int pressDurationMs = 120;
constexpr int iconGap = 6;

} // namespace

NotchActionButton::NotchActionButton(const QString& text, const QString& iconName, bool primary, bool compact,
                                     QWidget* parent)
    : QAbstractButton(parent), primary_(primary), compact_(compact), iconName_(iconName),
      pressAnimation_(new QVariantAnimation(this)) {
  setText(text);
  setAccessibleName(text);
  setFont(NotchStyle::font(compact ? 11 : 13, QFont::DemiBold));
  setCursor(Qt::PointingHandCursor);
  setAttribute(Qt::WA_Hover);
  setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
  pressAnimation_->setDuration(pressDurationMs);
  pressAnimation_->setEasingCurve(QEasingCurve::OutCubic);
  connect(pressAnimation_, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
    scale_ = value.toDouble();
    update();
  });
  connect(this, &QAbstractButton::pressed, this, [this] { animatePressed(true); });
  connect(this, &QAbstractButton::released, this, [this] { animatePressed(false); });
}

void NotchActionButton::setIconName(const QString& iconName) {
  if (iconName != iconName_) {
    iconName_ = iconName;
    update();
  }
}

QSize NotchActionButton::sizeHint() const {
  const QFontMetrics metrics(font());
  const int icon = iconName_.isEmpty() ? 0 : metrics.height() + iconGap;
  return {2 * padding() + icon + metrics.horizontalAdvance(text()), compact_ ? 34 : 42};
}

QSize NotchActionButton::minimumSizeHint() const { return {2 * padding(), compact_ ? 34 : 42}; }

bool NotchActionButton::event(QEvent* event) {
  if (event->type() == QEvent::HoverEnter || event->type() == QEvent::HoverLeave) {
    update();
  }
  return QAbstractButton::event(event);
}

void NotchActionButton::animatePressed(bool pressed) {
  const double target = pressed ? pressedScale : 1.0;
  pressAnimation_->stop();
  if (reduceMotion_) {
    scale_ = 1.0;
    update();
    return;
  }
  pressAnimation_->setStartValue(scale_);
  pressAnimation_->setEndValue(target);
  pressAnimation_->start();
}

void NotchActionButton::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setOpacity(isEnabled() ? 1.0 : 0.45);
  const QPointF centre = QRectF(rect()).center();
  painter.translate(centre);
  painter.scale(scale_, scale_);
  painter.translate(-centre);

  const bool hovered = isEnabled() && underMouse();
  const QRectF frame = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
  QPainterPath shape;
  shape.addRoundedRect(frame, cornerRadius, cornerRadius);
  if (primary_) {
    QColor fill = NotchStyle::mint();
    fill.setAlphaF(hovered ? 1.0f : 0.92f);
    painter.fillPath(shape, fill);
  } else {
    painter.fillPath(shape, NotchStyle::white(hovered ? 0.16 : 0.09));
    painter.setPen(QPen(NotchStyle::white(hovered ? 0.18 : 0.07), 1));
    painter.drawPath(shape);
  }

  const QColor ink = primary_ ? QColor(Qt::black) : NotchStyle::white(0.85);
  const QFontMetrics metrics(font());
  const int iconSize = iconName_.isEmpty() ? 0 : metrics.height() - 2;
  const int textWidth = std::min(metrics.horizontalAdvance(text()), width() - 2 * padding() - iconSize);
  const int contentWidth = iconSize + (iconSize ? iconGap : 0) + textWidth;
  double x = (width() - contentWidth) / 2.0;
  if (iconSize) {
    paintNotchIcon(painter, QRectF(x, (height() - iconSize) / 2.0, iconSize, iconSize), iconName_, ink);
    x += iconSize + iconGap;
  }
  painter.setFont(font());
  painter.setPen(ink);
  painter.drawText(QRectF(x, 0, textWidth + 1, height()), Qt::AlignVCenter | Qt::AlignLeft,
                   metrics.elidedText(text(), Qt::ElideRight, textWidth + 1));
}

} // namespace notch
