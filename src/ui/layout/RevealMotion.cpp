#include "ui/layout/RevealMotion.h"

#include <algorithm>
#include <cmath>

namespace notch {
namespace {

bool near(double a, double b, double tolerance) { return std::abs(a - b) < tolerance; }

double smoothstep(double progress) { return progress * progress * (3 - 2 * progress); }

} // namespace

double RevealMotion::effectiveSurfaceWidth(std::optional<double> requested, double targetWidth) {
  return std::min(std::max(requested.value_or(targetWidth), smallestSurfaceWidth), targetWidth);
}

bool RevealMotion::purelyVertical(const ScreenRect& current, const ScreenRect& target) {
  return near(current.x, target.x, geometryTolerance) && near(current.width, target.width, geometryTolerance) &&
         near(current.y, target.y, geometryTolerance);
}

RevealMotion::Start RevealMotion::request(const ScreenRect& current, const ScreenRect& target,
                                          std::optional<double> surfaceWidth, bool animated, double now) {
  const double width = effectiveSurfaceWidth(surfaceWidth, target.width);
  if (animating_ && targetFrame_ == target && targetSurfaceWidth_ == width) {
    return Start::alreadyUnderway;
  }
  targetFrame_ = target;
  targetSurfaceWidth_ = width;
  animating_ = false;
  if (!animated || !purelyVertical(current, target) ||
      (near(current.height, target.height, arrivalTolerance) && near(surfaceWidth_, width, arrivalTolerance))) {
    return Start::immediate;
  }
  startTime_ = now;
  startHeight_ = current.height;
  startSurfaceWidth_ = surfaceWidth_;
  animating_ = true;
  return Start::animated;
}

RevealMotion::Step RevealMotion::step(double now) {
  const double progress = std::clamp((now - startTime_) / duration, 0.0, 1.0);
  if (!animating_ || progress >= 1) {
    animating_ = false;
    return target();
  }
  const double eased = smoothstep(progress);
  const ScreenRect& goal = *targetFrame_;
  const double height = startHeight_ + (goal.height - startHeight_) * eased;
  return {{goal.x, goal.y, goal.width, height},
          startSurfaceWidth_ + (targetSurfaceWidth_ - startSurfaceWidth_) * eased};
}

} // namespace notch
