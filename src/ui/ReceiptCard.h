#pragma once

// The receipt that replaces an answered or vanished request for a moment:
// a symbol, what happened, and one line on what it affected. With more
// requests waiting, a button moves on to them at once. Main thread only.

#include <QWidget>

class QLabel;

namespace notch {

class AppModel;
class NotchIcon;
class NotchPlainButton;

class ReceiptCard : public QWidget {
  Q_OBJECT

public:
  static constexpr int cardHeight = 188;

  explicit ReceiptCard(AppModel& model, QWidget* parent = nullptr);
  void refresh();

private:
  AppModel& model_;
  NotchIcon* icon_;
  QLabel* title_;
  QLabel* detail_;
  NotchPlainButton* continue_;
};

} // namespace notch
