#include "platform/qt/QtClipboard.h"

#include <QClipboard>
#include <QGuiApplication>

namespace notch {

void QtClipboard::setText(const std::string& text) {
  QString value = QString::fromStdString(text);
  QClipboard* clipboard = QGuiApplication::clipboard();
  clipboard->setText(value, QClipboard::Clipboard);
  // X11 also has the selection that a middle click pastes; keep both alike.
  if (clipboard->supportsSelection()) {
    clipboard->setText(value, QClipboard::Selection);
  }
}

} // namespace notch
