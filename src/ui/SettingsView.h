#pragma once

// The settings window's content: the notch's switches (bound to the
// preferences, written at once, and the running model told), the
// accessibility and turn-end status from the app model, and the one place
// where the user installs, updates, inspects or removes the app's hooks in
// WorkBuddy's settings.json. Every write goes through HookInstaller after a
// confirmation; every failure ends in the result line, never in an
// exception, and the status is read again so that it shows the file as it
// now is. An unreadable configuration disables installing rather than
// offering to overwrite it.
//
// The approval hook is inspected, installed and removed on the main thread
// inside the confirmation flow; the turn-end hooks are written on the work
// queue, one operation at a time (`busy`), and the outcome applied back on
// the main queue. The install lock of the settings layer still guards
// against a configuration run from the command line at the same moment.
//
// Main thread only. The model and everything in the environment outlive it.

#include <QWidget>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/config/FileSystem.h"
#include "core/config/SettingsHookConfiguration.h"
#include "core/config/TargetApplicationProfile.h"
#include "support/ObserverList.h"
#include "ui/SettingsConfirmations.h"

class QAbstractButton;
class QComboBox;
class QHBoxLayout;
class QLabel;
class QVBoxLayout;

namespace notch {

class AppModel;
class FileManager;
class LoginItems;
class NotchActionButton;
class NotchIcon;
class Preferences;
class SettingsSwitch;
class TaskQueue;

struct SettingsEnvironment {
  Preferences& preferences;
  TaskQueue& mainQueue;
  TaskQueue& workQueue; // the turn-end operations run here, off the main thread
  const FileSystem& fileSystem;
  FileManager& fileManager;
  LoginItems& loginItems;
  std::string homeDirectory;
  // The public VantrelNotch that hook commands name; nullopt: nothing can be installed.
  std::optional<std::string> executablePath;
  SettingsConfirmations confirmations; // empty: modal alerts over the window
};

class SettingsView : public QWidget {
public:
  SettingsView(AppModel& model, SettingsEnvironment environment, QWidget* parent = nullptr);
  ~SettingsView() override;

  // Reads the selected edition's configuration again ("刷新状态").
  void refreshApprovalStatus();
  void selectProfile(TargetApplicationProfile profile);

  TargetApplicationProfile profile() const { return profile_; }
  const SettingsHookConfiguration& configuration() const { return configuration_; }
  const std::optional<std::string>& result() const { return result_; }
  bool operationFailed() const { return operationFailed_; }
  const std::optional<std::string>& backupPath() const { return backupPath_; }
  bool busy() const { return busy_; }

protected:
  // Each time the window opens: the status of the files and of the login item as they are now.
  void showEvent(QShowEvent* event) override;

private:
  struct Toggle {
    const char* key;
    SettingsSwitch* control;
  };
  struct CompletionOutcome {
    std::optional<std::string> backup;
    std::string error;
  };

  // The seven parts, top to bottom (SettingsSections.cpp).
  void buildHeader(QVBoxLayout* column);
  void buildInteraction(QVBoxLayout* column);
  void buildNative(QVBoxLayout* column);
  void buildCompletion(QVBoxLayout* column);
  void buildApproval(QVBoxLayout* column);
  void buildResult(QVBoxLayout* column);
  void buildQuit(QVBoxLayout* column);
  // A switch bound to preference `key`, with its title and explanations under it.
  void addToggle(QVBoxLayout* layout, const char* key, const QString& title, const QStringList& explanations);
  QHBoxLayout* buttonRow(std::initializer_list<QWidget*> buttons);

  bool writePreference(const char* key, bool value);
  void preferenceChanged();
  void setLoginItem(bool enabled);
  void installApprovalHook();
  void removeApprovalHook();
  void runCompletionOperation(bool install);
  void finishCompletionOperation(bool install, const CompletionOutcome& outcome);
  void revealBackup();
  bool confirm(const Confirmation& confirmation);
  std::string settingsPath(TargetApplicationProfile profile) const;
  void render();

  AppModel& model_;
  SettingsEnvironment environment_;
  TargetApplicationProfile profile_ = TargetApplicationProfile::workbuddy;
  SettingsHookConfiguration configuration_{SettingsHookConfiguration::State::checking, "正在读取所选版本的配置…",
                                           std::nullopt};
  std::optional<std::string> result_;
  bool operationFailed_ = false;
  std::optional<std::string> backupPath_;
  bool busy_ = false;
  std::optional<std::string> loginItemProblem_;
  // Work handed to the work queue checks this before touching the view.
  std::shared_ptr<int> alive_ = std::make_shared<int>(0);

  std::vector<Toggle> toggles_;
  SettingsSwitch* loginSwitch_ = nullptr;
  QLabel* loginNote_ = nullptr;
  QLabel* accessStatus_ = nullptr;
  QLabel* completionStatus_ = nullptr;
  NotchActionButton* completionInstall_ = nullptr;
  NotchActionButton* completionRemove_ = nullptr;
  QComboBox* picker_ = nullptr;
  QLabel* configFile_ = nullptr;
  NotchIcon* statusIcon_ = nullptr;
  QLabel* statusLabel_ = nullptr;
  QLabel* statusDetail_ = nullptr;
  QLabel* interceptNote_ = nullptr;
  NotchActionButton* install_ = nullptr;
  QWidget* resultRow_ = nullptr;
  NotchIcon* resultIcon_ = nullptr;
  QLabel* resultText_ = nullptr;
  QAbstractButton* revealBackup_ = nullptr;
  Subscription modelChanges_;
  Subscription preferenceChanges_;
};

} // namespace notch
