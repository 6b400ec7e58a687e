#include <gtest/gtest.h>

#include "core/text/CleanText.h"
#include "core/notch/QuestionFlowIdentity.h"
#include "core/notch/QuestionReminderState.h"

namespace notch {
namespace {

using State = QuestionReminderState;

QuestionReminder question(int page = 1, std::string flow = "flow-A", std::string title = "选择部署环境") {
  return QuestionReminder{std::move(flow), 4242, std::move(title), page, 3};
}

State::Observation waiting(const QuestionReminder& reminder) { return State::Waiting{reminder}; }

TEST(QuestionReminderStateTest, ShowsFromTheSecondIdenticalObservation) {
  State state;
  state.observe(waiting(question(1)));
  EXPECT_FALSE(state.visibleReminder());
  const auto token = state.token();
  ASSERT_TRUE(token);
  state.observe(waiting(question(2))); // a new page restarts the count
  EXPECT_FALSE(state.visibleReminder());
  state.observe(waiting(question(2)));
  EXPECT_EQ(state.visibleReminder(), question(2));
  EXPECT_EQ(state.token(), token); // same flow, same token
  state.observe(waiting(question(2))); // and it stays from the third on
  EXPECT_EQ(state.visibleReminder(), question(2));

  state.observe(State::Absent{});
  EXPECT_FALSE(state.visibleReminder());
  state.observe(waiting(question(2)));
  EXPECT_FALSE(state.visibleReminder()); // the absence cleared the count
  state.observe(waiting(question(2)));
  EXPECT_TRUE(state.visibleReminder());

  state.observe(State::Unavailable{});
  EXPECT_FALSE(state.visibleReminder());
  state.observe(waiting(question(2)));
  state.observe(waiting(question(2)));
  EXPECT_TRUE(state.visibleReminder());
  EXPECT_EQ(state.token(), token); // unavailable does not restart the flow

  state.observe(State::Absent{});
  state.observe(State::Absent{});
  EXPECT_FALSE(state.token()); // two absences end the flow
  state.observe(waiting(question(2)));
  ASSERT_TRUE(state.token());
  EXPECT_NE(state.token(), token);

  for (const QuestionReminder& invalid :
       {question(0), question(4), question(1, " "), question(1, "flow-A", "\n"), QuestionReminder{"f", 0, "t", 1, 1}}) {
    state.observe(waiting(invalid));
    state.observe(waiting(invalid));
    EXPECT_FALSE(state.visibleReminder());
  }
}

TEST(QuestionReminderStateTest, ExpandsByItselfOnceAndHandsOffOnce) {
  State state;
  EXPECT_FALSE(state.claimAutoExpansion(true)); // nothing visible yet
  state.observe(waiting(question()));
  state.observe(waiting(question()));
  EXPECT_FALSE(state.claimAutoExpansion(false));
  const auto token = state.claimAutoExpansion(true);
  ASSERT_TRUE(token);
  EXPECT_FALSE(state.claimAutoExpansion(true));

  EXPECT_FALSE(state.beginHandoff(State::PresentationToken{Uuid::random()}, true)); // stale token
  EXPECT_FALSE(state.beginHandoff(*token, false));
  const auto handoff = state.beginHandoff(*token, true);
  ASSERT_TRUE(handoff);
  EXPECT_EQ(handoff->pid(), 4242);
  EXPECT_EQ(handoff->reminder, question());
  EXPECT_FALSE(state.beginHandoff(*token, true)); // one hand-off per flow

  EXPECT_FALSE(state.completeHandoff(State::PresentationToken{Uuid::random()}, true));
  EXPECT_TRUE(state.completeHandoff(*token, true));
  EXPECT_EQ(state.handoffStatus(), State::HandoffStatus::activated);
  EXPECT_FALSE(state.completeHandoff(*token, true));
  state.observe(waiting(question()));
  state.observe(waiting(question()));
  EXPECT_FALSE(state.visibleReminder()); // withdrawn for the rest of the flow

  // Another flow starts fresh; a failed activation keeps the reminder but
  // offers no second hand-off.
  state.observe(waiting(question(1, "flow-B")));
  state.observe(waiting(question(1, "flow-B")));
  ASSERT_TRUE(state.visibleReminder());
  EXPECT_FALSE(state.hasBeenPresented());
  state.collapse();
  EXPECT_TRUE(state.hasBeenPresented());
  EXPECT_FALSE(state.claimAutoExpansion(true)); // collapsed: never expands by itself again
  const auto second = *state.token();
  ASSERT_TRUE(state.beginHandoff(second, true));
  EXPECT_TRUE(state.completeHandoff(second, false));
  EXPECT_EQ(state.handoffStatus(), State::HandoffStatus::activationFailed);
  EXPECT_TRUE(state.visibleReminder());
  EXPECT_FALSE(state.beginHandoff(second, true));
}

TEST(QuestionFlowIdentityTest, KeepsAFlowAcrossPagesUntilASeenPageChanges) {
  QuestionFlowIdentity identity;
  const auto flow = identity.identify("card-1", 4242, "第一题", 1, 3);
  ASSERT_TRUE(flow);
  EXPECT_EQ(identity.identify("card-1", 4242, "第二题", 2, 3), flow);
  EXPECT_EQ(identity.identify("card-1", 4242, "第一题", 1, 3), flow); // paging back
  const auto changed = identity.identify("card-1", 4242, "另一个问题", 1, 3);
  ASSERT_TRUE(changed);
  EXPECT_NE(changed, flow);
  EXPECT_NE(identity.identify("card-2", 4242, "另一个问题", 1, 3), changed);
  EXPECT_NE(identity.identify("card-2", 4243, "另一个问题", 1, 3), changed);

  const auto current = identity.identify("card-2", 4243, "另一个问题", 1, 3);
  identity.observeAbsence();
  identity.observeUnavailable(); // resets the absence count
  identity.observeAbsence();
  EXPECT_EQ(identity.identify("card-2", 4243, "另一个问题", 1, 3), current);
  identity.observeAbsence();
  identity.observeAbsence();
  EXPECT_NE(identity.identify("card-2", 4243, "另一个问题", 1, 3), current);
}

TEST(QuestionFlowIdentityTest, RefusesUntrustworthyObservations) {
  QuestionFlowIdentity identity;
  EXPECT_FALSE(identity.identify("card", 0, "题", 1, 1));
  EXPECT_FALSE(identity.identify("card", 1, "题", 1, 101));
  EXPECT_TRUE(identity.identify("card", 1, "题", 100, 100));
  EXPECT_FALSE(identity.identify("card", 1, "题", 0, 3));
  EXPECT_FALSE(identity.identify("card", 1, "题", 4, 3));
  EXPECT_FALSE(identity.identify("car\u200Dd", 1, "题", 1, 1));
  EXPECT_TRUE(identity.identify("card", 1, "👩\u200D💻 题\n第二行", 1, 1));
  EXPECT_FALSE(identity.identify("card", 1, "题\u202E", 1, 1));
  EXPECT_FALSE(identity.identify("card", 1, std::string(8'193, 'x'), 1, 1));
  EXPECT_TRUE(identity.identify("card", 1, std::string(8'192, 'x'), 1, 1));
  EXPECT_FALSE(identity.identify(std::string(1'025, 'b'), 1, "题", 1, 1));
}

TEST(CleanTextTest, RefusesHiddenCharactersAndEmptyOrInvalidText) {
  EXPECT_TRUE(isCleanText("删除 3 个文件", 64, false));
  EXPECT_FALSE(isCleanText(" \n ", 64, true));
  EXPECT_FALSE(isCleanText("a\tb", 64, false));
  EXPECT_TRUE(isCleanText("a\tb\r\n", 64, true));
  EXPECT_FALSE(isCleanText("a\x01", 64, true));
  EXPECT_FALSE(isCleanText("a\u200Bb", 64, true)); // zero-width space hides text
  EXPECT_FALSE(isCleanText("a\xC3", 64, true));
  EXPECT_FALSE(isCleanText("中文", 5, true)); // six bytes
}

} // namespace
} // namespace notch
