#pragma once

// The settings window's questions before it writes WorkBuddy's
// configuration: what the confirmation says, which button goes ahead, and
// the optional preview of what will be written. Who answers is injected:
// the running app asks the user in a modal alert; tests answer in the
// user's place, so that no test ever waits for a person. Main thread only.

#include <functional>
#include <memory>
#include <optional>
#include <string>

class QMessageBox;
class QWidget;

namespace notch {

struct Confirmation {
  std::string message;
  std::string informativeText;
  std::string confirmButton; // the first button, which goes ahead
  std::string cancelButton = "取消";
  std::optional<std::string> preview; // shown read-only, monospaced, scrollable
};

struct SettingsConfirmations {
  // True when the user chose `confirmButton`. Empty: the modal alert below.
  std::function<bool(const Confirmation&)> confirm;
};

// The alert for `confirmation`, built but not shown: the preview sits in a
// 490 × 250 read-only monospaced box between the texts and the buttons.
std::unique_ptr<QMessageBox> confirmationAlert(const Confirmation& confirmation, QWidget* parent);

// Shows that alert modally over `parent`; true for the first button.
bool confirmInAlert(const Confirmation& confirmation, QWidget* parent);

} // namespace notch
