#include <gtest/gtest.h>

#include "core/completion/CompletionReminderState.h"
#include "support/Uuid.h"

namespace notch {
namespace {

using Reason = CompletionEvent::Reason;
constexpr double kT = 800'000'000.0;
constexpr std::int32_t kPid = 100;

CompletionEvent start(std::string session, std::optional<std::string> generation, double at,
                      std::optional<std::string> agent = std::nullopt) {
  return {Uuid::random().string(), session, generation, agent, CompletionEvent::Kind::started, std::nullopt, at};
}

CompletionEvent end(std::string session, std::optional<std::string> generation, double at,
                    Reason reason = Reason::completed, std::optional<std::string> agent = std::nullopt) {
  return {Uuid::random().string(), session, generation, agent, CompletionEvent::Kind::ended, reason, at};
}

// Observes at the moment the event was observed.
void feed(CompletionReminderState& state, const CompletionEvent& event, bool background = true,
          std::optional<std::int32_t> pid = kPid) {
  state.observe(event, pid, background, true, event.observedAt);
}

TEST(CompletionReminderStateTest, RemindsOnlyForMatchingCompletedBackgroundTurns) {
  // A reminder shows from exactly 0.8 s after it was received (times chosen
  // so that the difference is exact).
  CompletionReminderState state;
  feed(state, start("s", "g", 0.0));
  feed(state, end("s", "g", 0.5));
  EXPECT_EQ(state.queuedCount(), 1u);
  state.refresh(1.2999);
  EXPECT_FALSE(state.current());
  state.refresh(1.3);
  EXPECT_EQ(state.current().value().pid, kPid);

  // Nothing for turns in front, other outcomes, mismatches or repeats.
  CompletionReminderState quiet;
  feed(quiet, start("front", "g", kT));
  feed(quiet, end("front", "g", kT + 1), false);
  for (Reason reason : {Reason::interrupted, Reason::cancelled, Reason::failed, Reason::unknown}) {
    const std::string session = "r" + std::to_string(static_cast<int>(reason));
    feed(quiet, start(session, "g", kT));
    feed(quiet, end(session, "g", kT + 1, reason));
  }
  feed(quiet, end("never-started", "g", kT + 1));
  feed(quiet, start("m", "g", kT, "agent-1"));
  feed(quiet, end("m", "other", kT + 1, Reason::completed, "agent-1"));
  feed(quiet, end("m", "g", kT + 1, Reason::completed, "agent-2"));
  feed(quiet, end("m", "g", kT + 1, Reason::completed, "agent-1"), true, 101);
  feed(quiet, end("m", std::nullopt, kT + 1, Reason::completed, "agent-1"));
  EXPECT_EQ(quiet.queuedCount(), 0u);
  feed(quiet, end("m", "g", kT + 1, Reason::completed, "agent-1")); // the turn was still running
  EXPECT_EQ(quiet.queuedCount(), 1u);
  feed(quiet, end("m", "g", kT + 1.5, Reason::completed, "agent-1")); // already ended
  EXPECT_EQ(quiet.queuedCount(), 1u);

  feed(quiet, start("late", "g", kT + 10));
  quiet.observe(end("late", "g", kT + 9.5), kPid, true, true, kT + 10.5); // observed before its start
  EXPECT_EQ(quiet.queuedCount(), 1u);

  // Too old, or from the future.
  CompletionReminderState timing;
  timing.observe(start("s", "g", kT), kPid, true, true, kT + 3.5);
  timing.observe(start("s", "g", kT), kPid, true, true, kT - 0.1);
  EXPECT_EQ(timing.trackedSessionCount(), 0u);
}

TEST(CompletionReminderStateTest, StartsPairExactlyAndWithdrawOlderReminders) {
  CompletionReminderState state;
  feed(state, start("s", "g1", kT));
  feed(state, start("s", "g1", kT + 1)); // duplicate: ignored, lastAt stays
  feed(state, end("s", "g1", kT + 0.5)); // still pairs, as lastAt is kT
  EXPECT_EQ(state.queuedCount(), 1u);
  state.refresh(kT + 2);
  ASSERT_TRUE(state.current());

  feed(state, start("s", "g2", kT + 3)); // a new turn withdraws the reminder
  EXPECT_EQ(state.queuedCount(), 0u);
  feed(state, start("s", std::nullopt, kT + 4)); // untrackable start closes the turn
  feed(state, end("s", "g2", kT + 4.5));
  EXPECT_EQ(state.queuedCount(), 0u);
  state.observe(start("s", "g9", kT + 8), kPid, true, false, kT + 8); // switched off: everything goes
  EXPECT_EQ(state.trackedSessionCount(), 0u);
}

TEST(CompletionReminderStateTest, PresentsOneAtATimeWithinItsLimits) {
  CompletionReminderState state;
  for (int i = 0; i < 17; ++i) {
    feed(state, start("s" + std::to_string(i), "g", kT));
  }
  for (int i = 0; i < 17; ++i) {
    feed(state, end("s" + std::to_string(i), "g", kT + 1));
  }
  EXPECT_EQ(state.queuedCount(), 16u);

  const auto token = state.claimAutoExpansion(true, kT + 2);
  ASSERT_TRUE(token);
  EXPECT_FALSE(state.claimAutoExpansion(true, kT + 2)); // once per reminder
  state.collapse();
  EXPECT_FALSE(state.claimAutoExpansion(true, kT + 3));
  state.dismiss(*token);
  EXPECT_FALSE(state.claimAutoExpansion(false, kT + 3));
  const auto next = state.claimAutoExpansion(true, kT + 3);
  ASSERT_TRUE(next);
  EXPECT_NE(next, token);

  state.refresh(kT + 1 + 29.75);
  EXPECT_EQ(state.queuedCount(), 15u);
  state.refresh(kT + 1 + 30); // everything received at kT + 1 has lived 30 s
  EXPECT_EQ(state.queuedCount(), 0u);
}

// The table is a memory bound: a full one forgets ended turns first, then
// the turn quiet for longest.
TEST(CompletionReminderStateTest, FullTablesForgetOldTurnsInsteadOfNewOnes) {
  const auto session = [](int i) { return "session-" + std::to_string(i); };
  CompletionReminderState crowded;
  for (int i = 0; i < 256; ++i) {
    feed(crowded, start(session(i), "g", kT + i * 0.001));
  }
  feed(crowded, start(session(256), "g", kT + 1)); // evicts session-0, the oldest running turn
  EXPECT_EQ(crowded.trackedSessionCount(), 256u);
  EXPECT_TRUE(crowded.trackingLimited());
  feed(crowded, end(session(0), "g", kT + 1.1));
  EXPECT_EQ(crowded.queuedCount(), 0u);
  feed(crowded, end(session(7), "g", kT + 1.2), false); // ended in front: no reminder, but ended
  feed(crowded, start(session(257), "g", kT + 1.3));    // evicts the ended session-7, not session-1
  for (const int kept : {1, 256, 257}) {
    feed(crowded, end(session(kept), "g", kT + 1.4));
  }
  EXPECT_EQ(crowded.queuedCount(), 3u);
}

} // namespace
} // namespace notch
