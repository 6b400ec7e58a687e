#include "ui/NotchIconButton.h"

#include <QEvent>
#include <QPainter>
#include <QPainterPath>

#include "ui/NotchIcons.h"
#include "ui/NotchStyle.h"

namespace notch {

NotchIconButton::NotchIconButton(const QString& iconName, QWidget* parent)
    : QAbstractButton(parent), iconName_(iconName) {
  setFixedSize(26, 26);
  setFont(NotchStyle::font(11, QFont::Medium));
  setCursor(Qt::PointingHandCursor);
  setAttribute(Qt::WA_Hover);
}

void NotchIconButton::setIconName(const QString& iconName) {
  if (iconName != iconName_) {
    iconName_ = iconName;
    update();
  }
}

void NotchIconButton::setHelp(const QString& help, const QString& accessibleName) {
  if (toolTip() != help) {
    setToolTip(help);
  }
  if (this->accessibleName() != accessibleName) {
    setAccessibleName(accessibleName);
  }
}

bool NotchIconButton::event(QEvent* event) {
  if (event->type() == QEvent::HoverEnter || event->type() == QEvent::HoverLeave) {
    update();
  }
  return QAbstractButton::event(event);
}

void NotchIconButton::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setOpacity(isEnabled() ? 1.0 : 0.45);
  const bool hovered = isEnabled() && underMouse();
  if (isDown() || hovered) {
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()), 7, 7);
    painter.fillPath(shape, NotchStyle::white(isDown() ? 0.16 : 0.09));
  }
  // An 11-point symbol: the size of the header's small text.
  constexpr double symbol = 12;
  paintNotchIcon(painter, QRectF((width() - symbol) / 2, (height() - symbol) / 2, symbol, symbol), iconName_,
                 NotchStyle::white(hovered ? 0.95 : 0.5));
}

} // namespace notch
