#pragma once

// An in-memory accessibility tree for tests: elements with roles,
// attributes, frames and pids; injectable copy errors and messaging
// time-out failures; odd child-list values; and a clock that every read
// advances, so that tests can spend a scan's budget.

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "core/native/NativeApprovalNode.h"
#include "platform/Accessibility.h"
#include "support/FakeClock.h"

namespace notch::testing {

class FakeElement final : public AXElement {
public:
  std::int32_t pid = 0;
  std::map<std::string, AXValue> attributes;
  std::set<std::string> failingCopies; // single copies of these fail
  bool timeoutFails = false;
  bool multipleCopyFails = false;
  std::vector<std::string> actions;
  bool actionFails = false;                          // offered actions report an error when performed
  std::function<void(std::string_view name)> onCopy; // runs before each single copy
  mutable std::vector<std::string> performed;
  mutable int pidReads = 0;

  // Sets AXPosition and AXSize.
  FakeElement& frame(double x, double y, double width, double height);
  FakeElement& set(const std::string& name, AXValue value);
  // Appends children to AXChildren (creating the list).
  FakeElement& adopt(const std::vector<std::shared_ptr<FakeElement>>& children);
};
using FakeElementRef = std::shared_ptr<FakeElement>;

// Fake elements that a scan reads back as `node` (role, texts, enabled,
// hidden, frame, children), all of process `pid`.
FakeElementRef fakeElementsFor(const NativeApprovalNode& node, std::int32_t pid);

class FakeAccessibility final : public Accessibility {
public:
  // Every attribute read advances `clock` (when given) by `secondsPerRead`.
  explicit FakeAccessibility(FakeClock* clock = nullptr, double secondsPerRead = 0)
      : clock_(clock), secondsPerRead_(secondsPerRead) {}

  // The application element of `pid`, created on first use.
  FakeElementRef application(std::int32_t pid);
  // A new element of `pid` with the role given.
  static FakeElementRef element(std::int32_t pid, const std::string& role);

  bool trusted = true;
  mutable int reads = 0;
  mutable bool trustRequested = false;

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
  bool isTrusted() const override { return trusted; }
  void requestTrust() const override { trustRequested = true; }

private:
  void tick() const;
  static const FakeElement* fake(const AXElementRef& element);

  FakeClock* clock_;
  double secondsPerRead_;
  std::map<std::int32_t, FakeElementRef> applications_;
};

} // namespace notch::testing
