#pragma once

// The accessibility interface on AT-SPI 2: elements are objects on the
// accessibility bus, read from a local copy of the watched application's
// tree (AtSpiMirror) and answered with the roles and attributes the card
// classifiers expect (AtSpiRoleTable). Actions and the re-read before a
// press go to the application itself. Trusted means: the accessibility bus
// answers and assistive technologies are switched on; asking for trust
// switches them on. Safe to use from any thread.

#include <memory>

#include "platform/Accessibility.h"
#include "platform/linux/AtSpiMirror.h"

namespace notch {

class AtSpiAccessibility final : public Accessibility {
public:
  explicit AtSpiAccessibility(AtSpiMirrorLimits limits = {});
  ~AtSpiAccessibility() override;

  AXElementRef applicationElement(std::int32_t pid) const override;
  bool setMessagingTimeout(const AXElementRef& element, double seconds) const override;
  bool setAttribute(const AXElementRef& element, std::string_view name, const AXValue& value) const override;
  std::optional<AXValue> copyAttribute(const AXElementRef& element, std::string_view name) const override;
  std::optional<std::vector<AXValue>> copyAttributes(const AXElementRef& element,
                                                     const std::vector<std::string>& names) const override;
  std::optional<std::int32_t> elementPID(const AXElementRef& element) const override;
  bool sameElement(const AXElementRef& a, const AXElementRef& b) const override;
  std::size_t elementHash(const AXElementRef& element) const override;
  std::optional<std::vector<std::string>> actionNames(const AXElementRef& element) const override;
  bool performAction(const AXElementRef& element, std::string_view action) const override;
  bool refreshLive(const std::vector<AXElementRef>& subtrees) const override;
  bool isTrusted() const override;
  void requestTrust() const override;

private:
  // The element of the active one of `windows`, or "no value".
  AXValue activeWindow(const std::string& bus, const std::vector<std::string>& windows) const;

  std::unique_ptr<AtSpiMirror> mirror_;
};

} // namespace notch
