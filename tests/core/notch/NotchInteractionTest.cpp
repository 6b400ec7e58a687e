#include <gtest/gtest.h>

#include <random>
#include <set>

#include "core/notch/NotchInteraction.h"
#include "support/Uuid.h"

namespace notch {
namespace {

using Kind = NotchInteraction::Feedback::Kind;
constexpr double kT = 700'000'000.0;

ApprovalRequest request(double now, std::string tool = "Bash", std::string event = "PermissionRequest") {
  return {Uuid::random().string(), "", std::move(tool), "{}", "", std::move(event), now + 50, "workbuddy"};
}

TEST(NotchInteractionTest, RefusalsAndReceipts) {
  NotchInteraction state;
  ApprovalRequest shown = request(kT, "Bash", "NativeApproval");
  shown.expiresAt = kT;
  EXPECT_FALSE(state.receive(shown, kT) || state.receive(request(kT, "AskUserQuestion"), kT) ||
               state.receive(request(kT, "Bash", "PreToolUse"), kT));
  shown.expiresAt = kT + 0.001;
  const ApprovalRequest behind = request(kT, "AskUserQuestion", "NativeApproval"), late = request(kT);
  ASSERT_TRUE(state.receive(shown, kT) && state.receive(behind, kT)); // native cards skip the policy
  state.disconnected(behind.id, kT);                                  // not on screen: silently gone
  EXPECT_TRUE(!state.feedback() && state.requests().size() == 1u);
  state.disconnected(shown.id, kT);
  EXPECT_TRUE(state.feedback()->kind == Kind::unavailable && state.feedback()->isNative && !state.canAutoCollapse());
  EXPECT_EQ(state.readyAt(), NotchInteraction::farFuture); // disarmed until the receipt is dismissed
  state.dismissFeedback(kT);
  state.receive(late, kT);
  state.disconnected(late.id, late.expiresAt);
  EXPECT_EQ(state.feedback()->kind, Kind::expired);
}

// Across random sequences of every operation with random time steps, a
// decision is accepted only for the request on screen, never while a receipt
// shows, never sooner than the guard after that request became visible, and
// never after it expired; a receipt keeps the selection.
TEST(NotchInteractionTest, RandomSequencesNeverBreakTheGuard) {
  std::mt19937 random(4501);
  std::uniform_real_distribution<double> step(0.0, 0.6);
  for (int sequence = 0; sequence < 2000; ++sequence) {
    NotchInteraction state;
    double now = kT, visibleSince = now;
    std::optional<std::string> shownBefore;
    for (int operation = 0; operation < 40; ++operation) {
      now += random() % 4 == 0 ? 0.0 : step(random);
      const auto& waiting = state.requests();
      const std::string someID =
          waiting.empty() || random() % 6 == 0 ? Uuid::random().string() : waiting[random() % waiting.size()].id;
      const auto idOf = [](const ApprovalRequest* shown) { return shown ? std::optional(shown->id) : std::nullopt; };
      const std::optional<std::string> currentBefore = idOf(state.current());
      const bool feedbackBefore = state.feedback().has_value();
      const int choice = static_cast<int>(random() % 11); // 0 and 1 receive
      // clang-format off
      const std::function<void()> operations[] = {[&] {
            ApprovalRequest incoming = request(now, random() % 8 == 0 ? "AskUserQuestion" : "Bash",
                                               random() % 5 == 0 ? "NativeApproval" : "PermissionRequest");
            incoming.expiresAt = now + step(random) * 5 - 0.5;
            incoming.id = random() % 8 == 0 && !waiting.empty() ? waiting.front().id : incoming.id; // a duplicate
            state.receive(incoming, now); },
          [&] { state.pointerEntered(); }, [&] { state.pointerLeft(); },
          [&] { state.expand(now); }, [&] { state.collapse(); }, [&] { state.select(someID, now); },
          [&] { state.finish(someID, Kind(random() % 5), random() % 2); }, [&] { state.disconnected(someID, now); },
          [&] { state.dismissFeedback(now); }, [&] { state.setShowAllParameters(random() % 2 == 0); }};
      // clang-format on
      operations[std::max(choice - 1, 0)]();
      std::set<std::string> ids;
      for (const ApprovalRequest& each : state.requests()) {
        ASSERT_TRUE(ids.insert(each.id).second) << "duplicate id";
      }
      ASSERT_TRUE(!state.selectedID() || ids.contains(*state.selectedID())) << "selection names no waiting request";
      if (feedbackBefore && state.feedback() && choice != 7 && currentBefore && ids.contains(*currentBefore)) {
        ASSERT_EQ(state.current()->id, *currentBefore) << "selection moved while a receipt showed";
      }
      // The guard, judged from what the user can see.
      const auto shown = state.expanded() && !state.feedback() ? idOf(state.current()) : std::nullopt;
      if (shown != shownBefore) {
        visibleSince = now;
        shownBefore = shown;
      }
      for (const ApprovalRequest& each : state.requests()) {
        for (double probe : {now, now + 0.2, now + 0.449, now + 0.45, now + 1.0}) {
          if (state.canDecide(each.id, probe)) {
            ASSERT_EQ(shown, each.id) << "a decision for a request not on screen";
            ASSERT_GE(probe, visibleSince + 0.45) << "armed too early"; // the guard's delay
            ASSERT_LT(probe, each.expiresAt) << "armed after expiry";
          }
        }
      }
    }
  }
}

} // namespace
} // namespace notch
