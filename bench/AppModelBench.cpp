// How much the app model adds to a click's path: from `decide(allow)` on the
// main queue until the waiting hook has read its reply, through the real
// approval server over a real socket. And what the turn-end tick costs, five
// times a second while turn-end reminders are on, at the size its tables are
// bounded to. The main queue is a virtual-time queue run by the benchmark's
// thread, so delays cost no real time; only the work is timed. Reports
// median and p99.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <thread>
#include <tuple>

#include "app/AppModel.h"
#include "core/bridge/BridgePaths.h"
#include "core/bridge/TestBridge.h"
#include "platform/FakeAccessibility.h"
#include "platform/FakeAppPlatform.h"
#include "platform/FakeAppWorld.h"
#include "platform/FakeWorkspace.h"
#include "support/FakeClock.h"

namespace notch {
namespace {

using namespace testing;

double percentile(std::vector<double> samples, double fraction) {
  std::sort(samples.begin(), samples.end());
  return samples[static_cast<std::size_t>(fraction * static_cast<double>(samples.size() - 1) + 0.5)];
}

// The model's outside world, in fakes and virtual time, around a real bridge directory.
struct World : FakeAppWorld {

  std::shared_ptr<AppModel> start(AppModelDependencies dependencies) {
    auto model = AppModel::create(environment(std::nullopt), std::move(dependencies));
    model->start();
    return model;
  }
};

void report(benchmark::State& state, const std::vector<double>& samples) {
  if (!samples.empty()) {
    state.counters["median_us"] = percentile(samples, 0.5) * 1e6;
    state.counters["p99_us"] = percentile(samples, 0.99) * 1e6;
  }
}

void BM_DecideToHookReply(benchmark::State& state) {
  World world;
  auto [bridge, clock, main, preferences, workspace] = // references into world
      std::tie(world.bridge, world.clock, world.main, world.preferences, world.workspace);
  preferences.setBool("autoCollapse", false); // the notch stays open between clicks
  const auto model = world.start(AppModelDependencies::system(workspace, preferences));
  model->expand();

  std::vector<double> samples;
  for (auto _ : state) {
    const ApprovalRequest request = makeRequest(clock.now());
    TestClient hook(bridgeSocketPath(bridge.path()));
    hook.send(lineOf(request));
    while (model->state().interaction.current() == nullptr) {
      main.runUntilIdle();
      std::this_thread::yield();
    }
    main.advance(0.4601); // armed (with a hair for the rounding of wall-clock instants)

    const auto started = std::chrono::steady_clock::now();
    const bool sent = model->decide(request, Decision::allow);
    const std::string reply = hook.readUntilClosed().value_or("");
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - started;
    if (!sent || reply.find("\"allow\"") == std::string::npos) {
      state.SkipWithError("no allow reply");
      break;
    }
    state.SetIterationTime(elapsed.count());
    samples.push_back(elapsed.count());
    main.advance(2); // the receipt goes
  }
  report(state, samples);
}
BENCHMARK(BM_DecideToHookReply)->Iterations(1000)->UseManualTime()->Unit(benchmark::kMicrosecond);

// One tick with 256 tracked sessions and 16 reminders (one shown, 15
// queued), WorkBuddy in the background. The turns are fed through the real
// turn-end socket, again every 100 ticks, before the reminders run out.
void BM_CompletionTick(benchmark::State& state) {
  World world;
  auto [bridge, clock, main, preferences, workspace] = // references into world
      std::tie(world.bridge, world.clock, world.main, world.preferences, world.workspace);
  preferences.setBool("completionRemindersEnabled", true);
  preferences.setBool("questionRemindersEnabled", false);
  workspace.set(std::string(NativeApprovalMonitor::bundleIdentifier), {{.pid = 4242}});
  AppModelDependencies dependencies = AppModelDependencies::system(workspace, preferences);
  std::size_t targetAsks = 0; // proves that each timed advance ran a tick
  dependencies.completionTarget = [&targetAsks, asked = dependencies.completionTarget] {
    ++targetAsks;
    return asked();
  };
  const auto model = world.start(std::move(dependencies));

  int generation = 0;
  const auto send = [&](const std::string& hookEvent, int session) {
    const std::string input = R"({"hook_event_name":")" + hookEvent + R"(","session_id":"s-)" +
                              std::to_string(session) + R"(","generation_id":"g-)" + std::to_string(generation) +
                              R"(","final_stop_reason":"completed"})";
    TestClient client(completionSocketPath(bridge.path()));
    client.send(CompletionEvent::decodeHook(input, clock.now())->encode().value() + "\n");
  };
  const auto feed = [&] {
    main.advance(CompletionReminderState::reminderLifetime + 1); // the last feed's reminders run out
    ++generation;
    for (int session = 0; session < 256; ++session) {
      send("UserPromptSubmit", session);
    }
    for (int session = 0; session < 16; ++session) {
      send("FinalStop", session);
    }
    const auto& reminders = model->state().completionState;
    for (int i = 0; i < 10'000 && reminders.queuedCount() < 16; ++i) {
      main.runUntilIdle();
      std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    main.advance(1); // the first reminder shows
    return reminders.queuedCount() == 16 && reminders.trackedSessionCount() == 256 && reminders.current();
  };

  std::vector<double> samples;
  std::size_t ticks = 0;
  for (auto _ : state) {
    if (samples.size() % 100 == 0 && !feed()) {
      state.SkipWithError("the turns did not arrive");
      break;
    }
    const std::size_t asksBefore = targetAsks;
    const auto started = std::chrono::steady_clock::now();
    main.advance(AppModel::completionPollInterval); // one tick
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - started;
    ticks += targetAsks > asksBefore;
    state.SetIterationTime(elapsed.count());
    samples.push_back(elapsed.count());
  }
  report(state, samples);
  state.counters["timed_ticks"] = static_cast<double>(ticks);
}
BENCHMARK(BM_CompletionTick)->Iterations(1000)->UseManualTime()->Unit(benchmark::kMicrosecond);

} // namespace
} // namespace notch

BENCHMARK_MAIN();
