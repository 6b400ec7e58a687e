#pragma once

// A world without WorkBuddy, for the preview images and the built-in UI
// checks: preferences kept in memory (the user's own are never read or
// written), a clipboard that keeps its text, no running applications,
// nothing to open, and an accessibility API that is not trusted and knows
// no element. Nothing here touches the desktop, so previews and checks run
// the same on a machine without a display.

#include <map>
#include <string>

#include "app/AppModel.h"
#include "core/config/FileSystem.h"
#include "platform/Accessibility.h"
#include "platform/Clipboard.h"
#include "platform/FileManager.h"
#include "platform/LoginItems.h"
#include "platform/Preferences.h"
#include "platform/SystemSettings.h"
#include "platform/Workspace.h"

namespace notch {

class MemoryPreferences final : public Preferences {
public:
  void registerDefaults(const std::map<std::string, bool>& defaults) override;
  bool boolValue(const std::string& key) const override;
  void setBool(const std::string& key, bool value) override;
  [[nodiscard]] Subscription observe(std::function<void(const std::string& key)> onChange) override;

private:
  std::map<std::string, bool> defaults_;
  std::map<std::string, bool> values_;
  ObserverList<const std::string&> changes_;
};

struct MemoryClipboard final : Clipboard {
  void setText(const std::string& value) override { text = value; }
  std::string text;
};

class EmptyWorkspace final : public Workspace {
public:
  std::vector<RunningApplication> runningApplications(std::string_view) const override { return {}; }
  bool activate(std::int32_t) override { return false; }
  bool unhide(std::int32_t) override { return false; }
  bool applicationExists(const std::string&) const override { return false; }
  void openApplication(const std::string&, OpenCompletion done) override { done("nothing is installed here"); }
  [[nodiscard]] Subscription observeApplications(std::function<void(const ApplicationChange&)>) override { return {}; }
};

struct NoSystemSettings final : SystemSettings {
  void openAccessibilitySettings() override {}
};

struct NoFileManager final : FileManager {
  void revealFile(const std::string&) override {}
};

struct NoLoginItems final : LoginItems {
  bool isEnabled() const override { return false; }
  std::optional<std::string> setEnabled(bool) override { return "synthetic world: nothing starts at login"; }
};

class NoAccessibility final : public Accessibility {
public:
  AXElementRef applicationElement(std::int32_t) const override { return nullptr; }
  bool setMessagingTimeout(const AXElementRef&, double) const override { return false; }
  bool setAttribute(const AXElementRef&, std::string_view, const AXValue&) const override { return false; }
  std::optional<AXValue> copyAttribute(const AXElementRef&, std::string_view) const override { return std::nullopt; }
  std::optional<std::vector<AXValue>> copyAttributes(const AXElementRef&,
                                                     const std::vector<std::string>&) const override {
    return std::nullopt;
  }
  std::optional<std::int32_t> elementPID(const AXElementRef&) const override { return std::nullopt; }
  bool sameElement(const AXElementRef& a, const AXElementRef& b) const override { return a == b; }
  std::size_t elementHash(const AXElementRef& element) const override {
    return std::hash<const AXElement*>()(element.get());
  }
  std::optional<std::vector<std::string>> actionNames(const AXElementRef&) const override { return std::nullopt; }
  bool performAction(const AXElementRef&, std::string_view) const override { return false; }
  bool isTrusted() const override { return false; }
  void requestTrust() const override {}
};

// The whole outside world of an app model, synthetic: one place for the
// previews and the built-in checks to take it from.
struct SyntheticWorld {
  MemoryPreferences preferences;
  MemoryClipboard clipboard;
  EmptyWorkspace workspace;
  NoSystemSettings systemSettings;
  NoAccessibility accessibility;
  SystemFileSystem fileSystem;

  // No bridge directory, home or executable: a model made with it is never started.
  AppEnvironment environment(const Clock& clock, TaskQueue& mainQueue) {
    return {clock,          mainQueue,     mainQueue,  preferences, clipboard, workspace,
            systemSettings, accessibility, fileSystem, "",          "",        std::nullopt};
  }
};

} // namespace notch
