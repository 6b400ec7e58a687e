#include "platform/linux/DesktopSystemSettings.h"

#include "platform/Workspace.h"

namespace notch {

void DesktopSystemSettings::openAccessibilitySettings() {
  // The accessibility panels of the desktops that have one, as desktop entries.
  static constexpr const char* kPanels[] = {
      "gnome-universal-access-panel.desktop", // GNOME Settings
      "kcm_access.desktop",                   // KDE System Settings
      "xfce4-accessibility-settings.desktop", // Xfce
  };
  for (const char* panel : kPanels) {
    if (workspace_.applicationExists(panel)) {
      workspace_.openApplication(panel, [](const std::optional<std::string>&) {});
      return;
    }
  }
}

} // namespace notch
