#pragma once

// The expanded card's header: the brand mark, the title (what waits, or the
// app's name) over a one-line subtitle (what the card is about now), and at
// the right the settings button (the end button during a demonstration)
// and the collapse button, whose help says that closing decides nothing.
// Reads everything from the model on `refresh`; main thread only.

#include <QString>
#include <QWidget>

class QLabel;

namespace notch {

class AppModel;
class NotchIcon;
class NotchIconButton;

// The title shared by the header and the compact badge.
QString notchTitle(const AppModel& model);

class CardHeader : public QWidget {
  Q_OBJECT

public:
  explicit CardHeader(AppModel& model, QWidget* parent = nullptr);
  void refresh();

private:
  AppModel& model_;
  QLabel* avatar_;
  NotchIcon* fallbackAvatar_;
  QLabel* title_;
  QLabel* subtitle_;
  NotchIconButton* settings_;
  NotchIconButton* endDemo_;
  NotchIconButton* collapse_;
};

} // namespace notch
