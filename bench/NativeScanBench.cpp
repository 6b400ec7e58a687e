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
#include "support/Clock.h"

namespace notch {
namespace {

// The system clock every measured service reads.
const SystemClock clock;

constexpr std::int32_t kPid = 4242;

NativeApprovalNode windowTree(bool withCards) {
  if (!withCards) {
    return testing::busyWindow({});
  }
  return testing::busyWindow({testing::DeletionCard().grouped(), testing::QuestionCard().group()});
}

struct Poll {
  explicit Poll(bool withCards) {
    const testing::FakeElementRef window = testing::fakeElementsFor(windowTree(withCards), kPid);
    accessibility.application(kPid)->set("AXWindows", std::vector<AXElementRef>{window});
    roots = scan();
  }
  std::vector<NativeApprovalNode> scan() const {
    AXRead read(accessibility, clock, kPid);
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
