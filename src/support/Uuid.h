#pragma once

// A 128-bit UUID. The project makes random (version 4) ones and writes them in
// canonical upper-case text, 8-4-4-4-12 hexadecimal digits.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace notch {

class Uuid {
public:
  using Bytes = std::array<std::uint8_t, 16>;

  Uuid() = default; // all zero
  explicit Uuid(const Bytes& bytes) : bytes_(bytes) {}

  // A fresh random version-4 UUID from the system's entropy source. Throws
  // std::system_error in the unheard-of case that the kernel has none.
  static Uuid random();

  // Accepts exactly 36 characters: hexadecimal digits of either case with
  // hyphens at positions 8, 13, 18 and 23. Version bits are not checked.
  static std::optional<Uuid> parse(std::string_view text);

  // Canonical upper-case form, e.g. "E621E1F8-C36C-495A-93FC-0C247A3E6E5F".
  std::string string() const;

  const Bytes& bytes() const { return bytes_; }
  friend bool operator==(const Uuid&, const Uuid&) = default;
  friend auto operator<=>(const Uuid&, const Uuid&) = default;

private:
  Bytes bytes_{};
};

} // namespace notch
