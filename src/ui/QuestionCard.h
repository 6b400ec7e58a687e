#pragma once

// The reminder that WorkBuddy is asking the user something: the question's
// title and page, a reminder that the notch never answers, and one button
// that only brings WorkBuddy forward, armed by the model. Main thread only.

#include <QWidget>

class QLabel;

namespace notch {

class AppModel;
class NotchActionButton;

class QuestionCard : public QWidget {
  Q_OBJECT

public:
  explicit QuestionCard(AppModel& model, QWidget* parent = nullptr);
  void refresh();

private:
  AppModel& model_;
  QLabel* page_;
  QLabel* title_;
  QLabel* failed_;
  NotchActionButton* answer_;
};

} // namespace notch
