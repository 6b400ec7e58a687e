#include "ui/SettingsWidgets.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QStyleOptionButton>
#include <QVBoxLayout>

#include "ui/NotchIcons.h"
#include "ui/NotchStyle.h"

namespace notch {
namespace {

constexpr int kQuitIconSize = 14;
constexpr int kQuitIconGap = 7;
constexpr int kQuitPadding = 16;

} // namespace

namespace SettingsColours {
QColor window() { return QColor(24, 24, 26); }
QColor section() { return QColor(36, 36, 39); }
QColor secondary() { return NotchStyle::white(0.55); }
QColor green() { return NotchStyle::mint(); }
QColor red() { return QColor(255, 105, 97); }
} // namespace SettingsColours

QLabel* settingsLabel(const QString& text, int pixelSize, QFont::Weight weight, const QColor& colour, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setFont(NotchStyle::font(pixelSize, weight));
  label->setTextFormat(Qt::PlainText);
  label->setWordWrap(true);
  label->setTextInteractionFlags(Qt::TextSelectableByMouse);
  NotchStyle::setTextColor(label, colour);
  return label;
}

SettingsSection::SettingsSection(const QString& iconName, const QString& title, QWidget* parent)
    : QWidget(parent), body_(new QVBoxLayout) {
  body_->setSpacing(10);
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(16, 14, 16, 16);
  column->setSpacing(12);
  if (!title.isEmpty()) {
    auto* header = new QHBoxLayout;
    header->setSpacing(8);
    header->addWidget(new NotchIcon(iconName, 15, NotchStyle::mint(), this), 0, Qt::AlignVCenter);
    auto* heading = settingsLabel(title, 14, QFont::DemiBold, NotchStyle::white(0.95), this);
    heading->setWordWrap(false);
    header->addWidget(heading, 1);
    column->addLayout(header);
  }
  column->addLayout(body_);
}

void SettingsSection::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  QPainterPath card;
  card.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 12, 12);
  painter.fillPath(card, SettingsColours::section());
  painter.setPen(QPen(NotchStyle::white(0.07), 1));
  painter.drawPath(card);
}

SettingsSwitch::SettingsSwitch(const QString& accessibleName, QWidget* parent) : QAbstractButton(parent) {
  setCheckable(true);
  setAccessibleName(accessibleName);
  setCursor(Qt::PointingHandCursor);
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  setFocusPolicy(Qt::StrongFocus);
}

void SettingsSwitch::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setOpacity(isEnabled() ? 1.0 : 0.45);
  const QRectF track = QRectF(0, 0, 38, 22).adjusted(0.5, 0.5, -0.5, -0.5);
  painter.setPen(hasFocus() ? QPen(NotchStyle::white(0.6), 1) : Qt::NoPen);
  painter.setBrush(isChecked() ? NotchStyle::mint() : NotchStyle::white(0.18));
  painter.drawRoundedRect(track, track.height() / 2, track.height() / 2);
  const double knob = track.height() - 4;
  const double x = isChecked() ? track.right() - 2 - knob : track.left() + 2;
  painter.setPen(Qt::NoPen);
  painter.setBrush(Qt::white);
  painter.drawEllipse(QRectF(x, track.top() + 2, knob, knob));
}

void SettingsQuitStyle::drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                                    const QWidget* widget) const {
  const auto* button = qstyleoption_cast<const QStyleOptionButton*>(option);
  if (element != CE_PushButton || button == nullptr) {
    QProxyStyle::drawControl(element, option, painter, widget);
    return;
  }
  const bool hovered = (option->state & State_MouseOver) != 0;
  const bool pressed = (option->state & (State_Sunken | State_On)) != 0;
  QColor fill = SettingsColours::red();
  fill.setAlphaF(pressed ? 0.3f : hovered ? 0.2f : 0.12f);
  QColor edge = SettingsColours::red();
  edge.setAlphaF(hovered ? 0.5f : 0.3f);
  painter->save();
  painter->setRenderHint(QPainter::Antialiasing);
  painter->setPen(QPen(edge, 1));
  painter->setBrush(fill);
  const QRectF frame = QRectF(option->rect).adjusted(0.5, 0.5, -0.5, -0.5);
  painter->drawRoundedRect(frame, 9, 9);
  const QFontMetrics metrics(option->fontMetrics);
  const int content = kQuitIconSize + kQuitIconGap + metrics.horizontalAdvance(button->text);
  const double x = frame.center().x() - content / 2.0;
  paintNotchIcon(*painter, QRectF(x, frame.center().y() - kQuitIconSize / 2.0, kQuitIconSize, kQuitIconSize), "power",
                 SettingsColours::red());
  painter->setPen(SettingsColours::red());
  painter->drawText(QRectF(x + kQuitIconSize + kQuitIconGap, frame.top(), content, frame.height()),
                    Qt::AlignVCenter | Qt::AlignLeft, button->text);
  painter->restore();
}

QSize SettingsQuitStyle::sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                                          const QWidget* widget) const {
  const auto* button = qstyleoption_cast<const QStyleOptionButton*>(option);
  if (type != CT_PushButton || button == nullptr) {
    return QProxyStyle::sizeFromContents(type, option, size, widget);
  }
  const int text = option->fontMetrics.horizontalAdvance(button->text);
  return {2 * kQuitPadding + kQuitIconSize + kQuitIconGap + text, 34};
}

} // namespace notch
