#pragma once

// Installs, updates, removes and inspects the program's hook entries in
// WorkBuddy's settings.json: the approval hook ("PermissionRequest") and
// the pair of turn-end hooks ("UserPromptSubmit", "FinalStop").
//
// Every writing operation runs the file protocol of SettingsFile: open the
// directory safely, take the install lock, read, validate, compute, back up
// (always), then either only re-check that nothing changed (when the result
// equals what was read) or replace the file atomically. It returns the
// backup's path. Failures are HookInstaller::Failure with the Chinese text
// to show; the settings file is then exactly as it was.
//
// Holds no state of its own; synchronous on the caller's thread.

#include <optional>
#include <string>
#include <string_view>

#include "core/config/FileSystem.h"
#include "core/config/HookInstallerFailure.h"
#include "core/config/SettingsHookConfiguration.h"
#include "core/config/TargetApplicationProfile.h"

namespace notch {

class HookInstaller {
public:
  using Failure = HookInstallerFailure;

  explicit HookInstaller(const FileSystem& fileSystem) : fileSystem_(fileSystem) {}

  // What an install would add, as text for the command line. Writes nothing.
  std::string preview(const std::string& settingsURL, const std::string& executableURL, std::string_view source,
                      bool interceptBash) const;

  std::string install(const std::string& settingsURL, const std::string& executableURL, std::string_view source,
                      bool interceptBash) const;
  std::string uninstall(const std::string& settingsURL) const;

  std::string installCompletion(const std::string& settingsURL, const std::string& executableURL, bool probe) const;
  std::string uninstallCompletion(const std::string& settingsURL) const;
  bool completionInstalled(const std::string& settingsURL, const std::string& executableURL, bool probe) const;

  // Read-only; never throws: every error becomes the `invalid` state.
  SettingsHookConfiguration inspectApprovalHooks(TargetApplicationProfile profile, const std::string& settingsURL,
                                                 const std::optional<std::string>& executableURL) const;

private:
  const FileSystem& fileSystem_;
};

} // namespace notch
