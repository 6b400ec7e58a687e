#pragma once

// The card's action buttons (allow, deny, go to WorkBuddy, ...), drawn by
// themselves so that they look the same on every system: a rounded
// rectangle (radius 11) with an optional symbol and a semibold label; the
// primary one filled mint with a black label, the others a faint white fill
// and border that brighten under the pointer. Disabled, the whole button is
// drawn at 45 %: the decision buttons are visibly dead during the arming
// guard. Pressed, it shrinks to 98 % about its centre, easing out over
// 0.12 s, unless motion is reduced. Main thread only.

#include <QAbstractButton>
#include <QString>

class QVariantAnimation;

namespace notch {

class NotchActionButton : public QAbstractButton {
  Q_OBJECT

public:
  NotchActionButton(const QString& text, const QString& iconName, bool primary, bool compact,
                    QWidget* parent = nullptr);

  void setIconName(const QString& iconName);
  void setReduceMotion(bool reduceMotion) { reduceMotion_ = reduceMotion; }
  bool isPrimary() const { return primary_; }

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

protected:
  void paintEvent(QPaintEvent* event) override;
  bool event(QEvent* event) override;

private:
  void animatePressed(bool pressed);
  int padding() const { return compact_ ? 14 : 12; }

  const bool primary_;
  const bool compact_;
  bool reduceMotion_ = false;
  QString iconName_;
  double scale_ = 1.0;
  QVariantAnimation* pressAnimation_;
};

} // namespace notch
