#include "app/SyntheticWorld.h"

namespace notch {

void MemoryPreferences::registerDefaults(const std::map<std::string, bool>& defaults) {
  for (const auto& [key, value] : defaults) {
    defaults_[key] = value;
  }
}

bool MemoryPreferences::boolValue(const std::string& key) const {
  if (const auto set = values_.find(key); set != values_.end()) {
    return set->second;
  }
  const auto registered = defaults_.find(key);
  return registered != defaults_.end() && registered->second;
}

void MemoryPreferences::setBool(const std::string& key, bool value) {
  const bool changed = boolValue(key) != value;
  values_[key] = value;
  if (changed) {
    changes_.notify(key);
  }
}

Subscription MemoryPreferences::observe(std::function<void(const std::string&)> onChange) {
  return changes_.add(std::move(onChange));
}

} // namespace notch
