// Random mutations of trees that hold a matching card: whatever the
// classifiers then report must name nodes that exist, and a second card
// next to one that still matches must make the match go away.

#include <gtest/gtest.h>

#include <random>
#include <set>

#include "core/native/CardBuilder.h"
#include "core/native/NativeApprovalClassifier.h"
#include "core/native/NativeQuestionClassifier.h"

namespace notch {
namespace {

using testing::DeletionCard;
using testing::QuestionCard;

struct Place {
  std::vector<NativeApprovalNode>* siblings;
  std::size_t index;
};

void collect(NativeApprovalNode& node, std::vector<Place>& places) {
  for (std::size_t i = 0; i < node.children.size(); ++i) {
    places.push_back({&node.children, i});
    collect(node.children[i], places);
  }
}

void renumber(NativeApprovalNode& node, int& counter) {
  node.id = "ax-" + std::to_string(++counter);
  for (NativeApprovalNode& child : node.children) {
    renumber(child, counter);
  }
}

void idsOf(const NativeApprovalNode& node, std::set<std::string>& ids) {
  ids.insert(node.id);
  for (const NativeApprovalNode& child : node.children) {
    idsOf(child, ids);
  }
}

// One random change somewhere below the window.
void mutate(NativeApprovalNode& window, std::mt19937& random) {
  std::vector<Place> places;
  collect(window, places);
  if (places.empty()) {
    return;
  }
  const Place place = places[random() % places.size()];
  NativeApprovalNode& target = (*place.siblings)[place.index];
  switch (random() % 7) {
  case 0:
    place.siblings->erase(place.siblings->begin() + static_cast<long>(place.index));
    break;
  case 1: {
    const NativeApprovalNode copy = target;
    place.siblings->insert(place.siblings->begin() + static_cast<long>(place.index), copy);
    break;
  }
  case 2: {
    NativeApprovalNode moved = target;
    place.siblings->erase(place.siblings->begin() + static_cast<long>(place.index));
    std::vector<NativeApprovalNode>& into =
        window.children.empty() ? window.children : window.children.front().children;
    into.insert(into.begin() + static_cast<long>(random() % (into.size() + 1)), std::move(moved));
    break;
  }
  case 3:
    if (target.frame) {
      const double delta = static_cast<double>(static_cast<int>(random() % 21) - 10);
      (random() % 2 == 0 ? target.frame->x : target.frame->height) += delta;
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
      static const char* kHidden[] = {"\u200B", "\u202E", "\u2028", "\u200D"};
      target.texts[0].insert(0, kHidden[random() % 4]);
    }
    break;
  }
}

TEST(CardMutationTest, MatchesNameRealNodesAndNeverSurviveASecondCard) {
  std::mt19937 random(7001);
  int approvals = 0;
  int questions = 0;
  for (int round = 0; round < 1500; ++round) {
    const bool flattened = round % 2 == 0;
    const NativeApprovalNode deletion = flattened ? DeletionCard().flattened() : DeletionCard().grouped();
    const NativeApprovalNode question = QuestionCard().group();
    NativeApprovalNode window = testing::scannedWindow({deletion, question});
    const int mutations = 1 + static_cast<int>(random() % 3);
    for (int i = 0; i < mutations; ++i) {
      mutate(window, random);
    }
    int counter = 0;
    renumber(window, counter);
    std::set<std::string> ids;
    idsOf(window, ids);

    const auto approval = NativeApprovalClassifier::uniqueMatch({window});
    const auto questionMatch = NativeQuestionClassifier::uniqueMatch({window});
    if (const auto& match = approval) {
      ++approvals;
      for (const std::string& id : {match->windowID, match->containerID, match->allowID, match->denyID}) {
        ASSERT_TRUE(ids.contains(id)) << id;
      }
      for (const std::string& id : match->contextNodeIDs) {
        ASSERT_TRUE(ids.contains(id)) << id;
      }
    }
    if (const auto& match = questionMatch) {
      ++questions;
      for (const std::string& id : {match->windowID, match->containerID, match->anchorID}) {
        ASSERT_TRUE(ids.contains(id)) << id;
      }
      for (const std::string& id : match->contextNodeIDs) {
        ASSERT_TRUE(ids.contains(id)) << id;
      }
    }

    // Next to a card that still matched, a second intact card of the same
    // kind makes the match go away.
    NativeApprovalNode crowded = window;
    crowded.children.push_back(deletion);
    crowded.children.push_back(question);
    counter = 0;
    renumber(crowded, counter);
    if (approval) {
      ASSERT_FALSE(NativeApprovalClassifier::uniqueMatch({crowded})) << "round " << round;
    }
    if (questionMatch) {
      ASSERT_FALSE(NativeQuestionClassifier::uniqueMatch({crowded})) << "round " << round;
    }
  }
  // Some mutations leave a card intact; the run must have seen both kinds.
  EXPECT_GT(approvals, 0);
  EXPECT_GT(questions, 0);
}

} // namespace
} // namespace notch
