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
  if (const unsigned long owner = foreignActiveWindow(); owner != 0) {
    previousKeyboardOwner_ = owner;
  }
}

void NotchPanel::resignKey() {
  if (isActiveWindow()) {
    returnKeyboard(previousKeyboardOwner_);
  }
}

void NotchPanel::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  if (viewport_ != nullptr) {
    viewport_->setGeometry(rect());
  }
}

} // namespace notch
