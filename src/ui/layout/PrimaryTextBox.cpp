#include "ui/layout/PrimaryTextBox.h"

#include <algorithm>
#include <cstddef>

namespace notch {
namespace {

constexpr std::size_t measuredCharacters = 2048;
constexpr std::size_t bytesPerRow = 54;
constexpr double rowHeight = 19;
constexpr double padding = 20;
constexpr double smallest = 54;
constexpr double tallest = 110;

bool isContinuationByte(char byte) { return (static_cast<unsigned char>(byte) & 0xC0) == 0x80; }

// The first `count` characters (code points) of UTF-8 text.
std::string_view leadingCharacters(std::string_view text, std::size_t count) {
  std::size_t end = 0;
  for (std::size_t seen = 0; end < text.size(); ++end) {
    if (!isContinuationByte(text[end]) && seen++ == count) {
      break;
    }
  }
  return text.substr(0, end);
}

std::size_t rowsOf(std::size_t lineBytes) {
  return std::max<std::size_t>(1, (lineBytes + bytesPerRow - 1) / bytesPerRow);
}

} // namespace

double primaryTextBoxHeight(std::string_view primaryText, bool showAllParameters) {
  if (showAllParameters) {
    return primaryTextBoxFullHeight;
  }
  const std::string_view measured = leadingCharacters(primaryText, measuredCharacters);
  std::size_t rows = 0;
  std::size_t lineStart = 0;
  for (std::size_t newline = measured.find('\n'); newline != std::string_view::npos;
       newline = measured.find('\n', lineStart)) {
    rows += rowsOf(newline - lineStart);
    lineStart = newline + 1;
  }
  rows += rowsOf(measured.size() - lineStart);
  // Capped before the multiplication: a huge row count must not overflow the double's exact range.
  rows = std::min<std::size_t>(rows, 100);
  return std::clamp(static_cast<double>(rows) * rowHeight + padding, smallest, tallest);
}

} // namespace notch
