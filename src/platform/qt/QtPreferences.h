#pragma once

// Preferences stored with QSettings under the organisation "vantrel.local"
// and application "notch": on macOS the user defaults domain
// "local.vantrel.notch" (the bundle's), on Linux
// ~/.config/vantrel.local/notch.conf. Every write is flushed at once, so a
// crash never loses a switch the user flipped. Lives on the main queue;
// observers are told there, after the write.

#include <memory>

#include "platform/Preferences.h"

class QSettings;

namespace notch {

class TaskQueue;

class QtPreferences final : public Preferences {
public:
  explicit QtPreferences(TaskQueue& mainQueue);
  // Stores into `settings` instead (tests use a file of their own).
  QtPreferences(TaskQueue& mainQueue, std::unique_ptr<QSettings> settings);
  ~QtPreferences() override;

  void registerDefaults(const std::map<std::string, bool>& defaults) override;
  bool boolValue(const std::string& key) const override;
  void setBool(const std::string& key, bool value) override;
  [[nodiscard]] Subscription observe(std::function<void(const std::string& key)> onChange) override;

private:
  TaskQueue& mainQueue_;
  std::unique_ptr<QSettings> settings_;
  std::map<std::string, bool> defaults_;
  std::shared_ptr<ObserverList<const std::string&>> changes_;
};

} // namespace notch
