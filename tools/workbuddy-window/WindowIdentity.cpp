#include "WindowIdentity.h"

#include <cstring>
#include <string>

#include <QGuiApplication>
#include <xcb/xcb.h>

namespace notch::standin {
namespace {

xcb_atom_t atom(xcb_connection_t* connection, const char* name) {
  xcb_intern_atom_reply_t* reply =
      xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, std::strlen(name), name), nullptr);
  const xcb_atom_t value = reply != nullptr ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
  std::free(reply);
  return value;
}

} // namespace

bool announceIdentity(QWidget& window, const std::string& applicationID) {
  auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
  if (x11 == nullptr) {
    return false;
  }
  xcb_connection_t* connection = x11->connection();
  const auto id = static_cast<xcb_window_t>(window.winId());
  // Instance and class, each ending in NUL.
  const std::string wmClass = std::string("workbuddy") + '\0' + applicationID + '\0';
  xcb_change_property(connection, XCB_PROP_MODE_REPLACE, id, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8,
                      static_cast<std::uint32_t>(wmClass.size()), wmClass.data());
  const xcb_atom_t gtkApplicationID = atom(connection, "_GTK_APPLICATION_ID");
  const xcb_atom_t utf8 = atom(connection, "UTF8_STRING");
  xcb_change_property(connection, XCB_PROP_MODE_REPLACE, id, gtkApplicationID, utf8, 8,
                      static_cast<std::uint32_t>(applicationID.size()), applicationID.data());
  xcb_flush(connection);
  return true;
}

} // namespace notch::standin
