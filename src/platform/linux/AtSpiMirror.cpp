#include "platform/linux/AtSpiMirror.h"

#include "platform/linux/AtSpiNodeReader.h"
#include "support/Clock.h"
#include "support/FileDescriptor.h"
#include "support/Pipe.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <limits>
#include <map>
#include <mutex>
#include <set>
#include <system_error>
#include <thread>

#include <poll.h>
#include <unistd.h>

namespace notch {
namespace {

// Seconds from now until the uptime `when`, for condition waits.
std::chrono::duration<double> until(double when) {
  return std::chrono::duration<double>(std::max(0.0, when - uptimeNow()));
}

constexpr const char* kRegistry = "org.a11y.atspi.Registry";
constexpr const char* kEventObject = "org.a11y.atspi.Event.Object";
// The events that can change what a node answers. Qt announces a new
// widget only through these (state and name changes of the new nodes).
constexpr const char* kEvents[] = {"object:state-changed", "object:property-change", "object:children-changed"};
// How far up an unknown node's parents are followed to a copied one.
constexpr int kMostUnknownAncestors = 40;

struct AppCopy {
  std::int32_t pid = 0;
  bool watched = false;
  bool synced = false;
  double nextSync = 0;           // a failed copy is not tried again before this
  bool changedSinceSync = false; // events came, or a window changed its size
  AtSpiTree nodes;
};

// Every path at and below `path` in `nodes`.
std::vector<std::string> subtreeOf(const AtSpiTree& nodes, const std::string& path) {
  std::vector<std::string> found;
  std::vector<std::string> pending{path};
  while (!pending.empty() && found.size() <= nodes.size()) {
    std::string next = std::move(pending.back());
    pending.pop_back();
    const auto node = nodes.find(next);
    if (node == nodes.end()) {
      continue;
    }
    pending.insert(pending.end(), node->second.children.begin(), node->second.children.end());
    found.push_back(std::move(next));
  }
  return found;
}

// The first string argument of a signal (an event's detail).
std::string signalDetail(DBusMessage* message) {
  DBusMessageIter iter;
  if (!dbus_message_iter_init(message, &iter) || dbus_message_iter_get_arg_type(&iter) != DBUS_TYPE_STRING) {
    return {};
  }
  const char* detail = nullptr;
  dbus_message_iter_get_basic(&iter, &detail);
  return detail != nullptr ? detail : "";
}

bool changesWhatIsRead(const std::string& member, const std::string& detail) {
  if (member == "ChildrenChanged") {
    return true;
  }
  if (member == "PropertyChange") {
    return detail == "accessible-name" || detail == "accessible-description" || detail == "accessible-parent";
  }
  if (member == "StateChanged") {
    return detail == "showing" || detail == "visible" || detail == "enabled" || detail == "sensitive" ||
           detail == "iconified" || detail == "active" || detail == "defunct";
  }
  return false;
}

} // namespace

struct AtSpiMirror::Impl {
  explicit Impl(Limits chosen) : limits(chosen) {}

  const Limits limits;

  mutable std::mutex mutex; // guards everything down to `callerMutex`
  std::condition_variable wake;
  bool stopping = false;
  bool connectAttempted = false;
  bool connected = false;
  bool enabled = false;
  double trustAnsweredAt = -std::numeric_limits<double>::infinity();
  bool trustWanted = true;
  bool enableWanted = false;
  bool discoveryWanted = false;
  bool eventsEnded = false;
  bool resyncSoon = false;
  std::map<std::string, AppCopy> apps; // by connection name
  std::map<std::int32_t, std::string> busByPid;
  std::map<std::string, std::set<std::string>> dirty;

  std::mutex callerMutex; // guards `callerLink`
  std::unique_ptr<DBusLink> callerLink;

  // The worker's own; `eventsLink` belongs to the event thread while it runs.
  std::unique_ptr<DBusLink> sessionLink;
  std::unique_ptr<DBusLink> workerLink;
  std::unique_ptr<DBusLink> eventsLink;
  std::atomic<bool> eventsStop{false};
  FileDescriptor stopRead; // a byte written to stopWrite ends the event thread's wait
  FileDescriptor stopWrite;
  std::thread events;
  std::thread worker;

  void run();
  bool connect();
  void disconnect();
  void receiveEvents();
  std::optional<bool> askEnabled();
  void setEnabled();
  void discover();
  void sync(const std::string& bus);
  void refreshDirty(const std::string& bus, const std::set<std::string>& paths);
  void refreshNode(const std::string& bus, const std::string& path, int depth);
  // The copied tree of `bus`, or nullptr; `mutex` held.
  AtSpiTree* copyOf(const std::string& bus) {
    const auto app = apps.find(bus);
    return app != apps.end() && app->second.synced ? &app->second.nodes : nullptr;
  }
  const AtSpiTree* copyOf(const std::string& bus) const {
    const auto app = apps.find(bus);
    return app != apps.end() && app->second.synced ? &app->second.nodes : nullptr;
  }
  bool isCopied(const std::string& bus, const std::string& path) const {
    std::lock_guard lock(mutex);
    const auto app = apps.find(bus);
    return app != apps.end() && app->second.nodes.contains(path);
  }
};

void AtSpiMirror::Impl::run() {
  double nextConnect = 0;
  double nextResync = uptimeNow() + limits.resyncInterval;
  std::unique_lock lock(mutex);
  while (!stopping) {
    const double now = uptimeNow();
    if (eventsEnded) {
      eventsEnded = false;
      connected = false;
      lock.unlock();
      disconnect();
      lock.lock();
      continue;
    }
    if (!connected && now >= nextConnect) {
      lock.unlock();
      const bool ok = connect();
      lock.lock();
      connected = ok;
      connectAttempted = true;
      nextConnect = ok ? now : now + limits.reconnectDelay;
      trustWanted = true;
      wake.notify_all();
      continue;
    }
    if (trustWanted || enableWanted) {
      const bool enable = std::exchange(enableWanted, false);
      trustWanted = false;
      lock.unlock();
      if (enable) {
        setEnabled();
      }
      const auto answer = askEnabled();
      lock.lock();
      enabled = answer.value_or(false);
      trustAnsweredAt = uptimeNow();
      wake.notify_all();
      continue;
    }
    if (!connected) {
      wake.wait_for(lock, until(nextConnect));
      continue;
    }
    if (discoveryWanted) {
      discoveryWanted = false;
      lock.unlock();
      discover();
      lock.lock();
      wake.notify_all();
      continue;
    }
    const auto unsynced = std::find_if(apps.begin(), apps.end(), [&](const auto& app) {
      return app.second.watched && !app.second.synced && now >= app.second.nextSync;
    });
    if (unsynced != apps.end()) {
      const std::string bus = unsynced->first;
      lock.unlock();
      sync(bus);
      lock.lock();
      continue;
    }
    // Changes to a tree still being copied wait for the copy.
    const auto ready = [&](const auto& entry) { return copyOf(entry.first) != nullptr; };
    if (std::any_of(dirty.begin(), dirty.end(), ready)) {
      // Gather what one change sends (one event per node of a card).
      lock.unlock();
      std::this_thread::sleep_for(std::chrono::duration<double>(limits.eventDebounce));
      lock.lock();
      std::map<std::string, std::set<std::string>> taken;
      for (auto entry = dirty.begin(); entry != dirty.end();) {
        if (ready(*entry)) {
          taken.insert(dirty.extract(entry++));
        } else {
          ++entry;
        }
      }
      lock.unlock();
      for (const auto& [bus, paths] : taken) {
        refreshDirty(bus, paths);
      }
      lock.lock();
      continue;
    }
    if (resyncSoon) {
      resyncSoon = false;
      nextResync = std::min(nextResync, now + limits.resizeSettle);
    }
    if (now >= nextResync) {
      nextResync = now + limits.resyncInterval;
      // Only a tree that changed can have changed in a way no event told:
      // an idle application in the background costs nothing between polls.
      std::vector<std::string> watched;
      for (auto& [bus, app] : apps) {
        if (app.watched && app.changedSinceSync) {
          watched.push_back(bus);
        }
      }
      lock.unlock();
      discover();
      for (const std::string& bus : watched) {
        sync(bus);
      }
      lock.lock();
      continue;
    }
    double nextWake = nextResync;
    for (const auto& [bus, app] : apps) {
      if (app.watched && !app.synced) {
        nextWake = std::min(nextWake, app.nextSync);
      }
    }
    wake.wait_for(lock, until(nextWake));
  }
}

bool AtSpiMirror::Impl::connect() {
  std::string error;
  if (!sessionLink || !sessionLink->connected()) {
    sessionLink = DBusLink::openSession(limits.connectTimeoutMs, error);
  }
  std::string address;
  if (const char* given = std::getenv("AT_SPI_BUS_ADDRESS"); given != nullptr && *given != '\0') {
    address = given;
  } else if (sessionLink) {
    address = dbusmessage::readString(sessionLink->call(dbusmessage::methodCall("org.a11y.Bus", "/org/a11y/bus",
                                                                                "org.a11y.Bus", "GetAddress"),
                                                        limits.connectTimeoutMs))
                  .value_or("");
  }
  if (address.empty()) {
    return false;
  }
  auto forWorker = DBusLink::open(address, limits.connectTimeoutMs, error);
  auto caller = forWorker ? DBusLink::open(address, limits.connectTimeoutMs, error) : nullptr;
  auto listener = caller ? DBusLink::open(address, limits.connectTimeoutMs, error) : nullptr;
  if (!listener) {
    return false;
  }
  DBusError failure;
  dbus_error_init(&failure);
  dbus_bus_add_match(listener->connection(), "type='signal',interface='org.a11y.atspi.Event.Object'", &failure);
  if (dbus_error_is_set(&failure)) {
    dbus_error_free(&failure);
    return false;
  }
  // Toolkits send events only while someone has registered for them.
  for (const char* event : kEvents) {
    DBusMessagePtr call = dbusmessage::methodCall(kRegistry, "/org/a11y/atspi/registry", kRegistry, "RegisterEvent");
    DBusMessageIter iter;
    DBusMessageIter properties;
    dbus_message_iter_init_append(call.get(), &iter);
    dbus_message_iter_append_basic(&iter, DBUS_TYPE_STRING, &event);
    dbus_message_iter_open_container(&iter, DBUS_TYPE_ARRAY, "s", &properties);
    dbus_message_iter_close_container(&iter, &properties);
    const char* everyApplication = "";
    dbus_message_iter_append_basic(&iter, DBUS_TYPE_STRING, &everyApplication);
    listener->call(std::move(call), limits.connectTimeoutMs);
  }
  workerLink = std::move(forWorker);
  {
    std::lock_guard lock(callerMutex);
    callerLink = std::move(caller);
  }
  eventsLink = std::move(listener);
  eventsStop = false;
  events = std::thread([this] { receiveEvents(); });
  return true;
}

void AtSpiMirror::Impl::disconnect() {
  eventsStop = true;
  const char stop = 0;
  [[maybe_unused]] const auto written = ::write(stopWrite.get(), &stop, 1);
  if (events.joinable()) {
    events.join();
  }
  eventsLink.reset();
  workerLink.reset();
  std::lock_guard lock(callerMutex);
  callerLink.reset();
}

// Sleeps in poll until the bus sends something or the mirror stops: an idle
// desktop costs this thread nothing.
void AtSpiMirror::Impl::receiveEvents() {
  DBusConnection* connection = eventsLink->connection();
  int socket = -1;
  dbus_connection_get_unix_fd(connection, &socket);
  char drained[64];
  while (::read(stopRead.get(), drained, sizeof drained) > 0) {
  }
  while (!eventsStop) {
    // Reads what has arrived, without waiting; false once the bus is gone.
    if (!dbus_connection_read_write(connection, 0)) {
      break;
    }
    while (DBusMessage* raw = dbus_connection_pop_message(connection)) {
      DBusMessagePtr message(raw);
      if (dbus_message_get_type(raw) != DBUS_MESSAGE_TYPE_SIGNAL || !dbus_message_has_interface(raw, kEventObject)) {
        continue;
      }
      const char* sender = dbus_message_get_sender(raw);
      const char* path = dbus_message_get_path(raw);
      const char* member = dbus_message_get_member(raw);
      if (sender == nullptr || path == nullptr || member == nullptr || !changesWhatIsRead(member, signalDetail(raw))) {
        continue;
      }
      std::lock_guard lock(mutex);
      const auto app = apps.find(sender);
      if (app != apps.end() && app->second.watched) {
        app->second.changedSinceSync = true;
        dirty[sender].insert(path);
        wake.notify_all();
      }
    }
    pollfd waits[2] = {{socket, POLLIN, 0}, {stopRead.get(), POLLIN, 0}};
    if (::poll(waits, 2, -1) < 0 && errno != EINTR) {
      break;
    }
  }
  std::lock_guard lock(mutex);
  if (!eventsStop) {
    eventsEnded = true; // the bus went away: connect again
    wake.notify_all();
  }
}

std::optional<bool> AtSpiMirror::Impl::askEnabled() {
  if (!sessionLink) {
    return std::nullopt;
  }
  return dbusmessage::readVariantBool(
      sessionLink->call(dbusmessage::propertyGet("org.a11y.Bus", "/org/a11y/bus", "org.a11y.Status", "IsEnabled"),
                        limits.connectTimeoutMs));
}

void AtSpiMirror::Impl::setEnabled() {
  if (!sessionLink) {
    return;
  }
  DBusMessagePtr call =
      dbusmessage::methodCall("org.a11y.Bus", "/org/a11y/bus", "org.freedesktop.DBus.Properties", "Set");
  DBusMessageIter iter;
  DBusMessageIter variant;
  const char* interface = "org.a11y.Status";
  const char* property = "IsEnabled";
  const dbus_bool_t on = TRUE;
  dbus_message_iter_init_append(call.get(), &iter);
  dbus_message_iter_append_basic(&iter, DBUS_TYPE_STRING, &interface);
  dbus_message_iter_append_basic(&iter, DBUS_TYPE_STRING, &property);
  dbus_message_iter_open_container(&iter, DBUS_TYPE_VARIANT, "b", &variant);
  dbus_message_iter_append_basic(&variant, DBUS_TYPE_BOOLEAN, &on);
  dbus_message_iter_close_container(&iter, &variant);
  sessionLink->call(std::move(call), limits.connectTimeoutMs);
}

// Every registered application with its pid.
void AtSpiMirror::Impl::discover() {
  const auto registered = dbusmessage::readObjects(
      workerLink->call(dbusmessage::methodCall(kRegistry, atSpiRootPath, "org.a11y.atspi.Accessible", "GetChildren"),
                       limits.workerCallTimeoutMs));
  if (!registered) {
    return;
  }
  std::vector<DBusMessagePtr> calls;
  for (const AtSpiObject& application : *registered) {
    calls.push_back(dbusmessage::methodCall("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                                            "GetConnectionUnixProcessID"));
    dbusmessage::appendString(calls.back().get(), application.bus.c_str());
  }
  const auto replies = workerLink->callAll(std::move(calls), limits.workerCallTimeoutMs);
  std::map<std::int32_t, std::string> found;
  for (std::size_t i = 0; i < replies.size(); ++i) {
    if (const auto pid = dbusmessage::readUint32(replies[i])) {
      found[static_cast<std::int32_t>(*pid)] = (*registered)[i].bus;
    }
  }
  std::lock_guard lock(mutex);
  busByPid = std::move(found);
  // An application that left the bus takes its copy with it.
  std::erase_if(apps, [&](const auto& app) {
    return std::none_of(busByPid.begin(), busByPid.end(), [&](const auto& entry) { return entry.second == app.first; });
  });
}

void AtSpiMirror::Impl::sync(const std::string& bus) {
  AtSpiNodeReader reader(*workerLink, bus, limits.workerCallTimeoutMs);
  AtSpiTree fresh;
  std::vector<std::string> unanswered;
  const bool whole = reader.readSubtrees({{atSpiRootPath, ""}}, fresh, limits.nodeBudget, &unanswered);
  std::lock_guard lock(mutex);
  const auto app = apps.find(bus);
  if (app == apps.end()) {
    return;
  }
  if (!fresh.contains(atSpiRootPath)) {
    apps.erase(app); // gone: looked for again when asked
    discoveryWanted = true;
    return;
  }
  if (!whole && unanswered.empty()) {
    app->second.nextSync = uptimeNow() + limits.reconnectDelay; // too large, or a cycle
    return;
  }
  app->second.nodes = std::move(fresh);
  app->second.synced = true;
  app->second.changedSinceSync = false;
  // Nodes that vanished while being read: their parents are read again.
  for (const std::string& path : unanswered) {
    dirty[bus].insert(path);
  }
}

void AtSpiMirror::Impl::refreshDirty(const std::string& bus, const std::set<std::string>& paths) {
  AtSpiNodeReader reader(*workerLink, bus, limits.workerCallTimeoutMs);
  std::set<std::string> targets;
  for (const std::string& path : paths) {
    // A node never seen: its nearest copied ancestor's children changed.
    std::string known = path;
    for (int step = 0; step < kMostUnknownAncestors && !isCopied(bus, known); ++step) {
      const auto parent = reader.parentOf(known);
      if (!parent) {
        break;
      }
      known = *parent;
    }
    if (isCopied(bus, known)) {
      targets.insert(known);
    }
  }
  for (const std::string& target : targets) {
    refreshNode(bus, target, 0);
  }
}

// Reads one copied node again; reads the children it did not have, drops
// the ones it lost. A node that no longer answers is dropped and its
// parent read again.
void AtSpiMirror::Impl::refreshNode(const std::string& bus, const std::string& path, int depth) {
  std::string parent;
  {
    std::lock_guard lock(mutex);
    const auto app = apps.find(bus);
    if (app == apps.end() || !app->second.nodes.contains(path)) {
      return;
    }
    parent = app->second.nodes.at(path).parent;
  }
  AtSpiNodeReader reader(*workerLink, bus, limits.workerCallTimeoutMs);
  auto read = reader.readLevel({{path, parent}});
  if (!read.front()) {
    {
      std::lock_guard lock(mutex);
      if (auto* nodes = copyOf(bus)) {
        for (const std::string& gone : subtreeOf(*nodes, path)) {
          nodes->erase(gone);
        }
      }
    }
    if (!parent.empty() && depth < kMostUnknownAncestors) {
      refreshNode(bus, parent, depth + 1);
    }
    return;
  }
  std::vector<AtSpiNodeReader::Placed> added;
  for (const std::string& child : read.front()->children) {
    if (!isCopied(bus, child)) {
      added.emplace_back(child, path);
    }
  }
  AtSpiTree fresh;
  std::vector<std::string> unanswered;
  reader.readSubtrees(added, fresh, limits.nodeBudget, &unanswered);
  std::lock_guard lock(mutex);
  auto* nodes = copyOf(bus);
  if (nodes == nullptr || !nodes->contains(path)) {
    return; // dropped meanwhile
  }
  const std::vector<std::string> formerChildren = nodes->at(path).children;
  const auto& now = read.front()->children;
  for (const std::string& child : formerChildren) {
    if (std::find(now.begin(), now.end(), child) == now.end()) {
      for (const std::string& gone : subtreeOf(*nodes, child)) {
        nodes->erase(gone);
      }
    }
  }
  (*nodes)[path] = std::move(*read.front());
  nodes->merge(fresh);
  for (const std::string& missed : unanswered) {
    dirty[bus].insert(missed);
  }
}

AtSpiMirror::AtSpiMirror(Limits limits) : impl_(std::make_unique<Impl>(limits)) {
  int fds[2];
  if (!makeNonBlockingPipe(fds)) {
    throw std::system_error(errno, std::generic_category(), "the accessibility copy's wake pipe");
  }
  impl_->stopRead.reset(fds[0]);
  impl_->stopWrite.reset(fds[1]);
  impl_->worker = std::thread([impl = impl_.get()] { impl->run(); });
}

AtSpiMirror::~AtSpiMirror() {
  {
    std::lock_guard lock(impl_->mutex);
    impl_->stopping = true;
    impl_->wake.notify_all();
  }
  impl_->worker.join();
  impl_->disconnect();
}

bool AtSpiMirror::trusted() {
  std::unique_lock lock(impl_->mutex);
  if (uptimeNow() - impl_->trustAnsweredAt > impl_->limits.trustRefresh) {
    const bool everAnswered = impl_->trustAnsweredAt > -std::numeric_limits<double>::infinity();
    impl_->trustWanted = true;
    impl_->wake.notify_all();
    if (!everAnswered) {
      impl_->wake.wait_for(lock, std::chrono::duration<double>(impl_->limits.firstAnswerWait), [&] {
        return impl_->trustAnsweredAt > -std::numeric_limits<double>::infinity() && impl_->connectAttempted;
      });
    }
  }
  return impl_->connected && impl_->enabled;
}

void AtSpiMirror::requestTrust() {
  std::lock_guard lock(impl_->mutex);
  impl_->enableWanted = true;
  impl_->wake.notify_all();
}

std::optional<std::string> AtSpiMirror::applicationBus(std::int32_t pid) {
  std::lock_guard lock(impl_->mutex);
  const auto found = impl_->busByPid.find(pid);
  if (found == impl_->busByPid.end()) {
    impl_->discoveryWanted = true;
    impl_->wake.notify_all();
    return std::nullopt;
  }
  AppCopy& app = impl_->apps[found->second];
  app.pid = pid;
  if (!app.watched) {
    app.watched = true;
    impl_->wake.notify_all();
  }
  return found->second;
}

std::optional<std::int32_t> AtSpiMirror::pidOf(const std::string& bus) {
  std::lock_guard lock(impl_->mutex);
  for (const auto& [pid, owner] : impl_->busByPid) {
    if (owner == bus) {
      return pid;
    }
  }
  return std::nullopt;
}

bool AtSpiMirror::read(const std::string& bus, const std::string& path,
                       const std::function<void(const AtSpiNode& node)>& read) const {
  std::lock_guard lock(impl_->mutex);
  const auto* nodes = impl_->copyOf(bus);
  const auto found = nodes != nullptr ? nodes->find(path) : AtSpiTree::const_iterator();
  if (nodes == nullptr || found == nodes->end()) {
    return false;
  }
  read(found->second);
  return true;
}

void AtSpiMirror::refreshWindows(const std::string& bus, int timeoutMs) {
  std::vector<std::string> windows;
  read(bus, atSpiRootPath, [&](const AtSpiNode& root) { windows = root.children; });
  if (windows.empty()) {
    return;
  }
  std::vector<std::optional<AtSpiExtents>> now;
  {
    std::lock_guard callerLock(impl_->callerMutex);
    if (!impl_->callerLink) {
      return;
    }
    now = AtSpiNodeReader(*impl_->callerLink, bus, timeoutMs).extentsOf(windows);
  }
  std::lock_guard lock(impl_->mutex);
  auto* copied = impl_->copyOf(bus);
  if (copied == nullptr) {
    return;
  }
  auto& nodes = *copied;
  for (std::size_t i = 0; i < windows.size(); ++i) {
    const auto window = nodes.find(windows[i]);
    if (!now[i] || window == nodes.end() || !window->second.extents || *window->second.extents == *now[i]) {
      continue;
    }
    // A window that changed its size laid its contents out anew, which
    // toolkits do not announce: copy it again soon.
    if (now[i]->width != window->second.extents->width || now[i]->height != window->second.extents->height) {
      impl_->apps[bus].changedSinceSync = true;
      impl_->resyncSoon = true;
      impl_->wake.notify_all();
    }
    // Moving a window sends no event for its contents: move their copy.
    const int dx = now[i]->x - window->second.extents->x;
    const int dy = now[i]->y - window->second.extents->y;
    for (const std::string& path : subtreeOf(nodes, windows[i])) {
      if (auto& extents = nodes[path].extents; extents && path != windows[i]) {
        extents->x += dx;
        extents->y += dy;
      }
    }
    window->second.extents = now[i];
  }
}

bool AtSpiMirror::refreshLive(const std::string& bus, const std::vector<std::string>& paths, int timeoutMs) {
  std::vector<AtSpiNodeReader::Placed> roots;
  {
    std::lock_guard lock(impl_->mutex);
    const auto app = impl_->apps.find(bus);
    if (app == impl_->apps.end() || !app->second.synced) {
      return false;
    }
    const auto& nodes = app->second.nodes;
    for (const std::string& path : paths) {
      const auto found = nodes.find(path);
      if (found == nodes.end()) {
        return false;
      }
      // A node below another one asked for is read with it.
      bool covered = false;
      for (auto above = found->second.parent; !above.empty() && !covered;) {
        covered = std::find(paths.begin(), paths.end(), above) != paths.end();
        const auto parent = nodes.find(above);
        above = parent != nodes.end() ? parent->second.parent : std::string();
      }
      const bool repeated =
          std::any_of(roots.begin(), roots.end(), [&](const auto& root) { return root.first == path; });
      if (!covered && !repeated) {
        roots.emplace_back(path, found->second.parent);
      }
    }
  }
  AtSpiTree fresh;
  bool whole = false;
  {
    std::lock_guard callerLock(impl_->callerMutex);
    if (!impl_->callerLink) {
      return false;
    }
    whole = AtSpiNodeReader(*impl_->callerLink, bus, timeoutMs).readSubtrees(roots, fresh, impl_->limits.nodeBudget);
  }
  std::lock_guard lock(impl_->mutex);
  auto* copied = impl_->copyOf(bus);
  if (copied == nullptr) {
    return false;
  }
  auto& nodes = *copied;
  for (const auto& [path, parent] : roots) {
    for (const std::string& stale : subtreeOf(nodes, path)) {
      nodes.erase(stale);
    }
  }
  nodes.merge(fresh);
  if (!whole) {
    // Leave the repair to the worker rather than a copy with holes.
    for (const auto& [path, parent] : roots) {
      impl_->dirty[bus].insert(path);
    }
    impl_->wake.notify_all();
  }
  return whole;
}

std::optional<std::vector<std::string>> AtSpiMirror::actionNames(const std::string& bus, const std::string& path,
                                                                 int timeoutMs) {
  std::lock_guard callerLock(impl_->callerMutex);
  if (!impl_->callerLink) {
    return std::nullopt;
  }
  return AtSpiNodeReader(*impl_->callerLink, bus, timeoutMs).actionNames(path);
}

bool AtSpiMirror::doAction(const std::string& bus, const std::string& path, int index, int timeoutMs) {
  std::lock_guard callerLock(impl_->callerMutex);
  return impl_->callerLink && AtSpiNodeReader(*impl_->callerLink, bus, timeoutMs).doAction(path, index);
}

} // namespace notch
