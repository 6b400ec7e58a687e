#pragma once

// Decides when a question reminder may show in the notch, lets it expand by
// itself at most once per flow, and guards the single hand-off that brings
// WorkBuddy to the front. It never answers, pages or submits anything.
//
// A question shows from its second identical consecutive observation; an
// absence hides it and two absences end the flow; an unavailable observation
// hides it without ending the flow. Stale tokens are refused.
//
// A value used by the app model on the main thread.

#include <optional>
#include <string>
#include <variant>

#include "core/notch/QuestionReminder.h"
#include "support/Uuid.h"

namespace notch {

class QuestionReminderState {
public:
  struct Waiting {
    QuestionReminder reminder;
    friend bool operator==(const Waiting&, const Waiting&) = default;
  };
  struct Absent {
    friend bool operator==(const Absent&, const Absent&) = default;
  };
  struct Unavailable {
    friend bool operator==(const Unavailable&, const Unavailable&) = default;
  };
  using Observation = std::variant<Waiting, Absent, Unavailable>;

  struct PresentationToken {
    Uuid value;
    friend bool operator==(const PresentationToken&, const PresentationToken&) = default;
    friend auto operator<=>(const PresentationToken&, const PresentationToken&) = default;
  };

  enum class HandoffStatus { idle, inFlight, activated, activationFailed };

  struct Handoff {
    PresentationToken token;
    QuestionReminder reminder;
    std::int32_t pid() const { return reminder.pid; }
    friend bool operator==(const Handoff&, const Handoff&) = default;
  };

  void observe(const Observation& observation);
  std::optional<PresentationToken> claimAutoExpansion(bool canPresent);
  void collapse();
  std::optional<Handoff> beginHandoff(const PresentationToken& token, bool canPresent);
  bool completeHandoff(const PresentationToken& token, bool activated);

  const std::optional<PresentationToken>& token() const { return token_; }
  const std::optional<QuestionReminder>& visibleReminder() const { return visibleReminder_; }
  bool hasBeenPresented() const { return hasBeenPresented_; }
  HandoffStatus handoffStatus() const { return handoffStatus_; }

private:
  struct Identity {
    std::string flowID;
    std::int32_t pid = 0;
    friend bool operator==(const Identity&, const Identity&) = default;
  };

  void observeWaiting(const QuestionReminder& reminder);
  void observeAbsent();
  void observeUnavailable();

  std::optional<PresentationToken> token_;
  std::optional<QuestionReminder> visibleReminder_;
  bool hasBeenPresented_ = false;
  HandoffStatus handoffStatus_ = HandoffStatus::idle;
  std::optional<Identity> identity_;
  std::optional<QuestionReminder> previousWaiting_;
  int waitingCount_ = 0;
  int absenceCount_ = 0;

public:
  friend bool operator==(const QuestionReminderState&, const QuestionReminderState&) = default;
};

} // namespace notch
