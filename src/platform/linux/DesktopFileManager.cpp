#include "platform/linux/DesktopFileManager.h"

#include <string_view>

#include "platform/linux/DBusLink.h"
#include "platform/linux/DetachedLaunch.h"
#include "support/SerialQueue.h"

namespace notch {
namespace {

constexpr int kConnectTimeoutMs = 1000;
constexpr int kShowTimeoutMs = 3000; // the bus may have to start the file manager first
constexpr double kLaunchTimeout = 2.0;

bool showItems(const std::string& uri) {
  std::string error;
  const auto link = DBusLink::openSession(kConnectTimeoutMs, error);
  if (!link) {
    return false;
  }
  DBusMessagePtr call = dbusmessage::methodCall("org.freedesktop.FileManager1", "/org/freedesktop/FileManager1",
                                                "org.freedesktop.FileManager1", "ShowItems");
  if (!call) {
    return false;
  }
  DBusMessageIter arguments;
  DBusMessageIter uris;
  dbus_message_iter_init_append(call.get(), &arguments);
  const char* item = uri.c_str();
  const char* startupId = "";
  if (!dbus_message_iter_open_container(&arguments, DBUS_TYPE_ARRAY, DBUS_TYPE_STRING_AS_STRING, &uris) ||
      !dbus_message_iter_append_basic(&uris, DBUS_TYPE_STRING, &item) ||
      !dbus_message_iter_close_container(&arguments, &uris) ||
      !dbus_message_iter_append_basic(&arguments, DBUS_TYPE_STRING, &startupId)) {
    return false;
  }
  return link->call(std::move(call), kShowTimeoutMs) != nullptr;
}

} // namespace

DesktopFileManager::DesktopFileManager() : queue_(std::make_unique<SerialQueue>("vantrel-notch.file-manager")) {}

DesktopFileManager::~DesktopFileManager() = default;

std::string DesktopFileManager::fileURI(const std::string& path) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string uri = "file://";
  for (const char c : path) {
    const auto byte = static_cast<unsigned char>(c);
    if ((byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') || (byte >= '0' && byte <= '9') ||
        std::string_view("-._~/").find(c) != std::string_view::npos) {
      uri += c;
    } else {
      uri += '%';
      uri += kHex[byte >> 4];
      uri += kHex[byte & 0x0f];
    }
  }
  return uri;
}

void DesktopFileManager::revealFile(const std::string& path) {
  queue_->post([path] {
    if (showItems(fileURI(path))) {
      return;
    }
    const auto slash = path.rfind('/');
    const std::string folder = slash == std::string::npos || slash == 0 ? "/" : path.substr(0, slash);
    (void)launchDetached({"xdg-open", folder}, kLaunchTimeout); // a desktop without either shows nothing
  });
}

} // namespace notch
