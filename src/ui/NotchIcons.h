#pragma once

// The notch's symbols: small monochrome drawings shipped with the app under
// the system-symbol names the cards ask for ("xmark", "chevron.up", ...).
// Each is a 24 × 24 template in which black is ink and white is a hole (the
// check inside a filled circle), tinted here with any colour at any size.
// A name without a drawing paints nothing: the cards reserve a fixed box
// for every symbol, so a missing one never moves the layout.
// Main thread only (pixmaps).

#include <QColor>
#include <QPixmap>
#include <QRectF>
#include <QString>
#include <QWidget>

class QPainter;

namespace notch {

// The tinted symbol, `size` logical pixels square; null when there is none.
QPixmap notchIconPixmap(const QString& name, int size, const QColor& color, qreal devicePixelRatio = 1.0);
// Draws the symbol centred in `box`, as large as the box's shorter side.
void paintNotchIcon(QPainter& painter, const QRectF& box, const QString& name, const QColor& color);
bool hasNotchIcon(const QString& name);

// The app's own marks, in full colour: the card header's avatar and the
// tray's template image (black on clear). Null when they cannot be loaded.
QPixmap brandAvatarPixmap(int size, qreal devicePixelRatio = 1.0);
QPixmap menuBarTemplatePixmap(int size, qreal devicePixelRatio = 1.0);

// A symbol in a fixed box, for the cards' rows.
class NotchIcon : public QWidget {
public:
  NotchIcon(const QString& name, int size, const QColor& color, QWidget* parent = nullptr);
  void setName(const QString& name);
  void setColor(const QColor& color);
  const QString& name() const { return name_; }

protected:
  void paintEvent(QPaintEvent* event) override;

private:
  QString name_;
  QColor color_;
};

} // namespace notch
