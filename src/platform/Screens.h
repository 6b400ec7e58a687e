#pragma once

// The displays as the notch lays itself out on them: each screen's full
// frame (menu bar or top panel included), the safe-area top inset (the
// notch's height where a screen has one, 0 elsewhere) and the two areas
// beside the notch at the top of the screen. Points, top-left origin, y
// down. Called and observed on the main queue.

#include <functional>
#include <optional>
#include <vector>

#include "support/ObserverList.h"

namespace notch {

struct ScreenRect {
  double x = 0;
  double y = 0;
  double width = 0;
  double height = 0;

  friend bool operator==(const ScreenRect&, const ScreenRect&) = default;
};

struct ScreenInfo {
  ScreenRect frame;
  double safeAreaTopInset = 0;
  std::optional<ScreenRect> auxiliaryTopLeftArea;
  std::optional<ScreenRect> auxiliaryTopRightArea;

  friend bool operator==(const ScreenInfo&, const ScreenInfo&) = default;
};

class Screens {
public:
  virtual ~Screens() = default;
  // In the system's screen order; empty without a screen.
  virtual std::vector<ScreenInfo> screens() const = 0;
  // `onChange` runs whenever a screen comes, goes or changes its geometry.
  [[nodiscard]] virtual Subscription observe(std::function<void()> onChange) = 0;
};

} // namespace notch
