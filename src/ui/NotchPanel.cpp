#include "ui/NotchPanel.h"

#include "ui/NotchViewport.h"

namespace notch {

NotchPanel::NotchPanel()
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::NoDropShadowWindowHint) {
  setAttribute(Qt::WA_ShowWithoutActivating);
  setWindowTitle("Vantrel Dozer");
  setMouseTracking(true);
}

void NotchPanel::setViewport(NotchViewport* viewport) {
  viewport_ = viewport;
  viewport_->setParent(this);
  viewport_->setGeometry(rect());
}

void NotchPanel::bringToFront() {
  if (!isVisible()) {
    show();
    pinPanelToEveryWorkspace(*this);
  }
  raise();
}

void NotchPanel::keepKeyboardOwner() {
  const unsigned long owner = activeWindow();
  if (owner != 0 && owner != winId()) {
    previousKeyboardOwner_ = owner;
  }
}

void NotchPanel::resignKey() {
  if (isActiveWindow() && previousKeyboardOwner_ != 0) {
    giveKeyboardTo(previousKeyboardOwner_);
  }
}

void NotchPanel::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  if (viewport_ != nullptr) {
    viewport_->setGeometry(rect());
  }
}

} // namespace notch
