#include "ui/NotchStyle.h"

#include <QLabel>
#include <QPalette>

namespace notch::NotchStyle {

QColor mint() { return QColor::fromRgbF(0.58f, 0.94f, 0.73f); }

QColor orange() { return QColor(255, 159, 10); }

QColor white(double alpha) {
  QColor color(Qt::white);
  color.setAlphaF(static_cast<float>(alpha));
  return color;
}

QStringList uiFamilies() { return {"Noto Sans CJK SC", "WenQuanYi Micro Hei", "sans-serif"}; }

QStringList codeFamilies() { return {"DejaVu Sans Mono", "monospace", "Noto Sans CJK SC", "WenQuanYi Micro Hei"}; }

QFont font(int pixelSize, QFont::Weight weight) {
  QFont result;
  result.setFamilies(uiFamilies());
  result.setStyleHint(QFont::SansSerif);
  result.setPixelSize(pixelSize);
  result.setWeight(weight);
  return result;
}

QFont codeFont(int pixelSize) {
  QFont result;
  result.setFamilies(codeFamilies());
  result.setStyleHint(QFont::Monospace);
  result.setFixedPitch(true);
  result.setPixelSize(pixelSize);
  return result;
}

void setTextColor(QWidget* widget, const QColor& color) {
  QPalette palette = widget->palette();
  palette.setColor(QPalette::WindowText, color);
  palette.setColor(QPalette::Text, color);
  palette.setColor(QPalette::ButtonText, color);
  widget->setPalette(palette);
}

QLabel* label(QWidget* parent, int pixelSize, QFont::Weight weight, double alpha, const char* objectName,
              bool wordWrap) {
  auto* result = new QLabel(parent);
  result->setFont(font(pixelSize, weight));
  setTextColor(result, white(alpha));
  result->setTextFormat(Qt::PlainText);
  result->setWordWrap(wordWrap);
  if (objectName && *objectName) {
    result->setObjectName(objectName);
  }
  return result;
}

} // namespace notch::NotchStyle
