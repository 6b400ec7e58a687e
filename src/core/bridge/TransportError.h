#pragma once

// The errors of the bridge transport, each carrying the English text the app
// shows for it.

#include <stdexcept>
#include <string>

namespace notch {

class TransportError : public std::runtime_error {
public:
  enum class Kind { system, unsafePath, alreadyRunning };

  // The C library's failure `errorNumber`; the text is strerror's.
  static TransportError system(int errorNumber);
  static TransportError unsafePath();
  static TransportError alreadyRunning();

  Kind kind() const { return kind_; }
  // The errno of a `system` error, 0 for the others.
  int errorNumber() const { return errorNumber_; }

  friend bool operator==(const TransportError& a, const TransportError& b) {
    return a.kind_ == b.kind_ && a.errorNumber_ == b.errorNumber_;
  }

private:
  TransportError(Kind kind, int errorNumber, const std::string& text);

  Kind kind_;
  int errorNumber_;
};

} // namespace notch
