#pragma once

// Whether the app starts when the user logs in (a login item on macOS, an
// XDG autostart entry on Linux). Only the app's own entry, for the
// executable running now, counts as enabled. An entry of the same name that
// the app did not write exactly so (a hand-edited one, another program's)
// is never overwritten nor removed: the change is refused with a reason
// the settings window shows. Main queue.

#include <optional>
#include <string>

namespace notch {

class LoginItems {
public:
  virtual ~LoginItems() = default;
  virtual bool isEnabled() const = 0;
  // nullopt when the entry now is as asked; else why nothing was changed.
  virtual std::optional<std::string> setEnabled(bool enabled) = 0;
};

} // namespace notch
