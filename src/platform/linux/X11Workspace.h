#pragma once

// The Workspace of an X11 desktop with an EWMH window manager. An
// application is the set of managed top-level windows (_NET_CLIENT_LIST)
// announcing one identifier (_GTK_APPLICATION_ID, else the class part of
// WM_CLASS) and one process (_NET_WM_PID); several processes with the same
// identifier are several instances. It is active when one of its windows
// is _NET_ACTIVE_WINDOW, hidden when none of its windows is mapped and not
// minimised (windows it withdrew are remembered while they exist), and
// terminated once its process has ended.
//
// Two connections: queries (from any thread, one at a time under a lock,
// every step one round trip and every wait bounded by Limits::replyTimeout)
// and events, read on the workspace's own thread, which compares each new
// state with the last and posts each change once to the main queue.
// Applications are opened from desktop entries or executables, detached.
//
// Constructed and destroyed on the main queue; `runningApplications` from
// any thread. Without a display it reports nothing and refuses every request.

#include <memory>
#include <string>
#include <vector>

#include "platform/Workspace.h"
#include "support/TaskQueue.h"

namespace notch {

class X11Workspace final : public Workspace {
public:
  struct Limits {
    double replyTimeout = 0.5;     // longest wait for the X server in one call
    double refreshInterval = 1.0;  // rereads this often even without news, for processes that end unseen
    double launchTimeout = 2.0;    // longest wait for a launched program to be executed
    std::size_t mostWindows = 512; // windows read per query, listed and remembered together
  };
  struct Options {
    std::string display;                             // empty: $DISPLAY
    std::vector<std::string> applicationDirectories; // where desktop-entry ids are looked up
    Limits limits;
  };

  X11Workspace(TaskQueue& mainQueue, Options options);
  ~X11Workspace() override;
  X11Workspace(const X11Workspace&) = delete;
  X11Workspace& operator=(const X11Workspace&) = delete;

  // Whether the X server answered when the workspace was made.
  bool connected() const;

  std::vector<RunningApplication> runningApplications(std::string_view identifier) const override;
  bool activate(std::int32_t pid) override;
  bool unhide(std::int32_t pid) override;
  bool applicationExists(const std::string& location) const override;
  void openApplication(const std::string& location, OpenCompletion done) override;
  [[nodiscard]] Subscription observeApplications(std::function<void(const ApplicationChange&)> onChange) override;

private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

} // namespace notch
