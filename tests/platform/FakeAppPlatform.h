#pragma once

// Preferences, clipboard and system settings as the app model sees them,
// held in memory for tests.

#include <map>
#include <string>

#include "app/SyntheticWorld.h"
#include "platform/SystemSettings.h"

namespace notch::testing {

// In-memory preferences and clipboard are the product's own (the previews use them).
using FakePreferences = MemoryPreferences;
using FakeClipboard = MemoryClipboard;

struct FakeSystemSettings final : SystemSettings {
  void openAccessibilitySettings() override { ++opened; }
  int opened = 0;
};

} // namespace notch::testing
