#pragma once

// The approval side of the notch, free of any platform: which requests wait,
// which one is shown, whether the notch is open, where the pointer is, whether
// the decision buttons are armed, and the receipt that replaces an answered or
// vanished request.
//
// The arming guard is its central rule: whenever a request becomes newly
// visible (first arrival, arrival while closed, expand, select, a dismissed
// receipt) decisions are refused until `handoffDelay` later, so that a click
// aimed at something else, or the double click that opened the notch, never
// approves or denies anything. While a receipt shows, `select` changes
// nothing and no decision is accepted.
//
// A value; the app model owns one and calls it on the main thread with the
// current wall-clock time. It never reads a clock.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/bridge/ApprovalRequest.h"
#include "support/Uuid.h"

namespace notch {

class NotchInteraction {
public:
  // A receipt shown in place of a request that was answered or went away.
  struct Feedback {
    enum class Kind { allowed, denied, returned, expired, unavailable };

    Uuid id; // fresh per receipt, so timers can tell receipts apart
    Kind kind = Kind::allowed;
    bool isDemo = false;   // a built-in demonstration; nothing was executed
    bool isNative = false; // came from a native WorkBuddy card

    friend bool operator==(const Feedback&, const Feedback&) = default;
  };

  static constexpr double handoffDelay = 0.45;
  // "Never" as a finite wall-clock instant (year 4001), so that arithmetic
  // on readyAt stays finite.
  static constexpr double farFuture = 63'113'904'000.0;

  // Adds a request; false (and nothing changes) for a refused event or tool
  // (native cards excepted), an expired request or a duplicate id.
  bool receive(const ApprovalRequest& request, double now);

  // Records the pointer inside; true when a hover may open the notch.
  bool pointerEntered();
  void pointerLeft();

  void expand(double now);
  void collapse();
  void select(const std::string& id, double now);

  bool canDecide(const std::string& id, double now) const;

  // Removes the request and shows its receipt (nothing for an unknown id).
  void finish(const std::string& id, Feedback::Kind kind, bool isDemo);
  // The request's connection or card went away.
  void disconnected(const std::string& id, double now);
  void dismissFeedback(double now);

  // The selected request, else the first; nullptr when none waits.
  const ApprovalRequest* current() const;
  bool canAutoCollapse() const;

  const std::vector<ApprovalRequest>& requests() const { return requests_; }
  const std::optional<std::string>& selectedID() const { return selectedID_; }
  bool expanded() const { return expanded_; }
  bool pointerInside() const { return pointerInside_; }
  bool hoverBlockedUntilExit() const { return hoverBlockedUntilExit_; }
  const std::optional<Feedback>& feedback() const { return feedback_; }
  double readyAt() const { return readyAt_; }
  bool showAllParameters() const { return showAllParameters_; }
  void setShowAllParameters(bool show) { showAllParameters_ = show; }

private:
  const ApprovalRequest* find(std::string_view id) const;
  // Removes every request with `id`.
  void remove(std::string_view id);
  void selectFirstRemaining();
  void arm(double now) { readyAt_ = now + handoffDelay; }

  std::vector<ApprovalRequest> requests_;
  std::optional<std::string> selectedID_;
  bool expanded_ = false;
  bool pointerInside_ = false;
  bool hoverBlockedUntilExit_ = false;
  std::optional<Feedback> feedback_;
  double readyAt_ = farFuture;
  bool showAllParameters_ = false;

public:
  friend bool operator==(const NotchInteraction&, const NotchInteraction&) = default;
};

} // namespace notch
