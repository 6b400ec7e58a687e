#pragma once

// The notch panel's content: hosts the notch view, paints the black
// surface and shapes the panel's window to the notch silhouette, so that
// only the notch is drawn and the rest of the panel's rectangle neither
// shows nor takes clicks (they reach whatever is below). The hosted view
// is laid out from the top edge at its own natural height, even while the
// panel is taller or shorter during an animation.

#include <QWidget>

#include <functional>

namespace notch {

class NotchViewport final : public QWidget {
public:
  // `measure` gives the hosted view's natural height for a width.
  NotchViewport(QWidget* hosted, std::function<int(int width)> measure, QWidget* parent = nullptr);

  // Measures the hosted view for `width` and keeps the result when it is
  // usable (finite and positive); returns the height now in use.
  double fitHeight(double width);
  double naturalHeight() const { return naturalHeight_; }

  double surfaceWidth() const { return surfaceWidth_; }
  void setSurfaceWidth(double width);
  // Re-applies the silhouette for the current size and surface width.
  void updateMask();

protected:
  void resizeEvent(QResizeEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

private:
  void layoutHosted();

  QWidget* hosted_;
  std::function<int(int)> measure_;
  double naturalHeight_ = 0;
  double surfaceWidth_ = 480;
};

} // namespace notch
