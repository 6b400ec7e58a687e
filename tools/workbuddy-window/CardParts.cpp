#include "CardParts.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace notch::standin {

QLabel* textLabel(const QString& text, QWidget* parent) {
  auto* label = new QLabel(parent);
  label->setTextFormat(Qt::PlainText);
  label->setText(text);
  // Clicks on a label inside a button belong to the button.
  label->setAttribute(Qt::WA_TransparentForMouseEvents);
  return label;
}

QLabel* iconLabel(IconShape shape, QWidget* parent) {
  QPixmap pixmap(16, 16);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  QPen pen(shape == IconShape::warning ? QColor(0xe6, 0x7e, 0x22) : QColor(0x55, 0x5b, 0x66), 1.6);
  painter.setPen(pen);
  QPainterPath path;
  switch (shape) {
  case IconShape::warning:
    path.moveTo(8, 1.5);
    path.lineTo(15, 14.5);
    path.lineTo(1, 14.5);
    path.closeSubpath();
    path.moveTo(8, 6);
    path.lineTo(8, 10);
    path.moveTo(8, 12);
    path.lineTo(8, 12.6);
    break;
  case IconShape::left:
    path.moveTo(10, 3);
    path.lineTo(5, 8);
    path.lineTo(10, 13);
    break;
  case IconShape::right:
  case IconShape::chevron:
    path.moveTo(6, 3);
    path.lineTo(11, 8);
    path.lineTo(6, 13);
    break;
  case IconShape::skip:
    path.moveTo(3, 3);
    path.lineTo(8, 8);
    path.lineTo(3, 13);
    path.moveTo(8, 3);
    path.lineTo(13, 8);
    path.lineTo(8, 13);
    break;
  }
  painter.drawPath(path);
  painter.end();
  auto* label = new QLabel(parent);
  label->setPixmap(pixmap);
  label->setAttribute(Qt::WA_TransparentForMouseEvents);
  return label;
}

QPushButton* reportingButton(const QString& name, const QString& shownText, QWidget* parent,
                             const PressReport& report) {
  auto* button = new QPushButton(shownText, parent);
  button->setAccessibleName(name);
  button->setFocusPolicy(Qt::NoFocus); // keyboard focus would move the card's look, not its meaning
  QObject::connect(button, &QPushButton::clicked, button, [report, name] { report(name); });
  return button;
}

int lineHeight(const QWidget* widget) { return widget->fontMetrics().height() + 4; }

int textWidth(const QWidget* widget, const QString& text) { return widget->fontMetrics().horizontalAdvance(text) + 4; }

} // namespace notch::standin
