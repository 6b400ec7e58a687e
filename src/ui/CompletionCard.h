#pragma once

// The reminder that a WorkBuddy turn has ended in the background: a plain
// note to go and check the result, a button that drops the reminder and
// one that only brings WorkBuddy forward (once, while the model keeps it
// armed). It selects no session and touches no task. Main thread only.

#include <QWidget>

class QLabel;

namespace notch {

class AppModel;
class NotchActionButton;

class CompletionCard : public QWidget {
  Q_OBJECT

public:
  explicit CompletionCard(AppModel& model, QWidget* parent = nullptr);
  void refresh();

private:
  AppModel& model_;
  QLabel* failed_;
  NotchActionButton* open_;
};

} // namespace notch
