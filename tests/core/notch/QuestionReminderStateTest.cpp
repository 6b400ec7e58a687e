#include <gtest/gtest.h>

#include "core/notch/QuestionFlowIdentity.h"
#include "core/notch/QuestionReminderState.h"

namespace notch {
namespace {

using State = QuestionReminderState;

QuestionReminder question(int page = 1, std::string flow = "flow-A", std::string title = "选择部署环境") {
  return QuestionReminder{std::move(flow), 4242, std::move(title), page, 3};
}

// Observes `seen` and tells whether a reminder shows.
bool see(State& state, const State::Observation& seen) {
  state.observe(seen);
  return state.visibleReminder().has_value();
}
bool see(State& state, const QuestionReminder& reminder) { return see(state, State::Waiting{reminder}); }

TEST(QuestionReminderStateTest, ShowsFromTheSecondIdenticalObservation) {
  State state;
  EXPECT_FALSE(see(state, question(1)));
  const auto token = state.token();
  ASSERT_TRUE(token);
  EXPECT_FALSE(see(state, question(2)));                           // a new page restarts the count
  EXPECT_TRUE(see(state, question(2)) && see(state, question(2))); // and it stays from the third on
  EXPECT_EQ(state.visibleReminder(), question(2));
  for (const State::Observation& gap :
       {State::Observation{State::Absent{}}, State::Observation{State::Unavailable{}}}) {
    EXPECT_FALSE(see(state, gap) || see(state, question(2)));       // the gap cleared the count
    EXPECT_TRUE(see(state, question(2)) && state.token() == token); // one gap does not restart the flow
  }
  see(state, State::Absent{}), see(state, State::Absent{});
  EXPECT_FALSE(state.token()); // two absences end the flow
  see(state, question(2));
  EXPECT_NE(state.token(), token);
  for (const QuestionReminder& invalid :
       {question(0), question(4), question(1, " "), question(1, "flow-A", "\n"), QuestionReminder{"f", 0, "t", 1, 1}}) {
    EXPECT_FALSE(see(state, invalid) || see(state, invalid));
  }
}

TEST(QuestionReminderStateTest, HandsOffOnceAndACollapseEndsTheAutoExpansion) {
  State state;
  see(state, question()), see(state, question());
  const auto token = *state.token();
  EXPECT_EQ(state.beginHandoff(token, true), (State::Handoff{token, question()}));
  EXPECT_FALSE(state.beginHandoff(token, true)); // one hand-off per flow
  EXPECT_TRUE(state.completeHandoff(token, true) && state.handoffStatus() == State::HandoffStatus::activated);
  EXPECT_FALSE(state.completeHandoff(token, true));
  EXPECT_FALSE(see(state, question()) || see(state, question())); // withdrawn for the rest of the flow
  see(state, question(1, "flow-B")), see(state, question(1, "flow-B"));
  state.collapse();
  EXPECT_TRUE(state.hasBeenPresented() && !state.claimAutoExpansion(true));
}

TEST(QuestionFlowIdentityTest, AFlowEndsWithAnotherProcessOrAChangedPage) {
  QuestionFlowIdentity identity;
  const auto flow = identity.identify("card", 4242, "第一题", 1, 3);
  EXPECT_EQ(identity.identify("card", 4242, "第二题", 2, 3), flow);
  const auto other = identity.identify("card", 4243, "第二题", 2, 3);
  EXPECT_NE(other, flow);
  EXPECT_NE(identity.identify("card", 4243, "另一个问题", 2, 3), other);
}

// Each row: binding, pid, title, page, pages, whether a flow is given. Binding and title must be clean text: not
// blank, within their byte limits, no hidden characters (line breaks and joiners only in the title), valid UTF-8.
TEST(QuestionFlowIdentityTest, RefusesUntrustworthyObservations) {
  const std::tuple<std::string, int, std::string, int, int, bool> rows[] = {
      // clang-format off
      {"card", 0, "题", 1, 1, false}, {"card", 1, "题", 1, 101, false}, {"card", 1, "题", 100, 100, true},
      {"card", 1, "题", 0, 3, false}, {"card", 1, "题", 4, 3, false}, {"car\u200Dd", 1, "题", 1, 1, false},
      {"card", 1, "👩\u200D💻 题\n第二行\t", 1, 1, true}, {"card", 1, "题\u202E", 1, 1, false}, {"a\tb", 1, "题", 1, 1, false},
      {"card", 1, " \n ", 1, 1, false}, {"card", 1, "a\x01", 1, 1, false}, {"card", 1, "a\u200Bb", 1, 1, false},
      {"card", 1, "a\xC3", 1, 1, false}, {"card", 1, std::string(8'193, 'x'), 1, 1, false},
      {"card", 1, std::string(8'191, 'x') + "\n", 1, 1, true}, {std::string(1'025, 'b'), 1, "题", 1, 1, false},
      {std::string(1'024, 'b'), 1, "题", 1, 1, true}};
  // clang-format on
  for (const auto& [binding, pid, title, page, pages, accepted] : rows) {
    EXPECT_EQ(QuestionFlowIdentity().identify(binding, pid, title, page, pages).has_value(), accepted)
        << binding.substr(0, 9) << " " << pid << " " << title.substr(0, 12) << " " << page << "/" << pages;
  }
}

} // namespace
} // namespace notch
