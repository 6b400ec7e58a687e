#pragma once

// The height of the approval card's main text box, from the text alone so
// that the card does not jump while the text is laid out: about one row
// per 54 UTF-8 bytes of each line (a row of code in the card's monospaced
// font), 19 points a row plus 20 of padding, between 54 and 110 points.
// The full-parameter view always gets the tall box.

#include <string_view>

namespace notch {

inline constexpr double primaryTextBoxFullHeight = 176;

double primaryTextBoxHeight(std::string_view primaryText, bool showAllParameters);

} // namespace notch
