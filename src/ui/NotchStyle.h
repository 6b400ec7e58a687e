#pragma once

// The notch's look in one place: its colours (white on black, mint for
// what went through, orange for what needs attention), the font families
// (a CJK face before the default sans, so that Chinese text never falls
// back to boxes; monospaced code with the same CJK fallback) and the small
// label factory every card uses. Sizes are pixels, which the notch treats
// as points: the cards are laid out for a 1× logical screen.

#include <QColor>
#include <QFont>
#include <QStringList>

class QLabel;
class QWidget;

namespace notch::NotchStyle {

QColor mint();   // receipts that went through, the primary button, the "all clear" dot
QColor orange(); // deadlines, denials, what still waits
QColor white(double alpha);

QStringList uiFamilies();
QStringList codeFamilies();
QFont font(int pixelSize, QFont::Weight weight = QFont::Normal);
QFont codeFont(int pixelSize);

// A label in white at `alpha`, named `objectName` (empty: unnamed).
QLabel* label(QWidget* parent, int pixelSize, QFont::Weight weight, double alpha, const char* objectName,
              bool wordWrap = false);
void setTextColor(QWidget* widget, const QColor& color);

} // namespace notch::NotchStyle
