// Random changes to a window holding both cards: whatever the classifiers
// then report must name nodes that exist, and a second intact card next to
// one that still matches must make the match go away.

#include <gtest/gtest.h>

#include <random>
#include <set>

#include "core/native/CardBuilder.h"
#include "core/native/NativeApprovalClassifier.h"
#include "core/native/NativeQuestionClassifier.h"

namespace notch {
namespace {

using N = NativeApprovalNode;
using Place = std::pair<std::vector<N>*, std::size_t>; // a node as its siblings and its index among them

void collect(N& node, std::vector<Place>& places) {
  for (std::size_t i = 0; i < node.children.size(); ++i) {
    places.emplace_back(&node.children, i);
    collect(node.children[i], places);
  }
}

// One random change somewhere below the window.
void mutate(N& window, std::mt19937& random) {
  std::vector<Place> places;
  collect(window, places);
  if (places.empty()) {
    return;
  }
  auto [siblings, index] = places[random() % places.size()];
  N& target = (*siblings)[index];
  const auto at = siblings->begin() + static_cast<long>(index);
  static const char* kHidden[] = {"\u200B", "\u202E", "\u2028", "\u200D"};
  switch (random() % 7) {
  case 0:
    siblings->erase(at);
    break;
  case 1:
    siblings->insert(at, N(target));
    break;
  case 2: { // moved into the first card
    N moved = target;
    siblings->erase(at);
    std::vector<N>& into = window.children.empty() ? window.children : window.children.front().children;
    into.insert(into.begin() + static_cast<long>(random() % (into.size() + 1)), std::move(moved));
    break;
  }
  case 3:
    if (target.frame) {
      (random() % 2 == 0 ? target.frame->x : target.frame->height) += static_cast<int>(random() % 21) - 10;
    }
    break;
  case 4:
    target.enabled = !target.enabled;
    break;
  case 5:
    target.visible = !target.visible;
    break;
  default:
    if (!target.texts.empty()) {
      target.texts[0].insert(0, kHidden[random() % 4]);
    }
  }
}

TEST(CardMutationTest, MatchesNameRealNodesAndNeverSurviveASecondCard) {
  std::mt19937 random(7001);
  int approvals = 0, questions = 0;
  for (int round = 0; round < 1500; ++round) {
    const N deletion = round % 2 == 0 ? testing::DeletionCard().flattened() : testing::DeletionCard().grouped();
    const N question = testing::QuestionCard().group();
    N window = testing::scannedWindow({deletion, question});
    for (int i = 0, mutations = 1 + static_cast<int>(random() % 3); i < mutations; ++i) {
      mutate(window, random);
    }
    std::set<std::string> ids;
    for (int last = testing::number(window); last > 0; --last) {
      ids.insert("ax-" + std::to_string(last));
    }
    const auto approval = NativeApprovalClassifier::uniqueMatch({window});
    const auto questionMatch = NativeQuestionClassifier::uniqueMatch({window});
    std::vector<std::string> named;
    if (approval) {
      ++approvals;
      named = approval->contextNodeIDs;
      named.insert(named.end(), {approval->windowID, approval->containerID, approval->allowID, approval->denyID});
    }
    if (questionMatch) {
      ++questions;
      named.insert(named.end(), questionMatch->contextNodeIDs.begin(), questionMatch->contextNodeIDs.end());
      named.insert(named.end(), {questionMatch->windowID, questionMatch->containerID, questionMatch->anchorID});
    }
    for (const std::string& id : named) {
      ASSERT_TRUE(ids.contains(id)) << id;
    }
    window.children.insert(window.children.end(), {deletion, question});
    testing::number(window);
    EXPECT_FALSE(approval && NativeApprovalClassifier::uniqueMatch({window})) << "round " << round;
    EXPECT_FALSE(questionMatch && NativeQuestionClassifier::uniqueMatch({window})) << "round " << round;
  }
  // Some changes leave a card intact; the run must have seen both kinds.
  EXPECT_GT(approvals, 0);
  EXPECT_GT(questions, 0);
}

} // namespace
} // namespace notch
