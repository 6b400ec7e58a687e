#pragma once

// The notch app on a test desktop, driven as a user drives it: started
// with a home directory of the test's, its content read through the
// accessibility bus (as a screen reader reads it, with positions on the
// screen), real pointer clicks, and permission requests fired through the
// installed hook as WorkBuddy fires them. Shared by the desktop tests and
// the app's benchmark.

#include <functional>
#include <future>
#include <optional>
#include <string>
#include <vector>

#include <sys/types.h>

#include "platform/Accessibility.h"

namespace notch::testing {

void pause(double seconds);
// Polls `condition` every 20 ms for up to `seconds`.
bool eventually(const std::function<bool()>& condition, double seconds = 10);

// VantrelNotch started as the desktop starts it, with HOME set to `home`.
class NotchApp {
public:
  explicit NotchApp(const std::string& home, const std::vector<std::string>& arguments = {});
  ~NotchApp(); // kills it if it still runs
  NotchApp(const NotchApp&) = delete;
  NotchApp& operator=(const NotchApp&) = delete;

  // The exit status once it ended; -1 after a signal or when still running after `seconds`.
  int exitStatus(double seconds);

  pid_t pid = -1;
};

// One element the notch shows that has a text.
struct Shown {
  std::string text;
  double x = 0, y = 0, width = 0, height = 0;
  bool enabled = false;
  double centreX() const { return x + width / 2; }
  double centreY() const { return y + height / 2; }
};

std::vector<Shown> shownBy(const Accessibility& accessibility, pid_t pid);
std::optional<Shown> find(const Accessibility& accessibility, pid_t pid, const std::string& text);
std::optional<Shown> awaitShown(const Accessibility& accessibility, pid_t pid, const std::string& text,
                                double seconds = 10);

// Moves the pointer there and clicks `button`.
bool click(double x, double y, int button = 1);
// The notch panel's height on the X server (-1 when it is not there).
int panelHeight();

// A Bash permission request for `command`, fired through the hook installed
// in `home`; resolves to "<status>|<what WorkBuddy then did>\n" ("allow",
// "deny" or "ask").
std::future<std::string> fire(const std::string& home, const std::string& command);
bool ended(std::future<std::string>& hook);

} // namespace notch::testing
