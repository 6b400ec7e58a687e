#pragma once

// Mouse-downs anywhere on the desktop, in other applications included, so
// that the notch can close when the user clicks elsewhere. Only button
// presses are watched (no motion): an idle desktop costs nothing. Where the
// window system offers no such news, nothing is reported.

#include <functional>
#include <memory>

namespace notch {

class OutsideClicks {
public:
  // `onPress` runs on the main thread for every left or right button press.
  explicit OutsideClicks(std::function<void()> onPress);
  ~OutsideClicks();
  OutsideClicks(const OutsideClicks&) = delete;
  OutsideClicks& operator=(const OutsideClicks&) = delete;

  bool watching() const;

private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

} // namespace notch
