#pragma once

// The pieces the settings window is drawn with, in the notch's own dark
// look: a section card with a symbol and a title, an on/off switch, the
// quit button's style, and the window's few colours. Drawn by themselves,
// like the notch's buttons, so the window looks the same on every desktop
// theme. Main thread only.

#include <QAbstractButton>
#include <QColor>
#include <QProxyStyle>
#include <QString>
#include <QWidget>

class QLabel;
class QVBoxLayout;

namespace notch {

namespace SettingsColours {
QColor window();    // behind the sections
QColor section();   // the cards
QColor secondary(); // explanations and details
QColor green();
QColor red();
} // namespace SettingsColours

// A rounded card with a header line (symbol, title; none without a title); content goes into body().
class SettingsSection : public QWidget {
public:
  SettingsSection(const QString& iconName, const QString& title, QWidget* parent = nullptr);
  QVBoxLayout* body() const { return body_; }

protected:
  void paintEvent(QPaintEvent* event) override;

private:
  QVBoxLayout* body_;
};

// An on/off switch: a pill, mint when on, with a white knob.
class SettingsSwitch : public QAbstractButton {
public:
  explicit SettingsSwitch(const QString& accessibleName, QWidget* parent = nullptr);
  QSize sizeHint() const override { return {38, 22}; }

protected:
  void paintEvent(QPaintEvent* event) override;
};

// The quit button's look: red text and power symbol on a faint red
// rounded field, brighter under the pointer. For QPushButtons only.
class SettingsQuitStyle : public QProxyStyle {
public:
  void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                   const QWidget* widget) const override;
  QSize sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                         const QWidget* widget) const override;
};

// A label in the settings font at `pixelSize`, in `colour`, wrapping long lines.
QLabel* settingsLabel(const QString& text, int pixelSize, QFont::Weight weight, const QColor& colour,
                      QWidget* parent = nullptr);

} // namespace notch
