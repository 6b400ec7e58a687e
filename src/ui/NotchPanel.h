#pragma once

// The notch's window: frameless, above other windows and the desktop's
// panels, on every workspace, without a taskbar or task-switcher entry and
// without a shadow. Showing it never takes the keyboard from the user's
// window; a click into it does (so that Escape reaches it). Its only
// content is the viewport, which fills it and gives it the notch's shape.

#include <QWidget>

#include <functional>

namespace notch {

class NotchViewport;

class NotchPanel final : public QWidget {
public:
  NotchPanel();

  void setViewport(NotchViewport* viewport);
  NotchViewport* viewport() const { return viewport_; }

  // Shows the panel (if hidden) and raises it, leaving the focus where it is.
  void bringToFront();
  // Remembers which window has the keyboard, before a click into the panel takes it.
  void keepKeyboardOwner();
  // Gives the keyboard back to the window that had it.
  void resignKey();

protected:
  void resizeEvent(QResizeEvent* event) override;

private:
  NotchViewport* viewport_ = nullptr;
  unsigned long previousKeyboardOwner_ = 0;
};

// What the window system needs beyond Qt's flags (per system,
// PanelWindowTraits*.cpp): keeping the panel on every workspace and out of
// the task lists, and handing the keyboard back to the window that had it
// before the user clicked into the panel.
void pinPanelToEveryWorkspace(QWidget& panel);
// The window that has the keyboard now, if it is another application's (else 0).
unsigned long foreignActiveWindow();
// Gives the keyboard to `preferred` while it exists, else to the topmost
// window of another application.
void returnKeyboard(unsigned long preferred);

} // namespace notch
