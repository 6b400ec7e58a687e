#pragma once

// The card the notch shows when nothing waits: whether the bridge serves,
// whether WorkBuddy's hooks are installed, the status of turn-end reminders
// and native detection, and the one next step that matters (grant the
// accessibility permission, open WorkBuddy, or connect it), beside a
// demonstration that executes nothing. Main thread only.

#include <QWidget>

class QLabel;

namespace notch {

class AppModel;
class NotchActionButton;
class Preferences;

class IdleCard : public QWidget {
  Q_OBJECT

public:
  IdleCard(AppModel& model, Preferences& preferences, QWidget* parent = nullptr);
  void refresh();

private:
  enum class Action { grantAccess, openWorkBuddy, connect };

  void act();

  AppModel& model_;
  Preferences& preferences_;
  Action action_ = Action::connect;
  QLabel* title_;
  QLabel* text_;
  QLabel* status_;
  NotchActionButton* actionButton_;
};

} // namespace notch
