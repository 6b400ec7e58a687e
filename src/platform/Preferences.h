#pragma once

// The app's stored yes/no preferences (the user defaults on macOS, a
// settings file on Linux). Keys read as their registered default until set,
// and as false without one. The settings window writes them while the app
// model runs, so readers never cache a value: they ask when they act.

#include <functional>
#include <map>
#include <string>

#include "support/ObserverList.h"

namespace notch {

class Preferences {
public:
  virtual ~Preferences() = default;

  // Registering a key again replaces its default; set values are kept.
  virtual void registerDefaults(const std::map<std::string, bool>& defaults) = 0;
  virtual bool boolValue(const std::string& key) const = 0;
  virtual void setBool(const std::string& key, bool value) = 0;

  // `onChange` runs on the main queue with the key after its value changed.
  [[nodiscard]] virtual Subscription observe(std::function<void(const std::string& key)> onChange) = 0;
};

} // namespace notch
