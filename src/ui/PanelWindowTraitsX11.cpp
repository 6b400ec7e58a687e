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
#include <memory>

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

xcb_atom_t atom(xcb_connection_t* connection, const char* name) {
  const auto cookie = xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(std::strlen(name)), name);
  const std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
      xcb_intern_atom_reply(connection, cookie, nullptr), &std::free);
  return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
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

unsigned long activeWindow() {
  xcb_connection_t* x = connection();
  if (x == nullptr) {
    return 0;
  }
  const auto cookie = xcb_get_property(x, 0, rootWindow(x), atom(x, "_NET_ACTIVE_WINDOW"), XCB_ATOM_WINDOW, 0, 1);
  const std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)> reply(
      xcb_get_property_reply(x, cookie, nullptr), &std::free);
  if (!reply || xcb_get_property_value_length(reply.get()) < 4) {
    return 0;
  }
  return *static_cast<const xcb_window_t*>(xcb_get_property_value(reply.get()));
}

void giveKeyboardTo(unsigned long window) {
  if (xcb_connection_t* x = connection()) {
    tellWindowManager(x, static_cast<xcb_window_t>(window), "_NET_ACTIVE_WINDOW",
                      {fromPager, XCB_CURRENT_TIME, 0, 0, 0});
    xcb_flush(x);
  }
}

} // namespace notch
