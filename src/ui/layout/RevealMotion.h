#pragma once

// The arithmetic of the notch's curtain-like reveal, free of any window:
// the panel hangs from the screen's top edge, so opening and closing move
// only its bottom edge (and ease the drawn surface's width along), over
// 0.24 s with smoothstep easing. Any change that is not purely vertical
// (another screen, width or top edge) lands at once. A new target during a
// motion starts afresh from where the old one had got to. Time is given by
// the caller (seconds of a monotonic clock). Top-left origin, y down.

#include <optional>

#include "platform/Screens.h"

namespace notch {

class RevealMotion {
public:
  static constexpr double duration = 0.24;
  static constexpr double tickInterval = 1.0 / 60.0;
  static constexpr double geometryTolerance = 0.01; // left edge, width, top edge
  static constexpr double arrivalTolerance = 0.5;   // height, surface width
  static constexpr double smallestSurfaceWidth = 1.0;

  struct Step {
    ScreenRect frame;
    double surfaceWidth = 0;
  };

  enum class Start {
    alreadyUnderway, // the motion in flight goes there: nothing changes
    immediate,       // apply `target()` now: the request is complete
    animated,        // call `step` on every tick until `isAnimating()` is false
  };

  // `surfaceWidth` is the surface width applied last (initially the widest panel).
  explicit RevealMotion(double surfaceWidth = 480) : surfaceWidth_(surfaceWidth) {}

  // A new target; `current` is the window's frame now.
  Start request(const ScreenRect& current, const ScreenRect& target, std::optional<double> surfaceWidth, bool animated,
                double now);
  // The frame and surface width for this moment; the last step lands exactly on the target.
  Step step(double now);
  // Records what was applied (also what `step` returned).
  void applied(double surfaceWidth) { surfaceWidth_ = surfaceWidth; }
  // Forgets the motion in flight (the window went away).
  void cancel() { animating_ = false; }

  bool isAnimating() const { return animating_; }
  Step target() const { return {*targetFrame_, targetSurfaceWidth_}; }
  double surfaceWidth() const { return surfaceWidth_; }

  // The surface width a request ends with: the given one (else the target's
  // width), at least 1 point and at most the target's width.
  static double effectiveSurfaceWidth(std::optional<double> requested, double targetWidth);
  static bool purelyVertical(const ScreenRect& current, const ScreenRect& target);

private:
  std::optional<ScreenRect> targetFrame_;
  double targetSurfaceWidth_ = 0;
  bool animating_ = false;
  double surfaceWidth_;
  double startTime_ = 0;
  double startHeight_ = 0;
  double startSurfaceWidth_ = 0;
};

} // namespace notch
