#pragma once

// Whether a text read from another application may be trusted as a label:
// at most `byteLimit` bytes of valid UTF-8, not empty once white space and
// line breaks are trimmed, and free of control and format characters (which
// can hide or reorder what the user sees). With `allowLineBreaksAndJoiners`,
// tab, line feed, carriage return and the zero-width (non-)joiners that
// scripts such as emoji sequences need are accepted.

#include <cstddef>
#include <string_view>

namespace notch {

bool isCleanText(std::string_view text, std::size_t byteLimit, bool allowLineBreaksAndJoiners);

} // namespace notch
