#include "ui/NotchPlainButton.h"

#include <QEvent>
#include <QFontMetrics>
#include <QPainter>

#include "ui/NotchIcons.h"
#include "ui/NotchStyle.h"

namespace notch {
namespace {

constexpr int iconGap = 4;
constexpr int verticalPadding = 4;

} // namespace

NotchPlainButton::NotchPlainButton(const QString& text, const QString& iconName, int iconSize, QWidget* parent)
    : QAbstractButton(parent), iconName_(iconName), iconSize_(iconSize) {
  setText(text);
  setAccessibleName(text);
  setFont(NotchStyle::font(12, QFont::Medium));
  setCursor(Qt::PointingHandCursor);
  setAttribute(Qt::WA_Hover);
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void NotchPlainButton::setLabel(const QString& text, const QString& iconName) {
  if (text == this->text() && iconName == iconName_) {
    return;
  }
  setText(text);
  setAccessibleName(text);
  iconName_ = iconName;
  updateGeometry();
  update();
}

QSize NotchPlainButton::sizeHint() const {
  const QFontMetrics metrics(font());
  const int icon = iconName_.isEmpty() ? 0 : iconGap + iconSize_;
  return {metrics.horizontalAdvance(text()) + icon, metrics.height() + 2 * verticalPadding};
}

bool NotchPlainButton::event(QEvent* event) {
  if (event->type() == QEvent::HoverEnter || event->type() == QEvent::HoverLeave) {
    update();
  }
  return QAbstractButton::event(event);
}

void NotchPlainButton::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setOpacity(isEnabled() ? 1.0 : 0.45);
  const QColor ink = NotchStyle::white(isEnabled() && (underMouse() || isDown()) ? 0.9 : 0.6);
  const QFontMetrics metrics(font());
  const int textWidth = metrics.horizontalAdvance(text());
  painter.setFont(font());
  painter.setPen(ink);
  painter.drawText(QRectF(0, 0, textWidth + 1, height()), Qt::AlignVCenter | Qt::AlignLeft, text());
  if (!iconName_.isEmpty()) {
    paintNotchIcon(painter, QRectF(textWidth + iconGap, (height() - iconSize_) / 2.0, iconSize_, iconSize_), iconName_,
                   ink);
  }
}

} // namespace notch
