#include "ui/SettingsPage.h"

#include <QScrollBar>

#include "ui/SettingsWidgets.h"

namespace notch {

SettingsPage::SettingsPage(AppModel& model, SettingsEnvironment environment, QWidget* parent)
    : QScrollArea(parent), view_(new SettingsView(model, std::move(environment))) {
  setObjectName("settings-page");
  setFrameShape(QFrame::NoFrame);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setWidgetResizable(true);
  QPalette palette = this->palette();
  palette.setColor(QPalette::Window, SettingsColours::window());
  setPalette(palette);
  verticalScrollBar()->setStyleSheet(
      "QScrollBar:vertical { background: transparent; width: 10px; margin: 2px; }"
      "QScrollBar::handle:vertical { background: rgba(255,255,255,0.22); border-radius: 3px; min-height: 30px; }"
      "QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical { height: 0; }"
      "QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical { background: none; }");
  setWidget(view_);
}

} // namespace notch
