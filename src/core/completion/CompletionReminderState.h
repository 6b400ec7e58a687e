#pragma once

// Decides, from the stream of turn starts and ends, when the notch reminds
// the user that a WorkBuddy turn has finished: only for a turn the app saw
// start, that ended "completed", while WorkBuddy was in the background.
// Everything stale, duplicated, mismatched, interrupted, cancelled, failed
// or unknown is swallowed. Ends pair with starts by session, generation,
// agent and process; reminders queue (at most 16), show one at a time for at
// most 30 s, and may open the notch by themselves at most once each.
//
// The session and start tables are bounded for memory, not closed: when one
// is full, a new session evicts an ended turn before the oldest running one,
// and a new start the oldest remembered start, so reminders keep working
// however long the app runs.
//
// A value used by the app model on the main thread; it never reads a clock.

#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <set>
#include <string>

#include "core/completion/CompletionEvent.h"
#include "support/Uuid.h"

namespace notch {

struct CompletionReminder {
  Uuid token;
  CompletionEvent event; // the `ended` event that caused it
  std::int32_t pid = 0;
  double receivedAt = 0; // wall clock

  friend bool operator==(const CompletionReminder&, const CompletionReminder&) = default;
};

class CompletionReminderState {
public:
  static constexpr double eventAgeWindow = 3.0;
  static constexpr double reminderLifetime = 30.0;
  static constexpr double presentationDelay = 0.8;
  static constexpr std::size_t reminderCapacity = 16;
  static constexpr std::size_t trackedSessionLimit = 256;
  static constexpr std::size_t rememberedStartLimit = 4'096;

  void observe(const CompletionEvent& event, std::optional<std::int32_t> pid, bool background, bool enabled,
               double now);
  void refresh(double now);
  std::optional<Uuid> claimAutoExpansion(bool canPresent, double now);
  void collapse();
  void dismiss(const Uuid& token);
  void clearPresentation();
  void reset() { *this = CompletionReminderState(); }

  const std::optional<CompletionReminder>& current() const { return current_; }
  bool hasBeenPresented() const { return hasBeenPresented_; }
  std::size_t queuedCount() const { return queue_.size() + (current_ ? 1 : 0); }
  std::size_t trackedSessionCount() const { return turns_.size(); }
  // A table is full, so new turns now make the app forget old ones.
  bool trackingLimited() const {
    return turns_.size() >= trackedSessionLimit || seenStarts_.size() >= rememberedStartLimit;
  }

private:
  struct Turn {
    std::string generation;
    std::optional<std::string> agent;
    std::int32_t pid = 0;
    double lastAt = 0;
    bool ended = false;
    friend bool operator==(const Turn&, const Turn&) = default;
  };
  using Identity = std::pair<std::string, std::string>; // session, generation

  void observeEnded(const CompletionEvent& event, std::optional<std::int32_t> pid, bool background, double now);
  void observeStarted(const CompletionEvent& event, std::optional<std::int32_t> pid);
  void dropSession(const std::string& session);
  void makeRoomForSession();
  void makeRoomForStart();

  std::map<std::string, Turn> turns_;
  std::set<Identity> seenStarts_;
  std::deque<Identity> startOrder_; // seenStarts_, oldest first
  std::deque<CompletionReminder> queue_;
  std::optional<CompletionReminder> current_;
  bool hasBeenPresented_ = false;

public:
  friend bool operator==(const CompletionReminderState&, const CompletionReminderState&) = default;
};

} // namespace notch
