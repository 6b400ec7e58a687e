// The notch panel on an X11 desktop (also XWayland): EWMH requests sent to
// the window manager on Qt's own connection.

#include <QGuiApplication>
#include <QWidget>

#include <xcb/xcb.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <unistd.h>

#include "ui/NotchPanel.h"

namespace notch {
namespace {

xcb_connection_t* connection() {
  const auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
  return x11 != nullptr ? x11->connection() : nullptr;
}

xcb_window_t rootWindow(xcb_connection_t* connection) {
  return xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
}

// Atoms never change on a connection: each is asked of the server once
// (main thread only, Qt's one connection).
xcb_atom_t atom(xcb_connection_t* connection, const char* name) {
  static std::map<std::string, xcb_atom_t, std::less<>> known;
  if (const auto found = known.find(std::string_view(name)); found != known.end()) {
    return found->second;
  }
  const auto cookie = xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(std::strlen(name)), name);
  const std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
      xcb_intern_atom_reply(connection, cookie, nullptr), &std::free);
  if (!reply) {
    return XCB_ATOM_NONE;
  }
  known.emplace(name, reply->atom);
  return reply->atom;
}

// A client message to the window manager about `window`, as EWMH asks.
void tellWindowManager(xcb_connection_t* connection, xcb_window_t window, const char* message,
                       std::array<std::uint32_t, 5> data) {
  xcb_client_message_event_t event{};
  event.response_type = XCB_CLIENT_MESSAGE;
  event.format = 32;
  event.window = window;
  event.type = atom(connection, message);
  std::copy(data.begin(), data.end(), event.data.data32);
  xcb_send_event(connection, 0, rootWindow(connection),
                 XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                 reinterpret_cast<const char*>(&event));
}

constexpr std::uint32_t everyDesktop = 0xFFFFFFFF;
constexpr std::uint32_t addState = 1;
constexpr std::uint32_t fromPager = 2; // a request on the user's behalf, as a task list makes it

} // namespace

void pinPanelToEveryWorkspace(QWidget& panel) {
  xcb_connection_t* x = connection();
  if (x == nullptr) {
    return;
  }
  const auto window = static_cast<xcb_window_t>(panel.winId());
  tellWindowManager(x, window, "_NET_WM_DESKTOP", {everyDesktop, fromPager, 0, 0, 0});
  tellWindowManager(x, window, "_NET_WM_STATE",
                    {addState, atom(x, "_NET_WM_STATE_STICKY"), atom(x, "_NET_WM_STATE_SKIP_TASKBAR"), fromPager, 0});
  tellWindowManager(x, window, "_NET_WM_STATE", {addState, atom(x, "_NET_WM_STATE_SKIP_PAGER"), 0, fromPager, 0});
  xcb_flush(x);
}

namespace {

// One CARDINAL/WINDOW-list property of `window` (empty when absent).
std::vector<std::uint32_t> listProperty(xcb_connection_t* x, xcb_window_t window, const char* name) {
  const auto cookie = xcb_get_property(x, 0, window, atom(x, name), XCB_GET_PROPERTY_TYPE_ANY, 0, 4096);
  const std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)> reply(
      xcb_get_property_reply(x, cookie, nullptr), &std::free);
  if (!reply || reply->format != 32) {
    return {};
  }
  const auto* values = static_cast<const std::uint32_t*>(xcb_get_property_value(reply.get()));
  return {values, values + xcb_get_property_value_length(reply.get()) / 4};
}

// A window of another process (this app's own windows never count as the user's).
bool isForeign(xcb_connection_t* x, xcb_window_t window) {
  const auto pid = listProperty(x, window, "_NET_WM_PID");
  return window != XCB_WINDOW_NONE && !(pid.size() == 1 && pid.front() == static_cast<std::uint32_t>(::getpid()));
}

} // namespace

unsigned long foreignActiveWindow() {
  xcb_connection_t* x = connection();
  if (x == nullptr) {
    return 0;
  }
  const auto active = listProperty(x, rootWindow(x), "_NET_ACTIVE_WINDOW");
  return active.size() == 1 && isForeign(x, active.front()) ? active.front() : 0;
}

void returnKeyboard(unsigned long preferred) {
  xcb_connection_t* x = connection();
  if (x == nullptr) {
    return;
  }
  // The window the user had, while it is still there; else the topmost
  // window of another application, which is where the keyboard goes when a
  // window closes.
  const auto stacking = listProperty(x, rootWindow(x), "_NET_CLIENT_LIST_STACKING");
  xcb_window_t target = XCB_WINDOW_NONE;
  if (preferred != 0 && std::find(stacking.begin(), stacking.end(), preferred) != stacking.end()) {
    target = static_cast<xcb_window_t>(preferred);
  } else {
    const auto topmost =
        std::find_if(stacking.rbegin(), stacking.rend(), [&](std::uint32_t window) { return isForeign(x, window); });
    target = topmost != stacking.rend() ? *topmost : xcb_window_t{XCB_WINDOW_NONE};
  }
  if (target != XCB_WINDOW_NONE) {
    tellWindowManager(x, target, "_NET_ACTIVE_WINDOW", {fromPager, XCB_CURRENT_TIME, 0, 0, 0});
    xcb_flush(x);
  }
}

} // namespace notch
