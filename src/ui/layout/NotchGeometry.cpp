#include "ui/layout/NotchGeometry.h"

#include <algorithm>

namespace notch {
namespace {

const ScreenInfo* notchScreen(const std::vector<ScreenInfo>& screens) {
  const auto notched = std::find_if(screens.begin(), screens.end(),
                                    [](const ScreenInfo& screen) { return screen.safeAreaTopInset > 0; });
  if (notched != screens.end()) {
    return &*notched;
  }
  return screens.empty() ? nullptr : &screens.front();
}

double notchWidthOf(const ScreenInfo& screen) {
  if (!screen.auxiliaryTopLeftArea || !screen.auxiliaryTopRightArea) {
    return NotchGeometry::defaultNotchWidth;
  }
  const double leftAreaEnd = screen.auxiliaryTopLeftArea->x + screen.auxiliaryTopLeftArea->width;
  return std::max(screen.auxiliaryTopRightArea->x - leftAreaEnd, NotchGeometry::defaultNotchWidth);
}

} // namespace

ScreenRect NotchGeometry::panelFrame(double height) const {
  return {screenFrame.x + screenFrame.width * 0.5 - panelWidth * 0.5, screenFrame.y, panelWidth, height};
}

std::optional<NotchGeometry> NotchGeometry::forScreens(const std::vector<ScreenInfo>& screens) {
  const ScreenInfo* screen = notchScreen(screens);
  if (screen == nullptr) {
    return std::nullopt;
  }
  NotchGeometry geometry;
  geometry.screenFrame = screen->frame;
  geometry.notchHeight = std::max(screen->safeAreaTopInset, smallestNotchHeight);
  geometry.notchWidth = notchWidthOf(*screen);
  geometry.panelWidth = std::min(screen->frame.width - screenMargin, widestPanel);
  geometry.compactWidth = std::min(geometry.notchWidth + badgeSideRoom, geometry.panelWidth);
  return geometry;
}

} // namespace notch
