#pragma once

// The running applications: every running instance with a given identifier
// (the bundle identifier on macOS, the announced application id on Linux),
// each with its pid and whether it is active (in front), hidden or
// terminated; bringing one forward; opening an installed one; and the news
// of applications coming to the front, hiding and ending.
//
// `runningApplications` answers from any thread (the native monitor asks on
// its own queue); everything else is called on the main queue.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "support/ObserverList.h"

namespace notch {

struct RunningApplication {
  std::int32_t pid = 0;
  bool active = false;
  bool hidden = false;
  bool terminated = false;

  friend bool operator==(const RunningApplication&, const RunningApplication&) = default;
};

struct ApplicationChange {
  enum class Kind { activated, hidden, terminated };
  Kind kind = Kind::activated;
  std::int32_t pid = 0;
};

class Workspace {
public:
  // An error text, or nothing when the application opened.
  using OpenCompletion = std::function<void(const std::optional<std::string>& error)>;

  virtual ~Workspace() = default;
  virtual std::vector<RunningApplication> runningApplications(std::string_view identifier) const = 0;

  // Brings the application with this pid to the front, ignoring whichever
  // is in front now; false when the system refused.
  virtual bool activate(std::int32_t pid) = 0;
  // Shows a hidden application's windows again; false when the system refused.
  virtual bool unhide(std::int32_t pid) = 0;

  // Whether an application is installed at `location` (a bundle path on
  // macOS, a desktop entry or executable on Linux).
  virtual bool applicationExists(const std::string& location) const = 0;
  // Launches the application at `location`, or brings it forward when it
  // runs; `done` is called once, on any thread.
  virtual void openApplication(const std::string& location, OpenCompletion done) = 0;

  // `onChange` runs on the main queue whenever any application comes to the
  // front, hides or ends.
  [[nodiscard]] virtual Subscription observeApplications(std::function<void(const ApplicationChange&)> onChange) = 0;
};

} // namespace notch
