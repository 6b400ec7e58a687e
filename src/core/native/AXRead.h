#pragma once

// One scan of WorkBuddy's windows under a hard budget, turned into plain
// NativeApprovalNode trees. Anything the scan misses that it needed (budget
// overrun, time-out, an unreadable window or node, an over-long text, a
// cycle) clears `complete` instead of yielding a partial tree that looks
// whole; an unrecognised child list clears `questionTreeComplete`.
//
// One reader per scan, used for exactly one readWindows() call and then
// consulted for its flags, `elements` and `windowTitles`. Confined to the
// native monitor's serial queue. It sets nothing in WorkBuddy except
// "AXManualAccessibility" on the application element.

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "core/native/NativeApprovalNode.h"
#include "core/native/NativeScanCoverage.h"
#include "platform/Accessibility.h"
#include "support/Clock.h"

namespace notch {

// Production values; tests shrink them.
struct AXReadLimits {
  double scanBudget = 0.45;       // seconds of uptime from the reader's creation
  double messagingTimeout = 0.06; // set on every element before it is read
  int nodeBudget = 1'800;         // nodes read at most
  int deepestNode = 36;           // the window is depth 0
  int mostWindows = 12;
  std::size_t longestText = 65'536;
  std::size_t allTextBytes = 1'048'576;
};

class AXRead {
public:
  using Limits = AXReadLimits;

  AXRead(const Accessibility& accessibility, const Clock& clock, std::int32_t pid, Limits limits = {});

  // The window root nodes. With `allowQuestionFallback`, an empty window
  // list may be replaced by the main window when main and focused window
  // agree.
  std::vector<NativeApprovalNode> readWindows(bool allowQuestionFallback);

  bool complete() const { return complete_; }
  bool questionTreeComplete() const { return questionTreeComplete_; }
  int primaryWindowCount() const { return primaryWindowCount_; }
  bool agreedQuestionFallback() const { return agreedQuestionFallback_; }
  int scannedRootCount() const { return scannedRootCount_; }
  int nodes() const { return nodes_; }
  std::size_t textBytes() const { return textBytes_; }
  NativeScanCoverage coverage() const;

  // Every counted node's live element, by node id.
  const std::map<std::string, AXElementRef>& elements() const { return elements_; }
  // The live element of the node `id`, or nullptr when the scan has none.
  const AXElementRef* element(const std::string& id) const {
    const auto found = elements_.find(id);
    return found != elements_.end() ? &found->second : nullptr;
  }
  // Each scanned window's title, by the window node's id.
  const std::map<std::string, std::string>& windowTitles() const { return windowTitles_; }

private:
  bool budgetHolds() const;
  bool checkBudget(); // clears `complete` when the budget is spent
  std::optional<AXValue> copyAttribute(const AXElementRef& element, const char* name);
  std::optional<std::vector<AXElementRef>> windowList(bool allowQuestionFallback);
  struct FallbackWindow {
    AXElementRef element;
    std::int32_t pid = 0;
  };
  std::optional<FallbackWindow> fallbackWindow(const AXElementRef& application, const char* attribute);
  std::optional<NativeApprovalNode> readWindow(const AXElementRef& window);
  std::optional<NativeApprovalNode> readNode(const AXElementRef& element, int depth,
                                             std::vector<AXElementRef>& ancestors, const NodeFrame& windowFrame);
  std::optional<NativeApprovalNode> fail();

  const Accessibility& accessibility_;
  const Clock& clock_;
  const std::int32_t pid_;
  const Limits limits_;
  const double deadline_;

  bool complete_ = true;
  bool questionTreeComplete_ = true;
  int primaryWindowCount_ = -1;
  bool agreedQuestionFallback_ = false;
  int scannedRootCount_ = 0;
  int nodes_ = 0;
  std::size_t textBytes_ = 0;
  std::map<std::string, AXElementRef> elements_;
  std::map<std::string, std::string> windowTitles_;
};

} // namespace notch
