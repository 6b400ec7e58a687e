#pragma once

// Moves the notch panel between its compact and expanded frames like a
// curtain (see RevealMotion), ticking 60 times a second on the main
// thread, and keeps the viewport's surface width and silhouette in step
// with every frame. The panel is held weakly: once it is gone, requests do
// nothing and a running animation stops at its next tick.

#include <QObject>
#include <QPointer>
#include <QTimer>

#include <functional>
#include <optional>

#include "platform/Screens.h"
#include "ui/layout/RevealMotion.h"

namespace notch {

class NotchViewport;

class VerticalRevealAnimator final : public QObject {
public:
  VerticalRevealAnimator(QWidget* window, NotchViewport* viewport);

  // Completion runs once the frame is reached; a request replaced before
  // that never completes.
  void animate(const ScreenRect& target, std::optional<double> surfaceWidth, bool animated,
               std::function<void()> completion);
  void stop();
  bool isAnimating() const { return motion_.isAnimating(); }

  std::function<void(const ScreenRect&)> frameDidChange;

private:
  void tick();
  void apply(const RevealMotion::Step& step);
  ScreenRect currentFrame() const;

  QPointer<QWidget> window_;
  QPointer<NotchViewport> viewport_;
  QTimer timer_;
  RevealMotion motion_;
  std::function<void()> completion_;
};

} // namespace notch
