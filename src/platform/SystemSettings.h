#pragma once

// The system's own settings, opened where the user grants what the app
// needs: on macOS the Accessibility page of Privacy & Security, on Linux
// the switch that turns assistive technologies on.

namespace notch {

class SystemSettings {
public:
  virtual ~SystemSettings() = default;
  virtual void openAccessibilitySettings() = 0;
};

} // namespace notch
