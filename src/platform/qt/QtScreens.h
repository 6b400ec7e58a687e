#pragma once

// The displays through QScreen, in Qt's order with the primary screen
// first. Qt knows no notch: the safe-area top inset is 0 and the areas
// beside the notch are absent, so the notch lays itself out on the primary
// screen at its smallest height. Main queue only.

#include <memory>

#include "platform/Screens.h"

namespace notch {

class QtScreens final : public Screens {
public:
  QtScreens();
  ~QtScreens() override;
  QtScreens(const QtScreens&) = delete;
  QtScreens& operator=(const QtScreens&) = delete;

  std::vector<ScreenInfo> screens() const override;
  [[nodiscard]] Subscription observe(std::function<void()> onChange) override;

private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

} // namespace notch
