// What the native approval monitor costs while the app runs.
//
// 1. One complete poll of a busy 1,800-node WorkBuddy window that shows a
//    deletion card and a question card, in the steady state (the card is
//    already offered): process CPU time per poll, next to the bare scan and
//    classification of the same window without the monitor.
// 2. The idle cost: a background WorkBuddy without any card, polled by the
//    real 0.8 s timer for a minute (--seconds N to change), once with a small
//    window, so that nearly all of it is the monitor's own (timer, workspace
//    queries, bookkeeping), and once with the busy window.
//
// Usage: native_monitor_bench [--seconds N]

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "core/native/AXRead.h"
#include "core/native/CardBuilder.h"
#include "core/native/NativeApprovalClassifier.h"
#include "core/native/NativeApprovalMonitor.h"
#include "core/native/NativeQuestionClassifier.h"
#include "platform/FakeAccessibility.h"
#include "platform/FakeWorkspace.h"
#include "support/SerialQueue.h"
#include "support/Clock.h"

namespace notch {
namespace {

// The system clock every measured service reads.
const SystemClock clock;

constexpr std::int32_t kPid = 4242;
constexpr int kMeasuredPolls = 300;

double processCpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

struct Figures {
  double median = 0;
  double p90 = 0;
};

Figures figuresOf(std::vector<double> samples) {
  std::sort(samples.begin(), samples.end());
  return {samples[samples.size() / 2], samples[samples.size() * 9 / 10]};
}

double cpuOf(const std::function<void()>& work) {
  const double before = processCpuSeconds();
  work();
  return processCpuSeconds() - before;
}

// Runs the works in turns, so that the machine's drift touches them alike.
std::vector<Figures> cpuPerRun(const std::vector<std::function<void()>>& works) {
  std::vector<std::vector<double>> samples(works.size());
  for (int run = -20; run < kMeasuredPolls; ++run) { // the first 20 warm up
    for (std::size_t index = 0; index < works.size(); ++index) {
      const double cpu = cpuOf(works[index]);
      if (run >= 0) {
        samples[index].push_back(cpu);
      }
    }
  }
  std::vector<Figures> figures;
  for (std::vector<double>& runs : samples) {
    figures.push_back(figuresOf(std::move(runs)));
  }
  return figures;
}

// A background WorkBuddy showing `window`.
struct Setting {
  explicit Setting(const NativeApprovalNode& window) {
    workspace.set(std::string(NativeApprovalMonitor::bundleIdentifier), {{.pid = kPid}});
    const testing::FakeElementRef element = testing::fakeElementsFor(window, kPid);
    accessibility.application(kPid)->set("AXWindows", std::vector<AXElementRef>{element});
  }
  testing::FakeAccessibility accessibility;
  testing::FakeWorkspace workspace;
};

struct Counters {
  std::atomic<int> requests = 0;
  std::atomic<int> questions = 0;
};

void start(NativeApprovalMonitor& monitor, Counters& counters) {
  monitor.start([&counters](const ApprovalRequest&) { ++counters.requests; }, [](const std::string&) {},
                [](const std::string&) {}, true,
                [&counters](const QuestionReminderState::Observation&, double) { ++counters.questions; });
}

NativeApprovalNode busyWindowWithCards() {
  return testing::busyWindow({testing::DeletionCard().grouped(), testing::QuestionCard().group()});
}

// Keeps the classifiers' results alive.
std::atomic<long> matches = 0;

// A scan and every classifier call of a poll without the monitor, run on a queue of its
// own as the monitor runs its polls (a worker thread allocates from its own
// malloc arena; on the main thread the same scan measured up to 75 %
// slower).
std::function<void()> bareScan(const testing::FakeAccessibility& accessibility) {
  auto queue = std::make_shared<SerialQueue>("bench.bare-scan");
  return [&accessibility, queue] {
    queue->sync([&accessibility] {
      AXRead reader(accessibility, clock, kPid);
      const auto roots = reader.readWindows(true);
      matches += NativeApprovalClassifier::uniqueMatch(roots).has_value() ? 1 : 0;
      matches += NativeQuestionClassifier::uniqueMatch(roots).has_value() ? 1 : 0;
      matches += NativeApprovalClassifier::hasRecognizableButtons(roots) ? 1 : 0;
      matches += NativeQuestionClassifier::hasRecognizableQuestion(roots) ? 1 : 0;
      if (!reader.complete()) {
        std::fprintf(stderr, "the scan did not read the window whole\n");
      }
    });
  };
}

void measurePoll() {
  const NativeApprovalNode window = busyWindowWithCards();
  Setting setting(window);
  NativeApprovalMonitor::Limits limits;
  limits.firstPoll = 1e9; // polled by hand
  SerialQueue queue("vantrel-notch.native-approval");
  NativeApprovalMonitor monitor(setting.accessibility, setting.workspace, clock, queue, limits);
  Counters counters;
  start(monitor, counters);
  const std::vector<Figures> figures = cpuPerRun({[&monitor] { monitor.pollNow(); }, bareScan(setting.accessibility)});
  monitor.stop();
  if (counters.requests != 1) {
    std::fprintf(stderr, "expected one offered card, saw %d\n", counters.requests.load());
  }
  const Figures& poll = figures[0];
  const Figures& bare = figures[1];
  std::printf("complete poll, 1,800 nodes, card offered:  median %.3f ms, p90 %.3f ms CPU\n", poll.median * 1e3,
              poll.p90 * 1e3);
  std::printf("bare scan + classifiers, same window:       median %.3f ms, p90 %.3f ms CPU\n", bare.median * 1e3,
              bare.p90 * 1e3);
  std::printf("monitor's share of a poll:                  median %.3f ms\n", (poll.median - bare.median) * 1e3);
}

void measureIdle(const char* name, const NativeApprovalNode& window, double seconds) {
  Setting setting(window);
  const Figures bare = cpuPerRun({bareScan(setting.accessibility)})[0];
  SerialQueue queue("vantrel-notch.native-approval");
  NativeApprovalMonitor monitor(setting.accessibility, setting.workspace, clock, queue);
  Counters counters;
  const double before = processCpuSeconds();
  start(monitor, counters);
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
  monitor.stop();
  const double cpu = processCpuSeconds() - before;
  const int polls = counters.questions - 1; // stop reports one "unavailable" of its own
  const double beyondScans = cpu - polls * bare.median;
  std::printf("idle, %s: %d polls in %.0f s, %.4f CPU s/min (%.4f %% of a core); "
              "bare scans %.4f s/min; beyond them %.4f CPU s/min (%.4f %% of a core)\n",
              name, polls, seconds, cpu / seconds * 60, cpu / seconds * 100, polls * bare.median / seconds * 60,
              beyondScans / seconds * 60, beyondScans / seconds * 100);
}

} // namespace
} // namespace notch

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  double seconds = 60;
  bool understood = argc == 1;
  if (argc == 3 && std::strcmp(argv[1], "--seconds") == 0) {
    char* end = nullptr;
    seconds = std::strtod(argv[2], &end);
    understood = *end == '\0' && seconds > 0 && seconds < 86'400;
  }
  if (!understood) {
    std::fprintf(stderr, "usage: native_monitor_bench [--seconds N]\n");
    return 2;
  }
  notch::measurePoll();
  const notch::NativeApprovalNode small =
      notch::testing::scannedWindow({notch::testing::axNode("AXStaticText", {"WorkBuddy"}, {10, 10, 200, 20}),
                                     notch::testing::axNode("AXButton", {"发送"}, {10, 40, 60, 24})});
  notch::measureIdle("small window", small, seconds);
  notch::measureIdle("1,800-node window", notch::testing::busyWindow({}), seconds);
  return 0;
}
