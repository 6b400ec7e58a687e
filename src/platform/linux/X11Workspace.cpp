#include "platform/linux/X11Workspace.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <thread>

#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>
#include <xcb/xcb_ewmh.h>

#include "platform/linux/DesktopEntry.h"
#include "platform/linux/DetachedLaunch.h"
#include "platform/linux/ProcessEnded.h"
#include "platform/linux/X11Connection.h"
#include "support/Clock.h"
#include "support/FileDescriptor.h"
#include "support/Pipe.h"

namespace notch {
namespace {

enum Atom { clientList, activeWindow, wmState, wmStateHidden, wmPid, gtkApplicationID, atomCount };
const std::vector<std::string> kAtomNames = {"_NET_CLIENT_LIST",     "_NET_ACTIVE_WINDOW", "_NET_WM_STATE",
                                             "_NET_WM_STATE_HIDDEN", "_NET_WM_PID",        "_GTK_APPLICATION_ID"};

// A top-level window that announces an application.
struct ClientWindow {
  xcb_window_t id = XCB_WINDOW_NONE;
  std::string identifier;
  std::int32_t pid = 0;
  bool managed = false; // in _NET_CLIENT_LIST; otherwise withdrawn by its application
  bool shown = false;   // managed, mapped and not minimised
};

struct Desktop {
  std::vector<ClientWindow> windows; // managed ones in _NET_CLIENT_LIST order, then withdrawn ones
  xcb_window_t active = XCB_WINDOW_NONE;
};

struct Application {
  std::string identifier;
  RunningApplication state;
};
using Applications = std::map<std::int32_t, Application>; // by pid

const std::uint8_t* propertyBytes(const xcb_get_property_reply_t* reply, int format) {
  if (reply == nullptr || reply->format != format || xcb_get_property_value_length(reply) <= 0) {
    return nullptr;
  }
  return static_cast<const std::uint8_t*>(xcb_get_property_value(reply));
}

std::size_t propertyCount(const xcb_get_property_reply_t* reply, int format) {
  return propertyBytes(reply, format) == nullptr
             ? 0
             : static_cast<std::size_t>(xcb_get_property_value_length(reply)) / static_cast<std::size_t>(format / 8);
}

std::vector<std::uint32_t> property32(const xcb_get_property_reply_t* reply) {
  const std::uint8_t* bytes = propertyBytes(reply, 32);
  std::vector<std::uint32_t> values(propertyCount(reply, 32));
  if (!values.empty()) {
    std::memcpy(values.data(), bytes, values.size() * sizeof(std::uint32_t));
  }
  return values;
}

std::string property8(const xcb_get_property_reply_t* reply) {
  const std::uint8_t* bytes = propertyBytes(reply, 8);
  return bytes == nullptr ? std::string() : std::string(reinterpret_cast<const char*>(bytes), propertyCount(reply, 8));
}

// The application id a window announces: _GTK_APPLICATION_ID, else the
// class (the second string) of WM_CLASS.
std::string identifierOf(const std::string& gtkApplicationID, const std::string& wmClass) {
  if (!gtkApplicationID.empty()) {
    return gtkApplicationID;
  }
  const auto instanceEnd = wmClass.find('\0');
  if (instanceEnd == std::string::npos) {
    return std::string();
  }
  const std::string rest = wmClass.substr(instanceEnd + 1);
  return rest.substr(0, rest.find('\0'));
}

Applications applicationsOf(const Desktop& desktop, std::optional<std::string_view> identifier) {
  Applications applications;
  std::map<std::int32_t, bool> anyShown;
  for (const ClientWindow& window : desktop.windows) {
    if (identifier && window.identifier != *identifier) {
      continue;
    }
    Application& application = applications[window.pid];
    application.identifier = window.identifier;
    application.state.pid = window.pid;
    application.state.active = application.state.active || window.id == desktop.active;
    anyShown[window.pid] = anyShown[window.pid] || window.shown;
  }
  for (auto& [pid, application] : applications) {
    application.state.hidden = !anyShown[pid];
    application.state.terminated = processHasEnded(pid);
  }
  return applications;
}

// What changed from `before` to `after`, each change once. An application
// that leaves the desktop has ended, or hid when its process lives on.
std::vector<ApplicationChange> changesBetween(const Applications& before, const Applications& after) {
  using Kind = ApplicationChange::Kind;
  std::vector<ApplicationChange> changes;
  for (const auto& [pid, application] : after) {
    const auto old = before.find(pid);
    const RunningApplication& now = application.state;
    const bool known = old != before.end();
    if (now.terminated) {
      if (!known || !old->second.state.terminated) {
        changes.push_back({Kind::terminated, pid});
      }
      continue;
    }
    if (now.active && (!known || !old->second.state.active)) {
      changes.push_back({Kind::activated, pid});
    }
    if (now.hidden && known && !old->second.state.hidden) {
      changes.push_back({Kind::hidden, pid});
    }
  }
  for (const auto& [pid, application] : before) {
    if (after.contains(pid) || application.state.terminated) {
      continue;
    }
    if (processHasEnded(pid)) {
      changes.push_back({Kind::terminated, pid});
    } else if (!application.state.hidden) {
      changes.push_back({Kind::hidden, pid});
    }
  }
  return changes;
}

bool isExecutable(const std::string& path) {
  struct stat status {};
  return ::stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

} // namespace

struct X11Workspace::Impl {
  Impl(TaskQueue& queue, Options given) : mainQueue(queue), options(std::move(given)) {}

  Desktop read() const;
  bool bringForward(std::int32_t pid);
  bool isManagedInTime(xcb_window_t window, double deadline) const;
  void startWatching();
  void watch();
  bool select(const Desktop& desktop, std::set<xcb_window_t>& selected) const;

  TaskQueue& mainQueue;
  const Options options;

  mutable std::mutex queryMutex; // guards `query` and `remembered`
  std::unique_ptr<X11Connection> query;
  std::vector<xcb_atom_t> atoms;             // fixed after construction
  mutable std::set<xcb_window_t> remembered; // windows that announced an application, while they exist

  // Main queue only; changes are posted there, where they hold it weakly.
  std::shared_ptr<ObserverList<const ApplicationChange&>> observers =
      std::make_shared<ObserverList<const ApplicationChange&>>();

  std::unique_ptr<X11Connection> events; // the watcher's alone
  FileDescriptor wakeRead;
  FileDescriptor wakeWrite;
  std::thread watcher;
};

Desktop X11Workspace::Impl::read() const {
  std::lock_guard guard(queryMutex);
  Desktop desktop;
  if (query == nullptr || query->failed()) {
    return desktop;
  }
  xcb_connection_t* c = query->get();
  const double deadline = uptimeNow() + options.limits.replyTimeout;
  const auto most = static_cast<std::uint32_t>(options.limits.mostWindows);
  const auto roots =
      query->replies({xcb_get_property(c, 0, query->root(), atoms[clientList], XCB_ATOM_WINDOW, 0, most).sequence,
                      xcb_get_property(c, 0, query->root(), atoms[activeWindow], XCB_ATOM_WINDOW, 0, 1).sequence},
                     deadline);
  const auto list = owned<xcb_get_property_reply_t>(roots[0]);
  const auto active = owned<xcb_get_property_reply_t>(roots[1]);
  if (const auto values = property32(active.get()); !values.empty()) {
    desktop.active = values[0];
  }
  const std::vector<std::uint32_t> managed = property32(list.get());
  std::vector<xcb_window_t> windows(managed.begin(), managed.end());
  for (const xcb_window_t window : remembered) {
    if (windows.size() < options.limits.mostWindows &&
        std::find(managed.begin(), managed.end(), window) == managed.end()) {
      windows.push_back(window);
    }
  }
  // Five requests per window, all sent before the first reply is awaited.
  constexpr std::size_t kPerWindow = 5;
  std::vector<unsigned> sequences;
  for (const xcb_window_t window : windows) {
    sequences.push_back(xcb_get_window_attributes(c, window).sequence);
    sequences.push_back(xcb_get_property(c, 0, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 0, 256).sequence);
    sequences.push_back(
        xcb_get_property(c, 0, window, atoms[gtkApplicationID], XCB_GET_PROPERTY_TYPE_ANY, 0, 64).sequence);
    sequences.push_back(xcb_get_property(c, 0, window, atoms[wmPid], XCB_ATOM_CARDINAL, 0, 1).sequence);
    sequences.push_back(xcb_get_property(c, 0, window, atoms[wmState], XCB_ATOM_ATOM, 0, 32).sequence);
  }
  const std::vector<void*> replies = query->replies(sequences, deadline);
  const bool allIn = uptimeNow() < deadline;
  for (std::size_t k = 0; k < windows.size(); ++k) {
    const auto attributes = owned<xcb_get_window_attributes_reply_t>(replies[k * kPerWindow]);
    const auto wmClass = owned<xcb_get_property_reply_t>(replies[k * kPerWindow + 1]);
    const auto gtkID = owned<xcb_get_property_reply_t>(replies[k * kPerWindow + 2]);
    const auto pid = owned<xcb_get_property_reply_t>(replies[k * kPerWindow + 3]);
    const auto state = owned<xcb_get_property_reply_t>(replies[k * kPerWindow + 4]);
    ClientWindow window;
    window.id = windows[k];
    window.identifier = identifierOf(property8(gtkID.get()), property8(wmClass.get()));
    const auto pids = property32(pid.get());
    window.pid = pids.empty() ? 0 : static_cast<std::int32_t>(pids[0]);
    if (attributes == nullptr || window.identifier.empty() || window.pid <= 0) {
      if (allIn) {
        remembered.erase(window.id); // destroyed, or announcing nothing any more
      }
      continue;
    }
    const auto states = property32(state.get());
    const bool minimised = std::find(states.begin(), states.end(), atoms[wmStateHidden]) != states.end();
    window.managed = k < managed.size();
    window.shown = window.managed && attributes->map_state != XCB_MAP_STATE_UNMAPPED && !minimised;
    remembered.insert(window.id);
    desktop.windows.push_back(std::move(window));
  }
  return desktop;
}

bool X11Workspace::Impl::bringForward(std::int32_t pid) {
  const Desktop desktop = read();
  std::vector<const ClientWindow*> own;
  for (const ClientWindow& window : desktop.windows) {
    if (window.pid == pid) {
      own.push_back(&window);
    }
  }
  if (own.empty()) {
    return false;
  }
  // The window in front, else one on screen, else a minimised one; withdrawn
  // windows are mapped again, and the window manager manages them anew.
  const auto rank = [&](const ClientWindow* window) {
    return window->id == desktop.active ? 0 : window->shown ? 1 : window->managed ? 2 : 3;
  };
  const ClientWindow* best =
      *std::min_element(own.begin(), own.end(), [&](auto* a, auto* b) { return rank(a) < rank(b); });
  std::lock_guard guard(queryMutex);
  if (query == nullptr || query->failed()) {
    return false;
  }
  xcb_connection_t* c = query->get();
  const double deadline = uptimeNow() + options.limits.replyTimeout;
  bool ok = true;
  for (const ClientWindow* window : own) {
    if (!window->managed) {
      ok = query->succeeded(xcb_map_window_checked(c, window->id).sequence, deadline) && ok;
    }
  }
  // A window mapped again comes back as its application last asked, which
  // may be minimised (Qt keeps the iconic initial state of an earlier
  // minimise): once managed, it is activated like the others.
  if (ok && (best->managed || isManagedInTime(best->id, deadline))) {
    // Source 2: a pager acting for the user, which focus-stealing
    // prevention lets through; the same message un-minimises.
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = best->id;
    message.type = atoms[activeWindow];
    message.data.data32[0] = XCB_EWMH_CLIENT_SOURCE_TYPE_OTHER;
    message.data.data32[1] = XCB_CURRENT_TIME;
    message.data.data32[2] = desktop.active;
    const auto sent = xcb_send_event_checked(c, 0, query->root(),
                                             XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                                             reinterpret_cast<const char*>(&message));
    ok = query->succeeded(sent.sequence, deadline);
  }
  return ok;
}

// Whether the window manager lists `window` by `deadline`; the query lock is held.
bool X11Workspace::Impl::isManagedInTime(xcb_window_t window, double deadline) const {
  for (;; std::this_thread::sleep_for(std::chrono::milliseconds(5))) {
    const auto sequence = xcb_get_property(query->get(), 0, query->root(), atoms[clientList], XCB_ATOM_WINDOW, 0,
                                           static_cast<std::uint32_t>(options.limits.mostWindows))
                              .sequence;
    const auto list = property32(owned<xcb_get_property_reply_t>(query->replies({sequence}, deadline)[0]).get());
    if (std::find(list.begin(), list.end(), window) != list.end()) {
      return true;
    }
    if (uptimeNow() >= deadline) {
      return false;
    }
  }
}

void X11Workspace::Impl::startWatching() {
  events = X11Connection::open(options.display);
  int fds[2];
  if (events == nullptr || !makeNonBlockingPipe(fds)) {
    events.reset();
    return;
  }
  wakeRead.reset(fds[0]);
  wakeWrite.reset(fds[1]);
  const std::uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
  xcb_change_window_attributes(events->get(), events->root(), XCB_CW_EVENT_MASK, &mask);
  xcb_flush(events->get());
  watcher = std::thread([this] { watch(); });
}

// Asks for news of each window of `desktop` not yet watched; true when there
// were such windows.
bool X11Workspace::Impl::select(const Desktop& desktop, std::set<xcb_window_t>& selected) const {
  bool added = false;
  std::set<xcb_window_t> now;
  for (const ClientWindow& window : desktop.windows) {
    now.insert(window.id);
    if (!selected.contains(window.id)) {
      const std::uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE | XCB_EVENT_MASK_STRUCTURE_NOTIFY;
      xcb_change_window_attributes(events->get(), window.id, XCB_CW_EVENT_MASK, &mask);
      added = true;
    }
  }
  xcb_flush(events->get());
  selected = std::move(now);
  return added;
}

void X11Workspace::Impl::watch() {
  std::set<xcb_window_t> selected;
  Desktop desktop = read();
  Applications previous = applicationsOf(desktop, std::nullopt);
  const auto isNews = [this](const xcb_generic_event_t* event) {
    switch (event->response_type & 0x7f) {
    case XCB_PROPERTY_NOTIFY: {
      const xcb_atom_t atom = reinterpret_cast<const xcb_property_notify_event_t*>(event)->atom;
      return atom == atoms[clientList] || atom == atoms[activeWindow] || atom == atoms[wmState];
    }
    case XCB_MAP_NOTIFY:
    case XCB_UNMAP_NOTIFY:
    case XCB_DESTROY_NOTIFY:
      return true;
    default:
      return false;
    }
  };
  const int refresh = static_cast<int>(options.limits.refreshInterval * 1000);
  // A window that changed between the read that found it and the request
  // for its news would go unseen: after new windows, read once more.
  bool news = select(desktop, selected);
  for (;;) {
    // Events xcb took off the socket already (while sending) do not wake a poll.
    while (xcb_generic_event_t* event = xcb_poll_for_queued_event(events->get())) {
      news = isNews(event) || news;
      std::free(event);
    }
    if (!news) {
      pollfd entries[2] = {{xcb_get_file_descriptor(events->get()), POLLIN, 0}, {wakeRead.get(), POLLIN, 0}};
      const int ready = ::poll(entries, 2, refresh);
      if (entries[1].revents != 0) {
        return; // the workspace is going
      }
      news = ready == 0;
      while (xcb_generic_event_t* event = xcb_poll_for_event(events->get())) {
        news = isNews(event) || news;
        std::free(event);
      }
    }
    if (events->failed()) {
      return; // the X server is gone: nothing more will change
    }
    if (!news) {
      continue;
    }
    desktop = read();
    Applications current = applicationsOf(desktop, std::nullopt);
    const std::vector<ApplicationChange> changes = changesBetween(previous, current);
    previous = std::move(current);
    news = select(desktop, selected);
    if (!changes.empty()) {
      mainQueue.post([weak = std::weak_ptr(observers), changes] {
        for (const ApplicationChange& change : changes) {
          if (const auto list = weak.lock()) {
            list->notify(change);
          }
        }
      });
    }
  }
}

X11Workspace::X11Workspace(TaskQueue& mainQueue, Options options)
    : impl_(std::make_unique<Impl>(mainQueue, std::move(options))) {
  impl_->query = X11Connection::open(impl_->options.display);
  if (impl_->query == nullptr) {
    return;
  }
  impl_->atoms = impl_->query->atoms(kAtomNames, uptimeNow() + impl_->options.limits.replyTimeout);
  if (std::count(impl_->atoms.begin(), impl_->atoms.end(), xcb_atom_t{XCB_ATOM_NONE}) > 0) {
    impl_->query.reset(); // a server this slow to answer is no desktop to work with
    return;
  }
  impl_->startWatching();
}

X11Workspace::~X11Workspace() {
  if (impl_->watcher.joinable()) {
    const char wake = 1;
    (void)!::write(impl_->wakeWrite.get(), &wake, 1);
    impl_->watcher.join();
  }
}

bool X11Workspace::connected() const { return impl_->query != nullptr; }

std::vector<RunningApplication> X11Workspace::runningApplications(std::string_view identifier) const {
  std::vector<RunningApplication> running;
  for (const auto& [pid, application] : applicationsOf(impl_->read(), identifier)) {
    running.push_back(application.state);
  }
  return running;
}

bool X11Workspace::activate(std::int32_t pid) { return impl_->bringForward(pid); }

bool X11Workspace::unhide(std::int32_t pid) { return impl_->bringForward(pid); }

bool X11Workspace::applicationExists(const std::string& location) const {
  if (location.ends_with(".desktop")) {
    return findDesktopEntry(location, impl_->options.applicationDirectories).has_value();
  }
  return !location.empty() && location.front() == '/' && isExecutable(location);
}

void X11Workspace::openApplication(const std::string& location, OpenCompletion done) {
  const auto finish = [this, &done](std::optional<std::string> error) {
    impl_->mainQueue.post([done = std::move(done), error = std::move(error)] { done(error); });
  };
  std::vector<std::string> arguments{location};
  std::vector<std::string> identifiers;
  if (location.ends_with(".desktop")) {
    const auto entry = findDesktopEntry(location, impl_->options.applicationDirectories);
    if (!entry) {
      return finish("no application is installed as " + location);
    }
    const auto split = splitExecLine(entry->exec);
    if (!split) {
      return finish("the command line of " + entry->path + " cannot be read");
    }
    arguments = *split;
    const std::string name = entry->path.substr(entry->path.rfind('/') + 1);
    identifiers = {entry->startupWMClass, name.substr(0, name.size() - std::strlen(".desktop"))};
  } else if (location.empty() || location.front() != '/' || !isExecutable(location)) {
    return finish("no application is installed at " + location);
  }
  for (const ClientWindow& window : impl_->read().windows) {
    if (std::find(identifiers.begin(), identifiers.end(), window.identifier) != identifiers.end()) {
      return finish(impl_->bringForward(window.pid)
                        ? std::nullopt
                        : std::optional<std::string>("cannot bring " + location + " forward"));
    }
  }
  finish(launchDetached(arguments, impl_->options.limits.launchTimeout));
}

Subscription X11Workspace::observeApplications(std::function<void(const ApplicationChange&)> onChange) {
  return impl_->observers->add(std::move(onChange));
}

} // namespace notch
