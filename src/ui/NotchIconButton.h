#pragma once

// The small symbol buttons of the card header and the request switcher:
// a 26 × 26 frame with one symbol, white at 50 % (95 % under the pointer),
// on a rounded rectangle (radius 7) that shows only under the pointer
// (white at 9 %) or while pressed (16 %). Every one carries a help text and
// an accessibility label, since the symbol alone says little. Main thread only.

#include <QAbstractButton>
#include <QString>

namespace notch {

class NotchIconButton : public QAbstractButton {
  Q_OBJECT

public:
  explicit NotchIconButton(const QString& iconName, QWidget* parent = nullptr);

  void setIconName(const QString& iconName);
  const QString& iconName() const { return iconName_; }
  // The help text and the accessibility label at once, changed only when they differ.
  void setHelp(const QString& help, const QString& accessibleName);

  QSize sizeHint() const override { return {26, 26}; }

protected:
  void paintEvent(QPaintEvent* event) override;
  bool event(QEvent* event) override;

private:
  QString iconName_;
};

} // namespace notch
