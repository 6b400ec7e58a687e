#pragma once

// The card of the request the notch shows: what is asked (title, the
// command or the raw tool input in a scrolling box, the request's own
// explanation), where it comes from, and the three answers: deny, allow
// this once, or hand it back to WorkBuddy. The buttons are dead unless the
// model has armed them, so a stray click never decides. A hook request's
// card counts its deadline down once a second, and only while it is shown:
// the idle app never wakes up for it. With several requests waiting, a
// switcher steps through them one at a time (never all at once).
// Main thread only.

#include <QWidget>

class QLabel;
class QPlainTextEdit;
class QTimer;

namespace notch {

class AppModel;
class Clock;
class NotchActionButton;
class NotchIcon;
class NotchIconButton;
class NotchPlainButton;
struct ApprovalRequest;
enum class Decision;

class ApprovalCard : public QWidget {
  Q_OBJECT

public:
  ApprovalCard(AppModel& model, const Clock& clock, QWidget* parent = nullptr);

  // Shows the model's current request (the card is about to be, or is, visible).
  void refresh();
  // The card left the screen: the countdown stops.
  void stopTicking();

private:
  void refreshCountdown();
  void decide(Decision decision);

  AppModel& model_;
  const Clock& clock_;
  QTimer* ticker_;

  QLabel* title_;
  QWidget* chip_;
  NotchIcon* chipIcon_;
  QLabel* chipText_;
  QWidget* switcher_;
  QLabel* position_;
  QWidget* nativeBanner_;
  QLabel* heading_;
  QLabel* additionalNote_;
  NotchIconButton* copy_;
  QPlainTextEdit* text_;
  QWidget* divider_;
  NotchPlainButton* parametersToggle_;
  QLabel* description_;
  QWidget* context_;
  NotchIcon* sourceIcon_;
  QLabel* source_;
  NotchIcon* projectIcon_;
  QLabel* project_;
  QWidget* nativeNotes_;
  NotchActionButton* deny_;
  NotchActionButton* allow_;
  NotchPlainButton* handBack_;
};

} // namespace notch
