#pragma once

// One connection to the X server whose replies are awaited against a
// deadline: requests are sent together and their replies collected in one
// round trip, and a server that stops answering costs the caller at most
// the time it allowed. A reply not in by then is discarded when it comes.
//
// Not thread-safe: one thread uses it at a time (the workspace holds a lock
// around its query connection; its event connection is its event thread's).
// Internal to the Linux platform layer: its users may see xcb.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <xcb/xcb.h>

namespace notch {

class X11Connection {
public:
  // nullptr when no display answers. `display` empty: $DISPLAY.
  static std::unique_ptr<X11Connection> open(const std::string& display);
  ~X11Connection();
  X11Connection(const X11Connection&) = delete;
  X11Connection& operator=(const X11Connection&) = delete;

  xcb_connection_t* get() const { return connection_; }
  xcb_window_t root() const { return root_; }
  bool failed() const { return xcb_connection_has_error(connection_) != 0; }

  // The replies of the requests with these sequence numbers, in order, each
  // malloc'ed (free it) or null for an error or a reply not in by
  // `deadline` (uptime seconds).
  std::vector<void*> replies(const std::vector<unsigned>& sequences, double deadline);

  // Whether the void request `sequence` (sent checked) was carried out
  // without an error, known by `deadline`.
  bool succeeded(unsigned sequence, double deadline);

  // The atoms of `names`, in order (XCB_ATOM_NONE for those not known in time).
  std::vector<xcb_atom_t> atoms(const std::vector<std::string>& names, double deadline);

private:
  X11Connection(xcb_connection_t* connection, xcb_window_t root) : connection_(connection), root_(root) {}

  xcb_connection_t* connection_;
  xcb_window_t root_;
};

// Frees a reply of X11Connection::replies when it goes.
struct FreeReply {
  void operator()(void* reply) const;
};
template <typename Reply> using OwnedReply = std::unique_ptr<Reply, FreeReply>;
template <typename Reply> OwnedReply<Reply> owned(void* reply) { return OwnedReply<Reply>(static_cast<Reply*>(reply)); }

} // namespace notch
