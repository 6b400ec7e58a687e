#pragma once

// Start at login on a Linux desktop: the XDG autostart entry
// <autostart directory>/vantrel-dozer.desktop, which every session
// manager following the XDG autostart rules starts when the user logs in.
// It runs the public VantrelNotch, which turns itself into the app image,
// so the entry names the same program WorkBuddy's hooks name.
//
// The entry is the app's own only when its bytes are exactly what the app
// writes for some executable; anything else (a user's edit, a desktop tool
// that added Hidden=true or switched it off) is reported, never replaced
// or removed. Writes go to a private temporary file that is then renamed
// into place, so the session manager never reads half an entry. Main queue.

#include <optional>
#include <string>

#include "platform/LoginItems.h"

namespace notch {

// $XDG_CONFIG_HOME/autostart when that is absolute, else <home>/.config/autostart.
std::string xdgAutostartDirectory(const std::string& home);

class XdgLoginItems final : public LoginItems {
public:
  static constexpr const char* entryName = "vantrel-dozer.desktop";

  // `executable`: the program the entry starts; nullopt when it is unknown
  // (nothing can be enabled then).
  XdgLoginItems(std::string autostartDirectory, std::optional<std::string> executable);

  bool isEnabled() const override;
  std::optional<std::string> setEnabled(bool enabled) override;

  // The entry's bytes for `executable`; nullopt for a path that cannot be
  // written into an Exec line faithfully.
  static std::optional<std::string> entryText(const std::string& executable);

private:
  enum class Found { none, ownCurrent, ownOther, foreign };
  Found inspect() const;
  std::string entryPath() const { return directory_ + "/" + entryName; }

  std::string directory_;
  std::optional<std::string> executable_;
};

} // namespace notch
