#include "ui/VerticalRevealAnimator.h"

#include <QWidget>

#include <cmath>

#include "support/Clock.h"
#include "ui/NotchViewport.h"

namespace notch {
namespace {

int pixels(double points) { return static_cast<int>(std::lround(points)); }

// Window frames are whole pixels: a target between pixels would never count
// as reached, and every change would look like a move.
ScreenRect snapped(const ScreenRect& frame) {
  return {double(pixels(frame.x)), double(pixels(frame.y)), double(pixels(frame.width)), double(pixels(frame.height))};
}

} // namespace

VerticalRevealAnimator::VerticalRevealAnimator(QWidget* window, NotchViewport* viewport)
    : window_(window), viewport_(viewport) {
  timer_.setTimerType(Qt::PreciseTimer);
  timer_.setInterval(static_cast<int>(std::lround(RevealMotion::tickInterval * 1000)));
  connect(&timer_, &QTimer::timeout, this, [this] { tick(); });
}

ScreenRect VerticalRevealAnimator::currentFrame() const {
  const QRect frame = window_->geometry();
  return {double(frame.x()), double(frame.y()), double(frame.width()), double(frame.height())};
}

void VerticalRevealAnimator::animate(const ScreenRect& target, std::optional<double> surfaceWidth, bool animated,
                                     std::function<void()> completion) {
  if (window_ == nullptr) {
    return;
  }
  switch (motion_.request(currentFrame(), snapped(target), surfaceWidth, animated, uptimeNow())) {
  case RevealMotion::Start::alreadyUnderway:
    return;
  case RevealMotion::Start::immediate:
    timer_.stop();
    completion_ = nullptr;
    apply(motion_.target());
    if (completion) {
      completion();
    }
    return;
  case RevealMotion::Start::animated:
    completion_ = std::move(completion);
    tick();
    timer_.start();
    return;
  }
}

void VerticalRevealAnimator::stop() {
  timer_.stop();
  motion_.cancel();
  completion_ = nullptr;
}

void VerticalRevealAnimator::tick() {
  if (window_ == nullptr) {
    stop();
    return;
  }
  apply(motion_.step(uptimeNow()));
  if (!motion_.isAnimating()) {
    timer_.stop();
    if (auto done = std::exchange(completion_, nullptr)) {
      done();
    }
  }
}

void VerticalRevealAnimator::apply(const RevealMotion::Step& step) {
  motion_.applied(step.surfaceWidth);
  const QRect frame(pixels(step.frame.x), pixels(step.frame.y), pixels(step.frame.width), pixels(step.frame.height));
  window_->setGeometry(frame);
  if (viewport_ != nullptr) {
    viewport_->setSurfaceWidth(step.surfaceWidth);
  }
  if (frameDidChange) {
    frameDidChange(step.frame);
  }
}

} // namespace notch
