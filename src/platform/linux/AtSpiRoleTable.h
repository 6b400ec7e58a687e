#pragma once

// How an AT-SPI object reads as an accessibility element of the kind the
// card classifiers were written for: AT-SPI roles become the role names
// they expect, states become the enabled / hidden / minimised flags, and
// the element's texts go to the attributes where those roles keep them.
// The whole mapping is the table in AtSpiRoleTable.cpp.

#include <cstdint>
#include <string_view>

namespace notch::atspi {

// AT-SPI state bits (positions in the 64-bit state set).
enum State : unsigned {
  active = 1,
  defunct = 6,
  enabled = 8,
  iconified = 15,
  sensitive = 24,
  showing = 25,
  visible = 30,
};

inline constexpr std::uint32_t roleApplication = 75;

inline bool has(std::uint64_t states, State state) { return ((states >> state) & 1U) != 0; }

// The role name for an AT-SPI role. An object directly below the
// application is a window whatever its role.
std::string_view roleName(std::uint32_t role, bool isTopLevel);

// Whether the role shows text rather than labelling something: its text
// is its value ("AXValue"), not its title.
bool showsText(std::uint32_t role);

// The action that "AXPress" means, among an object's AT-SPI action names.
bool isPressAction(std::string_view actionName);

} // namespace notch::atspi
