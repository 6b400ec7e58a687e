#include "core/completion/CompletionReminderState.h"

#include <cmath>

namespace notch {
namespace {

bool isAlive(const CompletionReminder& reminder, double now) {
  const double age = now - reminder.receivedAt;
  return age >= 0 && age < CompletionReminderState::reminderLifetime;
}

} // namespace

void CompletionReminderState::dropSession(const std::string& session) {
  std::erase_if(queue_, [&](const CompletionReminder& reminder) { return reminder.event.sessionID == session; });
  if (current_ && current_->event.sessionID == session) {
    current_.reset();
    hasBeenPresented_ = false;
  }
}

void CompletionReminderState::observe(const CompletionEvent& event, std::optional<std::int32_t> pid, bool background,
                                      bool enabled, double now) {
  if (!enabled) {
    reset();
    return;
  }
  refresh(now);
  const double age = now - event.observedAt;
  if (!event.isValid() || !std::isfinite(now) || age < 0 || age > eventAgeWindow) {
    return;
  }
  if (event.kind == CompletionEvent::Kind::ended) {
    observeEnded(event, pid, background, now);
  } else {
    observeStarted(event, pid);
  }
}

void CompletionReminderState::observeEnded(const CompletionEvent& event, std::optional<std::int32_t> pid,
                                           bool background, double now) {
  if (!event.generationID || !pid || *pid < 1) {
    return;
  }
  const auto found = turns_.find(event.sessionID);
  if (found == turns_.end()) {
    return;
  }
  Turn& turn = found->second;
  if (turn.ended || turn.generation != *event.generationID || turn.agent != event.agentID || turn.pid != *pid ||
      event.observedAt < turn.lastAt) {
    return;
  }
  turn.ended = true;
  turn.lastAt = event.observedAt;
  dropSession(event.sessionID); // an ending turn withdraws older reminders of its session
  if (event.reason == CompletionEvent::Reason::completed && background && queuedCount() < reminderCapacity) {
    queue_.push_back(CompletionReminder{Uuid::random(), event, *pid, now});
  }
}

void CompletionReminderState::observeStarted(const CompletionEvent& event, std::optional<std::int32_t> pid) {
  if (!pid || *pid < 1) {
    return;
  }
  const auto found = turns_.find(event.sessionID);
  if (found != turns_.end() && event.observedAt < found->second.lastAt) {
    return;
  }
  if (!event.generationID) {
    // A start that cannot be tracked closes the previous turn, so that its
    // end can no longer remind.
    dropSession(event.sessionID);
    if (found != turns_.end()) {
      found->second.ended = true;
      found->second.lastAt = event.observedAt;
    }
    return;
  }
  if (found != turns_.end() && found->second.agent != event.agentID) {
    return;
  }
  const Identity identity{event.sessionID, *event.generationID};
  if (seenStarts_.contains(identity)) {
    return;
  }
  if (found == turns_.end() && turns_.size() >= trackedSessionLimit) {
    makeRoomForSession();
  }
  if (seenStarts_.size() >= rememberedStartLimit) {
    makeRoomForStart();
  }
  seenStarts_.insert(identity);
  startOrder_.push_back(identity);
  dropSession(event.sessionID);
  turns_[event.sessionID] = Turn{*event.generationID, event.agentID, *pid, event.observedAt, false};
}

// Forgets one session: the ended turn seen last longest ago, or, when every
// tracked turn still runs, the running turn quiet for longest (its end can
// then no longer remind). Reminders already queued for it stay.
void CompletionReminderState::makeRoomForSession() {
  auto victim = turns_.end();
  for (auto it = turns_.begin(); it != turns_.end(); ++it) {
    if (victim == turns_.end() || std::pair(!it->second.ended, it->second.lastAt) <
                                      std::pair(!victim->second.ended, victim->second.lastAt)) {
      victim = it;
    }
  }
  if (victim != turns_.end()) {
    turns_.erase(victim);
  }
}

// Forgets the oldest remembered start. Starts only guard against
// duplicates, and a duplicate older than the event age window is refused
// anyway; with thousands remembered, the oldest is far beyond it.
void CompletionReminderState::makeRoomForStart() {
  seenStarts_.erase(startOrder_.front());
  startOrder_.pop_front();
}

void CompletionReminderState::refresh(double now) {
  if (!std::isfinite(now)) {
    clearPresentation();
    return;
  }
  std::erase_if(queue_, [now](const CompletionReminder& reminder) { return !isAlive(reminder, now); });
  if (current_ && !isAlive(*current_, now)) {
    current_.reset();
    hasBeenPresented_ = false;
  }
  if (!current_ && !queue_.empty() && now - queue_.front().receivedAt >= presentationDelay) {
    current_ = std::move(queue_.front());
    queue_.pop_front();
    hasBeenPresented_ = false;
  }
}

std::optional<Uuid> CompletionReminderState::claimAutoExpansion(bool canPresent, double now) {
  refresh(now);
  if (!canPresent || hasBeenPresented_ || !current_) {
    return std::nullopt;
  }
  hasBeenPresented_ = true;
  return current_->token;
}

void CompletionReminderState::collapse() {
  if (current_) {
    hasBeenPresented_ = true;
  }
}

void CompletionReminderState::dismiss(const Uuid& token) {
  if (current_ && current_->token == token) {
    current_.reset();
    hasBeenPresented_ = false;
  }
}

void CompletionReminderState::clearPresentation() {
  queue_.clear();
  current_.reset();
  hasBeenPresented_ = false;
}

} // namespace notch
