#pragma once

// A borderless text button of the cards ("查看完整参数", "去 WorkBuddy 处理 ↗",
// "体验一下 →"): the label in white at 60 % (90 % under the pointer), with an
// optional small symbol after it. It reads as a link, so that the card's
// real decisions stay the loudest things on it. Main thread only.

#include <QAbstractButton>
#include <QString>

namespace notch {

class NotchPlainButton : public QAbstractButton {
  Q_OBJECT

public:
  NotchPlainButton(const QString& text, const QString& iconName = {}, int iconSize = 8, QWidget* parent = nullptr);

  void setLabel(const QString& text, const QString& iconName);
  QSize sizeHint() const override;

protected:
  void paintEvent(QPaintEvent* event) override;
  bool event(QEvent* event) override;

private:
  QString iconName_;
  int iconSize_;
};

} // namespace notch
