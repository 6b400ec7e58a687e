#pragma once

// Where the notch sits and how big it is, from the screens alone. The
// panel hangs from the top edge of the screen with the notch (the first
// one reporting a safe-area inset, else the first screen), centred on it,
// always `panelWidth` wide; only its black surface narrows to
// `compactWidth` when the notch is closed. Points, top-left origin, y down.

#include <optional>
#include <vector>

#include "platform/Screens.h"

namespace notch {

struct NotchGeometry {
  static constexpr double smallestNotchHeight = 8;
  static constexpr double defaultNotchWidth = 200;
  static constexpr double widestPanel = 480;
  static constexpr double screenMargin = 32;  // the expanded card keeps 16 points off each screen edge
  static constexpr double badgeSideRoom = 36; // the compact badge reaches 18 points beside the notch
  static constexpr double badgeHeight = 24;   // the compact badge's row below the notch

  ScreenRect screenFrame;
  double notchHeight = 0;
  double notchWidth = 0;
  double panelWidth = 0;
  double compactWidth = 0;

  double collapsedHeight() const { return notchHeight + badgeHeight; }
  // The panel's frame for a given height: centred on the screen, top edge on the screen's.
  ScreenRect panelFrame(double height) const;

  // Nothing without a screen.
  static std::optional<NotchGeometry> forScreens(const std::vector<ScreenInfo>& screens);

  friend bool operator==(const NotchGeometry&, const NotchGeometry&) = default;
};

} // namespace notch
