#pragma once

// One private libdbus connection, used by one thread at a time, and the
// few reply shapes the accessibility backend reads. Every call is bounded
// by its own time-out; several calls can be in flight together, which is
// what makes reading a window's tree affordable. Internal to the Linux
// platform layer.

#include <dbus/dbus.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace notch {

struct DBusMessageRelease {
  void operator()(DBusMessage* message) const { dbus_message_unref(message); }
};
using DBusMessagePtr = std::unique_ptr<DBusMessage, DBusMessageRelease>;

// An object on the accessibility bus: the unique name of its application's
// connection and its object path.
struct AtSpiObject {
  std::string bus;
  std::string path;

  friend bool operator==(const AtSpiObject&, const AtSpiObject&) = default;
  friend auto operator<=>(const AtSpiObject&, const AtSpiObject&) = default;
};

class DBusLink {
public:
  // Opens and registers a connection; nullptr with `error` set when the
  // bus cannot be reached. Registration waits at most `timeoutMs`.
  static std::unique_ptr<DBusLink> open(const std::string& address, int timeoutMs, std::string& error);
  static std::unique_ptr<DBusLink> openSession(int timeoutMs, std::string& error);
  ~DBusLink();
  DBusLink(const DBusLink&) = delete;
  DBusLink& operator=(const DBusLink&) = delete;

  DBusConnection* connection() const { return connection_; }
  bool connected() const;

  // A method call; nullptr when it could not be sent or the reply is an
  // error or late.
  DBusMessagePtr call(DBusMessagePtr message, int timeoutMs);
  // Sends every call at once, then collects the replies in order.
  std::vector<DBusMessagePtr> callAll(std::vector<DBusMessagePtr> messages, int timeoutMs);

private:
  explicit DBusLink(DBusConnection* connection) : connection_(connection) {}
  DBusConnection* connection_;
};

namespace dbusmessage {

DBusMessagePtr methodCall(const std::string& destination, const std::string& path, const char* interface,
                          const char* method);
// org.freedesktop.DBus.Properties.Get(interface, property).
DBusMessagePtr propertyGet(const std::string& destination, const std::string& path, const char* interface,
                           const char* property);
void appendUint32(DBusMessage* message, std::uint32_t value);
void appendInt32(DBusMessage* message, std::int32_t value);
void appendString(DBusMessage* message, const char* value);

// Reply readers: nullopt when the reply is missing or of another shape.
// "Variant" readers unwrap a Properties.Get answer.
std::optional<std::uint32_t> readUint32(const DBusMessagePtr& reply);
std::optional<bool> readBool(const DBusMessagePtr& reply);
std::optional<std::string> readString(const DBusMessagePtr& reply);
std::optional<std::string> readVariantString(const DBusMessagePtr& reply);
std::optional<bool> readVariantBool(const DBusMessagePtr& reply);
std::optional<AtSpiObject> readVariantObject(const DBusMessagePtr& reply);
std::optional<std::vector<AtSpiObject>> readObjects(const DBusMessagePtr& reply);      // a(so)
std::optional<std::uint64_t> readStates(const DBusMessagePtr& reply);                  // au, two words
std::optional<std::vector<std::int32_t>> readInt32Struct(const DBusMessagePtr& reply); // (iiii)
std::optional<std::vector<std::string>> readActionNames(const DBusMessagePtr& reply);  // a(sss)

} // namespace dbusmessage
} // namespace notch
