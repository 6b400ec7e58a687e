#pragma once

// Preferences, clipboard and system settings as the app model sees them,
// held in memory for tests.

#include <map>
#include <string>

#include "platform/Clipboard.h"
#include "platform/Preferences.h"
#include "platform/SystemSettings.h"

namespace notch::testing {

class FakePreferences final : public Preferences {
public:
  void registerDefaults(const std::map<std::string, bool>& defaults) override {
    for (const auto& [key, value] : defaults) {
      defaults_[key] = value;
    }
  }
  bool boolValue(const std::string& key) const override {
    if (const auto set = values_.find(key); set != values_.end()) {
      return set->second;
    }
    const auto registered = defaults_.find(key);
    return registered != defaults_.end() && registered->second;
  }
  void setBool(const std::string& key, bool value) override {
    values_[key] = value;
    changes_.notify(key);
  }
  Subscription observe(std::function<void(const std::string&)> onChange) override {
    return changes_.add(std::move(onChange));
  }

private:
  std::map<std::string, bool> defaults_;
  std::map<std::string, bool> values_;
  ObserverList<const std::string&> changes_;
};

struct FakeClipboard final : Clipboard {
  void setText(const std::string& value) override { text = value; }
  std::string text;
};

struct FakeSystemSettings final : SystemSettings {
  void openAccessibilitySettings() override { ++opened; }
  int opened = 0;
};

} // namespace notch::testing
