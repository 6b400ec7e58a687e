#pragma once

// The system's accessibility settings on a Linux desktop. The switch that
// matters (assistive technologies on, for the whole session) is flipped by
// the accessibility backend when trust is requested; this opens the
// desktop's own accessibility panel beside it, where the user can see and
// keep that setting: GNOME's or KDE's, whichever is installed, and nothing
// on a desktop without one. Main queue only.

#include "platform/SystemSettings.h"

namespace notch {

class Workspace;

class DesktopSystemSettings final : public SystemSettings {
public:
  explicit DesktopSystemSettings(Workspace& workspace) : workspace_(workspace) {}
  void openAccessibilitySettings() override;

private:
  Workspace& workspace_;
};

} // namespace notch
