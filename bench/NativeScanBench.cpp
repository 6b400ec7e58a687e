// What one poll of WorkBuddy's windows costs: a scan of a 1,800-node tree
// through the in-memory accessibility backend, then each card classifier
// over the scanned trees. Once with one deletion card and one question card
// among the nodes, once with no card at all. The poll runs every 0.8 s for
// as long as the app runs, so this is what it costs the battery.

#include <benchmark/benchmark.h>

#include "core/native/AXRead.h"
#include "core/native/CardBuilder.h"
#include "core/native/NativeApprovalClassifier.h"
#include "core/native/NativeQuestionClassifier.h"
#include "platform/FakeAccessibility.h"

namespace notch {
namespace {

constexpr std::int32_t kPid = 4242;

// A WorkBuddy-like window of about 1,800 nodes: rows of text and icons,
// with the two cards among them when `withCards`.
NativeApprovalNode windowTree(bool withCards) {
  std::vector<NativeApprovalNode> content;
  if (withCards) {
    content.push_back(testing::DeletionCard().grouped());
    content.push_back(testing::QuestionCard().group());
  }
  const int target = withCards ? 1'800 - 27 : 1'800;
  int nodes = 2; // the window and the list
  std::vector<NativeApprovalNode> rows;
  for (int row = 0; nodes + 4 <= target; ++row) {
    const double y = 10 + (row % 50) * 20;
    rows.push_back(testing::axNode("AXGroup", {}, {620, y, 170, 18},
                                   {testing::axNode("AXStaticText", {"消息 " + std::to_string(row)}, {622, y, 120, 16}),
                                    testing::axNode("AXImage", {}, {750, y, 16, 16}),
                                    testing::axNode("AXButton", {"复制"}, {770, y, 16, 16})}));
    nodes += 4;
  }
  content.push_back(testing::axNode("AXGroup", {}, {600, 0, 200, 1200}, std::move(rows)));
  return testing::scannedWindow(std::move(content));
}

struct Poll {
  explicit Poll(bool withCards) {
    const testing::FakeElementRef window = testing::fakeElementsFor(windowTree(withCards), kPid);
    accessibility.application(kPid)->set("AXWindows", std::vector<AXElementRef>{window});
    roots = scan();
  }
  std::vector<NativeApprovalNode> scan() const {
    AXRead read(accessibility, systemClock(), kPid);
    return read.readWindows(true);
  }
  testing::FakeAccessibility accessibility;
  std::vector<NativeApprovalNode> roots;
};

void BM_Scan(benchmark::State& state) {
  const Poll poll(state.range(0) != 0);
  for (auto _ : state) {
    benchmark::DoNotOptimize(poll.scan());
  }
}

void BM_ApprovalClassifier(benchmark::State& state) {
  const Poll poll(state.range(0) != 0);
  if (state.range(0) != 0 && !NativeApprovalClassifier::uniqueMatch(poll.roots)) {
    state.SkipWithError("the deletion card was not recognised");
    return;
  }
  for (auto _ : state) {
    benchmark::DoNotOptimize(NativeApprovalClassifier::uniqueMatch(poll.roots));
  }
}

void BM_QuestionClassifier(benchmark::State& state) {
  const Poll poll(state.range(0) != 0);
  if (state.range(0) != 0 && !NativeQuestionClassifier::uniqueMatch(poll.roots)) {
    state.SkipWithError("the question card was not recognised");
    return;
  }
  for (auto _ : state) {
    benchmark::DoNotOptimize(NativeQuestionClassifier::uniqueMatch(poll.roots));
  }
}

// Argument 1: with both cards; 0: no card at all.
BENCHMARK(BM_Scan)->Arg(1)->Arg(0)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ApprovalClassifier)->Arg(1)->Arg(0)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_QuestionClassifier)->Arg(1)->Arg(0)->Unit(benchmark::kMicrosecond);

} // namespace
} // namespace notch

BENCHMARK_MAIN();
