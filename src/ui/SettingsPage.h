#pragma once

// The settings window's content as the app delegate shows it: the
// SettingsView for the app model in a vertical scroll area, so that every
// part stays reachable on a short screen. Holds nothing else. Main thread only.

#include <QScrollArea>

#include "ui/SettingsView.h"

namespace notch {

class SettingsPage : public QScrollArea {
public:
  SettingsPage(AppModel& model, SettingsEnvironment environment, QWidget* parent = nullptr);
  SettingsView* view() const { return view_; }

private:
  SettingsView* view_;
};

} // namespace notch
