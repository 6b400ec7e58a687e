#pragma once

// The system clipboard through QClipboard. Main queue only.

#include "platform/Clipboard.h"

namespace notch {

class QtClipboard final : public Clipboard {
public:
  void setText(const std::string& text) override;
};

} // namespace notch
