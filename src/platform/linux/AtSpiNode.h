#pragma once

// What is known of one AT-SPI object: everything the accessibility
// elements answer from, as read in one go.

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace notch {

struct AtSpiExtents {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;

  friend bool operator==(const AtSpiExtents&, const AtSpiExtents&) = default;
};

struct AtSpiNode {
  std::uint32_t role = 0;
  std::string name;
  std::string description;
  std::uint64_t states = 0;
  std::optional<AtSpiExtents> extents; // on the screen; none without a component
  std::vector<std::string> children;   // object paths on the same connection
  std::string parent;                  // empty for the application root
  bool topLevel = false;               // a window: directly below the application root

  friend bool operator==(const AtSpiNode&, const AtSpiNode&) = default;
};

// An application's nodes by object path. Paths share long prefixes, which
// makes hashing them cheaper than ordering them.
using AtSpiTree = std::unordered_map<std::string, AtSpiNode>;

inline constexpr const char* atSpiRootPath = "/org/a11y/atspi/accessible/root";

} // namespace notch
