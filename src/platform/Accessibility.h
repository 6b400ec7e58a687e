#pragma once

// The platform's accessibility API as the native monitor needs it: the
// application element of a process, attribute reads (one at a time or
// several in one call) returning tagged values, a per-element messaging
// time-out, element identity, actions, and the trust check. macOS bridges
// the Accessibility API, Linux AT-SPI 2; tests use an in-memory tree.
//
// Element handles are reference-counted and opaque: compare them only
// through `sameElement`, hash them only through `elementHash`.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace notch {

class AXElement {
public:
  virtual ~AXElement() = default;
};
using AXElementRef = std::shared_ptr<const AXElement>;

struct AXPoint {
  double x = 0;
  double y = 0;
};
struct AXSize {
  double width = 0;
  double height = 0;
};
struct AXNullMarker {};
struct AXErrorValue {
  int code = 0; // e.g. -25212 (no value), -25205 (attribute unsupported)
};
struct AXOtherValue {}; // a value of a type the program does not read

using AXValue = std::variant<AXOtherValue, AXNullMarker, std::string, bool, AXElementRef, std::vector<AXElementRef>,
                             AXPoint, AXSize, AXErrorValue>;

inline constexpr int kAXErrorNoValue = -25212;
inline constexpr int kAXErrorAttributeUnsupported = -25205;

class Accessibility {
public:
  virtual ~Accessibility() = default;

  virtual AXElementRef applicationElement(std::int32_t pid) const = 0;
  // Bounds every later call on `element`.
  virtual bool setMessagingTimeout(const AXElementRef& element, double seconds) const = 0;
  virtual bool setAttribute(const AXElementRef& element, std::string_view name, const AXValue& value) const = 0;
  // nullopt when the copy fails.
  virtual std::optional<AXValue> copyAttribute(const AXElementRef& element, std::string_view name) const = 0;
  // One value per name, in order; nullopt when the call fails.
  virtual std::optional<std::vector<AXValue>> copyAttributes(const AXElementRef& element,
                                                             const std::vector<std::string>& names) const = 0;
  virtual std::optional<std::int32_t> elementPID(const AXElementRef& element) const = 0;
  virtual bool sameElement(const AXElementRef& a, const AXElementRef& b) const = 0;
  virtual std::size_t elementHash(const AXElementRef& element) const = 0;
  virtual std::optional<std::vector<std::string>> actionNames(const AXElementRef& element) const = 0;
  virtual bool performAction(const AXElementRef& element, std::string_view action) const = 0;
  // Makes later reads of these elements and everything below them answer
  // what the application shows now, past any local copy; false when the
  // application did not answer. Where every read asks the application,
  // there is nothing to do.
  virtual bool refreshLive(const std::vector<AXElementRef>&) const { return true; }
  virtual bool isTrusted() const = 0;
  // Asks the user for the permission, where the platform has a prompt.
  virtual void requestTrust() const = 0;
};

} // namespace notch
