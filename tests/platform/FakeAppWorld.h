#pragma once

// The app model's outside world in fakes and virtual time, around a private
// bridge directory and home: what the harnesses of the model's, the views'
// and the settings window's tests (and the model's benchmark) build on.

#include <optional>
#include <string>

#include "app/AppModel.h"
#include "core/bridge/TestBridge.h"
#include "platform/FakeAccessibility.h"
#include "platform/FakeAppPlatform.h"
#include "platform/FakeWorkspace.h"
#include "support/FakeClock.h"

namespace notch::testing {

struct FakeAppWorld {
  // The model's environment; the bridge directory is the private one unless given.
  AppEnvironment environment(std::optional<std::string> executable,
                             std::optional<std::string> bridgeDirectory = std::nullopt) {
    std::string directory = bridgeDirectory.value_or(bridge.path());
    return {clock,          main,          native,     preferences,          clipboard,   workspace,
            systemSettings, accessibility, fileSystem, std::move(directory), home.path(), std::move(executable)};
  }

  TemporaryDirectory bridge;
  TemporaryDirectory home;
  FakeClock clock;
  ManualTaskQueue main{clock};
  ManualTaskQueue native{clock};
  FakePreferences preferences;
  FakeClipboard clipboard;
  FakeWorkspace workspace;
  FakeSystemSettings systemSettings;
  FakeAccessibility accessibility{&clock, 0.0};
  SystemFileSystem fileSystem;
};

} // namespace notch::testing
