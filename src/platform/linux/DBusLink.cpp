#include "platform/linux/DBusLink.h"

namespace notch {
namespace {

struct PendingRelease {
  void operator()(DBusPendingCall* pending) const { dbus_pending_call_unref(pending); }
};
using PendingPtr = std::unique_ptr<DBusPendingCall, PendingRelease>;

// Hello with a bounded wait (dbus_bus_register would wait 25 s on a hung bus).
bool registerBounded(DBusConnection* connection, int timeoutMs, std::string& error) {
  DBusMessagePtr hello(
      dbus_message_new_method_call("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "Hello"));
  DBusError failure;
  dbus_error_init(&failure);
  DBusMessagePtr reply(dbus_connection_send_with_reply_and_block(connection, hello.get(), timeoutMs, &failure));
  if (!reply) {
    error = failure.message != nullptr ? failure.message : "the bus did not answer";
    dbus_error_free(&failure);
    return false;
  }
  const char* name = nullptr;
  if (!dbus_message_get_args(reply.get(), nullptr, DBUS_TYPE_STRING, &name, DBUS_TYPE_INVALID) ||
      !dbus_bus_set_unique_name(connection, name)) {
    error = "the bus answered Hello without a name";
    return false;
  }
  return true;
}

DBusConnection* openPrivate(const char* address, int timeoutMs, std::string& error) {
  DBusError failure;
  dbus_error_init(&failure);
  DBusConnection* connection = dbus_connection_open_private(address, &failure);
  if (connection == nullptr) {
    error = failure.message != nullptr ? failure.message : "cannot connect";
    dbus_error_free(&failure);
    return nullptr;
  }
  dbus_connection_set_exit_on_disconnect(connection, false);
  if (!registerBounded(connection, timeoutMs, error)) {
    dbus_connection_close(connection);
    dbus_connection_unref(connection);
    return nullptr;
  }
  return connection;
}

} // namespace

std::unique_ptr<DBusLink> DBusLink::open(const std::string& address, int timeoutMs, std::string& error) {
  static const bool threadsReady = dbus_threads_init_default() != 0;
  (void)threadsReady;
  DBusConnection* connection = openPrivate(address.c_str(), timeoutMs, error);
  return connection != nullptr ? std::unique_ptr<DBusLink>(new DBusLink(connection)) : nullptr;
}

std::unique_ptr<DBusLink> DBusLink::openSession(int timeoutMs, std::string& error) {
  const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
  if (address == nullptr || *address == '\0') {
    error = "no session bus";
    return nullptr;
  }
  return open(address, timeoutMs, error);
}

DBusLink::~DBusLink() {
  dbus_connection_close(connection_);
  dbus_connection_unref(connection_);
}

bool DBusLink::connected() const { return dbus_connection_get_is_connected(connection_) != 0; }

DBusMessagePtr DBusLink::call(DBusMessagePtr message, int timeoutMs) {
  std::vector<DBusMessagePtr> one;
  one.push_back(std::move(message));
  return std::move(callAll(std::move(one), timeoutMs).front());
}

std::vector<DBusMessagePtr> DBusLink::callAll(std::vector<DBusMessagePtr> messages, int timeoutMs) {
  std::vector<PendingPtr> pending(messages.size());
  for (std::size_t i = 0; i < messages.size(); ++i) {
    DBusPendingCall* call = nullptr;
    if (messages[i] && dbus_connection_send_with_reply(connection_, messages[i].get(), &call, timeoutMs)) {
      pending[i].reset(call);
    }
  }
  dbus_connection_flush(connection_);
  std::vector<DBusMessagePtr> replies(messages.size());
  for (std::size_t i = 0; i < pending.size(); ++i) {
    if (!pending[i]) {
      continue;
    }
    // Returns at the reply or at the call's own time-out, which libdbus
    // answers with an error reply.
    dbus_pending_call_block(pending[i].get());
    DBusMessagePtr reply(dbus_pending_call_steal_reply(pending[i].get()));
    if (reply && dbus_message_get_type(reply.get()) == DBUS_MESSAGE_TYPE_METHOD_RETURN) {
      replies[i] = std::move(reply);
    }
  }
  // Signals nobody listens for on this connection (the bus's own greeting)
  // would otherwise pile up.
  while (DBusMessage* unread = dbus_connection_pop_message(connection_)) {
    dbus_message_unref(unread);
  }
  return replies;
}

namespace dbusmessage {
namespace {

// The reply's first argument, or the value inside it when it is a variant.
bool firstArgument(const DBusMessagePtr& reply, DBusMessageIter& iter, bool unwrapVariant) {
  if (!reply || !dbus_message_iter_init(reply.get(), &iter)) {
    return false;
  }
  if (unwrapVariant) {
    if (dbus_message_iter_get_arg_type(&iter) != DBUS_TYPE_VARIANT) {
      return false;
    }
    DBusMessageIter inner;
    dbus_message_iter_recurse(&iter, &inner);
    iter = inner;
  }
  return true;
}

template <typename T> std::optional<T> basic(DBusMessageIter& iter, int type) {
  if (dbus_message_iter_get_arg_type(&iter) != type) {
    return std::nullopt;
  }
  T value{};
  dbus_message_iter_get_basic(&iter, &value);
  return value;
}

std::optional<std::string> text(DBusMessageIter& iter) {
  const auto value = basic<const char*>(
      iter, dbus_message_iter_get_arg_type(&iter) == DBUS_TYPE_OBJECT_PATH ? DBUS_TYPE_OBJECT_PATH : DBUS_TYPE_STRING);
  return value && *value != nullptr ? std::optional<std::string>(*value) : std::nullopt;
}

// A (so) struct.
std::optional<AtSpiObject> object(DBusMessageIter& iter) {
  if (dbus_message_iter_get_arg_type(&iter) != DBUS_TYPE_STRUCT) {
    return std::nullopt;
  }
  DBusMessageIter fields;
  dbus_message_iter_recurse(&iter, &fields);
  auto bus = text(fields);
  if (!bus || !dbus_message_iter_next(&fields)) {
    return std::nullopt;
  }
  auto path = text(fields);
  if (!path) {
    return std::nullopt;
  }
  return AtSpiObject{std::move(*bus), std::move(*path)};
}

// Calls `each` on every element of the array at `iter`; false when it is
// not an array or `each` refuses an element.
template <typename Each> bool forEachElement(DBusMessageIter& iter, Each each) {
  if (dbus_message_iter_get_arg_type(&iter) != DBUS_TYPE_ARRAY) {
    return false;
  }
  DBusMessageIter element;
  dbus_message_iter_recurse(&iter, &element);
  while (dbus_message_iter_get_arg_type(&element) != DBUS_TYPE_INVALID) {
    if (!each(element)) {
      return false;
    }
    dbus_message_iter_next(&element);
  }
  return true;
}

} // namespace

DBusMessagePtr methodCall(const std::string& destination, const std::string& path, const char* interface,
                          const char* method) {
  return DBusMessagePtr(dbus_message_new_method_call(destination.c_str(), path.c_str(), interface, method));
}

DBusMessagePtr propertyGet(const std::string& destination, const std::string& path, const char* interface,
                           const char* property) {
  DBusMessagePtr message = methodCall(destination, path, "org.freedesktop.DBus.Properties", "Get");
  if (message) {
    appendString(message.get(), interface);
    appendString(message.get(), property);
  }
  return message;
}

void appendUint32(DBusMessage* message, std::uint32_t value) {
  dbus_message_append_args(message, DBUS_TYPE_UINT32, &value, DBUS_TYPE_INVALID);
}
void appendInt32(DBusMessage* message, std::int32_t value) {
  dbus_message_append_args(message, DBUS_TYPE_INT32, &value, DBUS_TYPE_INVALID);
}
void appendString(DBusMessage* message, const char* value) {
  dbus_message_append_args(message, DBUS_TYPE_STRING, &value, DBUS_TYPE_INVALID);
}

std::optional<std::uint32_t> readUint32(const DBusMessagePtr& reply) {
  DBusMessageIter iter;
  return firstArgument(reply, iter, false) ? basic<dbus_uint32_t>(iter, DBUS_TYPE_UINT32) : std::nullopt;
}

std::optional<bool> readBool(const DBusMessagePtr& reply) {
  DBusMessageIter iter;
  const auto value = firstArgument(reply, iter, false) ? basic<dbus_bool_t>(iter, DBUS_TYPE_BOOLEAN) : std::nullopt;
  return value ? std::optional<bool>(*value != 0) : std::nullopt;
}

std::optional<std::string> readString(const DBusMessagePtr& reply) {
  DBusMessageIter iter;
  return firstArgument(reply, iter, false) ? text(iter) : std::nullopt;
}

std::optional<std::string> readVariantString(const DBusMessagePtr& reply) {
  DBusMessageIter iter;
  return firstArgument(reply, iter, true) ? text(iter) : std::nullopt;
}

std::optional<bool> readVariantBool(const DBusMessagePtr& reply) {
  DBusMessageIter iter;
  const auto value = firstArgument(reply, iter, true) ? basic<dbus_bool_t>(iter, DBUS_TYPE_BOOLEAN) : std::nullopt;
  return value ? std::optional<bool>(*value != 0) : std::nullopt;
}

std::optional<AtSpiObject> readVariantObject(const DBusMessagePtr& reply) {
  DBusMessageIter iter;
  return firstArgument(reply, iter, true) ? object(iter) : std::nullopt;
}

std::optional<std::vector<AtSpiObject>> readObjects(const DBusMessagePtr& reply) {
  DBusMessageIter iter;
  std::vector<AtSpiObject> objects;
  const bool read = firstArgument(reply, iter, false) && forEachElement(iter, [&](DBusMessageIter& element) {
                      auto one = object(element);
                      if (one) {
                        objects.push_back(std::move(*one));
                      }
                      return one.has_value();
                    });
  return read ? std::optional(std::move(objects)) : std::nullopt;
}

std::optional<std::uint64_t> readStates(const DBusMessagePtr& reply) {
  DBusMessageIter iter;
  std::vector<std::uint32_t> words;
  const bool read = firstArgument(reply, iter, false) && forEachElement(iter, [&](DBusMessageIter& element) {
                      const auto word = basic<dbus_uint32_t>(element, DBUS_TYPE_UINT32);
                      if (word) {
                        words.push_back(*word);
                      }
                      return word.has_value();
                    });
  if (!read || words.empty()) {
    return std::nullopt;
  }
  return std::uint64_t(words[0]) | (words.size() > 1 ? std::uint64_t(words[1]) << 32 : 0);
}

std::optional<std::vector<std::int32_t>> readInt32Struct(const DBusMessagePtr& reply) {
  DBusMessageIter iter;
  if (!firstArgument(reply, iter, false) || dbus_message_iter_get_arg_type(&iter) != DBUS_TYPE_STRUCT) {
    return std::nullopt;
  }
  DBusMessageIter fields;
  dbus_message_iter_recurse(&iter, &fields);
  std::vector<std::int32_t> values;
  while (dbus_message_iter_get_arg_type(&fields) == DBUS_TYPE_INT32) {
    values.push_back(*basic<dbus_int32_t>(fields, DBUS_TYPE_INT32));
    dbus_message_iter_next(&fields);
  }
  return values;
}

std::optional<std::vector<std::string>> readActionNames(const DBusMessagePtr& reply) {
  DBusMessageIter iter;
  std::vector<std::string> names;
  const bool read = firstArgument(reply, iter, false) && forEachElement(iter, [&](DBusMessageIter& element) {
                      if (dbus_message_iter_get_arg_type(&element) != DBUS_TYPE_STRUCT) {
                        return false;
                      }
                      DBusMessageIter fields;
                      dbus_message_iter_recurse(&element, &fields);
                      auto name = text(fields);
                      names.push_back(name.value_or(""));
                      return name.has_value();
                    });
  return read ? std::optional(std::move(names)) : std::nullopt;
}

} // namespace dbusmessage
} // namespace notch
