#pragma once

// The system clipboard, as far as the app writes it: one plain string that
// replaces whatever it held.

#include <string>

namespace notch {

class Clipboard {
public:
  virtual ~Clipboard() = default;
  virtual void setText(const std::string& text) = 0;
};

} // namespace notch
