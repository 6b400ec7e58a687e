#include "platform/linux/X11Connection.h"

#include <cerrno>
#include <cstdlib>

#include <poll.h>
#include <xcb/xcbext.h> // xcb_poll_for_reply: a reply awaited without blocking

#include "support/Clock.h"

namespace notch {

void FreeReply::operator()(void* reply) const { std::free(reply); }

std::unique_ptr<X11Connection> X11Connection::open(const std::string& display) {
  int screenNumber = 0;
  xcb_connection_t* connection = xcb_connect(display.empty() ? nullptr : display.c_str(), &screenNumber);
  if (xcb_connection_has_error(connection) != 0) {
    xcb_disconnect(connection);
    return nullptr;
  }
  xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
  for (int k = 0; k < screenNumber && screens.rem > 0; ++k) {
    xcb_screen_next(&screens);
  }
  if (screens.rem == 0) {
    xcb_disconnect(connection);
    return nullptr;
  }
  return std::unique_ptr<X11Connection>(new X11Connection(connection, screens.data->root));
}

X11Connection::~X11Connection() { xcb_disconnect(connection_); }

std::vector<void*> X11Connection::replies(const std::vector<unsigned>& sequences, double deadline) {
  std::vector<void*> replies(sequences.size(), nullptr);
  std::vector<bool> done(sequences.size(), false);
  std::size_t waiting = sequences.size();
  xcb_flush(connection_);
  while (waiting > 0 && !failed()) {
    // xcb reads what the socket holds while nobody else reads; then every
    // request whose answer is in is settled.
    for (std::size_t k = 0; k < sequences.size(); ++k) {
      xcb_generic_error_t* error = nullptr;
      if (!done[k] && xcb_poll_for_reply(connection_, sequences[k], &replies[k], &error) != 0) {
        std::free(error);
        done[k] = true;
        --waiting;
      }
    }
    const double left = deadline - uptimeNow();
    if (waiting == 0 || left <= 0) {
      break;
    }
    pollfd entry{xcb_get_file_descriptor(connection_), POLLIN, 0};
    if (::poll(&entry, 1, static_cast<int>(left * 1000) + 1) < 0 && errno != EINTR) {
      break;
    }
  }
  for (std::size_t k = 0; k < sequences.size(); ++k) {
    if (!done[k]) {
      xcb_discard_reply(connection_, sequences[k]);
    }
  }
  return replies;
}

bool X11Connection::succeeded(unsigned sequence, double deadline) {
  // A void request has no reply; once the reply of a later request is in,
  // its error (if any) is in too.
  const unsigned fence = xcb_get_input_focus(connection_).sequence;
  const auto reply = owned<xcb_get_input_focus_reply_t>(replies({fence}, deadline)[0]);
  if (reply == nullptr) {
    xcb_discard_reply(connection_, sequence);
    return false;
  }
  void* none = nullptr;
  xcb_generic_error_t* error = nullptr;
  const bool answered = xcb_poll_for_reply(connection_, sequence, &none, &error) != 0;
  const bool ok = answered && error == nullptr;
  std::free(error);
  std::free(none);
  return ok;
}

std::vector<xcb_atom_t> X11Connection::atoms(const std::vector<std::string>& names, double deadline) {
  std::vector<unsigned> sequences;
  for (const std::string& name : names) {
    sequences.push_back(
        xcb_intern_atom(connection_, 0, static_cast<std::uint16_t>(name.size()), name.c_str()).sequence);
  }
  std::vector<xcb_atom_t> atoms;
  for (void* reply : replies(sequences, deadline)) {
    const auto atom = owned<xcb_intern_atom_reply_t>(reply);
    atoms.push_back(atom != nullptr ? atom->atom : xcb_atom_t{XCB_ATOM_NONE});
  }
  return atoms;
}

} // namespace notch
