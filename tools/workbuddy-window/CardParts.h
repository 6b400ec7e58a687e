#pragma once

// What both cards of the WorkBuddy window are made of: widgets whose
// accessible roles and texts are exactly what the card readers expect (a
// push button whose name is its label, a plain-text label, a pixmap label
// that reads as an image, a text-less group), and the line a card reports
// when one of its buttons is pressed. GUI thread only.

#include <functional>

#include <QLabel>
#include <QPushButton>
#include <QString>
#include <QWidget>

namespace notch::standin {

// Called with the pressed button's accessible name.
using PressReport = std::function<void(const QString& button)>;

// A card on the window: a framed group that lays out its own parts at
// fixed offsets computed from the font, so that the geometry the readers
// check holds whatever the text.
class Card : public QWidget {
public:
  Card(int id, QWidget* parent) : QWidget(parent), id_(id) {}
  int id() const { return id_; }
  // Lays the parts out again and resizes the card to fit them.
  virtual void relayout() = 0;

private:
  int id_;
};

// A plain-text label: the accessible name is the text as given, never
// rich text, whatever characters the command holds.
QLabel* textLabel(const QString& text, QWidget* parent);

// A label showing a drawn 16×16 icon; Qt gives a pixmap label the image role.
enum class IconShape { warning, left, right, skip, chevron };
QLabel* iconLabel(IconShape shape, QWidget* parent);

// A push button whose accessible name is `name` and that reports every
// click, by mouse or through accessibility (Qt turns the press action
// into a click).
QPushButton* reportingButton(const QString& name, const QString& shownText, QWidget* parent, const PressReport& report);

// The line height the cards use for one line of text.
int lineHeight(const QWidget* widget);
// The width `text` needs in `widget`'s font, with a little slack.
int textWidth(const QWidget* widget, const QString& text);

} // namespace notch::standin
