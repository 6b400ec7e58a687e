// The hook's start-up cost, which WorkBuddy pays on every tool call.
//
// Each iteration spawns a process the way WorkBuddy does (posix_spawn, write
// standard input, read standard output to its end, waitpid):
//   /bin/true, the floor;
//   VantrelNotch --hook with a 300-byte request and no app;
//   the same with an in-process approval server on the real bridge that
//   allows at once (spawn, stdin, connect, request, decision, reply, exit).
// Reports min and median wall time per spawn, and the medians' ratios to
// /bin/true. The server starts before and stops after each round trip's
// spawn, outside its timing.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "core/bridge/ApprovalServer.h"
#include "core/bridge/BridgeSocket.h"
#include "core/bridge/HookOutput.h"
#include "core/completion/CompletionServer.h"
#include "support/Clock.h"

extern char** environ;

namespace notch {
namespace {

// The system clock every measured service reads.
const SystemClock clock;

const std::string kHookRequest = [] {
  std::string input = R"({"session_id":"bench-session","hook_event_name":"PermissionRequest","tool_name":"Bash",)"
                      R"("cwd":"/Users/me/project","tool_input":{"command":"ls -la /tmp","description":"List )";
  input.append(300 - input.size() - 3, 'x');
  return input + "\"}}";
}();

// Spawns `argv`, writes `input`, reads standard output to its end, waits.
// With `closeInput` false the child's standard input stays open until it
// has exited, as when WorkBuddy never closes it.
std::string spawnAndWait(const std::vector<const char*>& argv, const std::string& input, bool closeInput = true) {
  int in[2];
  int out[2];
  if (::pipe(in) != 0 || ::pipe(out) != 0) {
    throw std::runtime_error("pipe");
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, in[1]);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  pid_t pid = 0;
  std::vector<char*> arguments;
  for (const char* argument : argv) {
    arguments.push_back(const_cast<char*>(argument));
  }
  arguments.push_back(nullptr);
  if (::posix_spawn(&pid, arguments[0], &actions, nullptr, arguments.data(), environ) != 0) {
    throw std::runtime_error("posix_spawn");
  }
  posix_spawn_file_actions_destroy(&actions);
  ::close(in[0]);
  ::close(out[1]);
  // 300 bytes fit in the pipe, so this never waits on the child.
  [[maybe_unused]] const ssize_t written = ::write(in[1], input.data(), input.size());
  if (closeInput) {
    ::close(in[1]);
  }
  std::string output;
  char buffer[512];
  ssize_t count = 0;
  while ((count = ::read(out[0], buffer, sizeof buffer)) > 0) {
    output.append(buffer, static_cast<std::size_t>(count));
  }
  ::close(out[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  if (!closeInput) {
    ::close(in[1]);
  }
  return output;
}

double spawnSeconds(const std::vector<const char*>& argv, const std::string& input, const std::string& expected,
                    bool& unexpected) {
  const auto started = std::chrono::steady_clock::now();
  unexpected = unexpected || spawnAndWait(argv, input) != expected;
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
}

void report(benchmark::State& state, const char* name, std::vector<double> samples) {
  std::sort(samples.begin(), samples.end());
  state.counters[std::string(name) + "_min_ms"] = samples.front() * 1e3;
  state.counters[std::string(name) + "_median_ms"] = samples[samples.size() / 2] * 1e3;
}

bool liveAppRunning() {
  FileDescriptor probe = makeBridgeSocket();
  return probe && connectBridgeSocket(probe.get(), bridgeSocketPath(bridgeDirectory())) == 0;
}

const std::vector<const char*> kHook = {NOTCH_EXECUTABLE_PATH, "--hook",         "--source",
                                        "workbuddy",           "--owner-marker", "vantrel-notch-v1"};
const std::vector<const char*> kTurnEndHook = {
    NOTCH_EXECUTABLE_PATH, "--completion-hook", "--source",
    "workbuddy",           "--owner-marker",    "vantrel-notch-completion-v1"};

// A 300-byte "FinalStop" as WorkBuddy sends it at the end of a turn.
const std::string kFinalStop = [] {
  std::string input = R"({"hook_event_name":"FinalStop","session_id":"bench-session","generation_id":"g-1",)"
                      R"("final_stop_reason":"completed","cwd":"/Users/me/project","transcript":")";
  input.append(300 - input.size() - 2, 'x');
  return input + "\"}";
}();

// Spawns /bin/true and the hook in turns, so that a busy moment of the
// machine weighs on both alike and the ratio of their medians stays fair.
void measureAgainstTrue(benchmark::State& state, const char* name, const std::string& expected,
                        const std::vector<const char*>& command = kHook, const std::string& input = kHookRequest) {
  std::vector<double> truth;
  std::vector<double> hook;
  bool unexpected = false;
  for (auto _ : state) {
    truth.push_back(spawnSeconds({"/bin/true"}, input, "", unexpected));
    hook.push_back(spawnSeconds(command, input, expected, unexpected));
  }
  if (unexpected) {
    state.SkipWithError("a spawn printed something unexpected");
    return;
  }
  report(state, "true", truth);
  report(state, name, hook);
  state.counters["ratio"] = state.counters[std::string(name) + "_median_ms"] / state.counters["true_median_ms"];
}

void BM_HookWithoutApp(benchmark::State& state) {
  if (liveAppRunning()) {
    state.SkipWithError("an app serves the bridge; quit it first");
    return;
  }
  measureAgainstTrue(state, "no_app", "");
}
BENCHMARK(BM_HookWithoutApp)->Iterations(1000)->Unit(benchmark::kMillisecond);

void BM_HookFullRoundTrip(benchmark::State& state) {
  ApprovalServer server(bridgeDirectory(), clock);
  try {
    server.start([&server](const ApprovalRequest& request) { server.decide(request.id, Decision::allow); }, nullptr);
  } catch (const std::exception& error) {
    state.SkipWithError(error.what());
    return;
  }
  measureAgainstTrue(state, "round_trip", hookOutputLine("PermissionRequest", Decision::allow).value());
  server.stop();
}
BENCHMARK(BM_HookFullRoundTrip)->Iterations(1000)->Unit(benchmark::kMillisecond);

bool turnEndAppRunning() {
  FileDescriptor probe = makeBridgeSocket();
  return probe && connectBridgeSocket(probe.get(), completionSocketPath(bridgeDirectory())) == 0;
}

void BM_TurnEndHookWithoutApp(benchmark::State& state) {
  if (turnEndAppRunning()) {
    state.SkipWithError("an app serves the turn-end socket; quit it first");
    return;
  }
  measureAgainstTrue(state, "turn_end_no_app", "", kTurnEndHook, kFinalStop);
}
BENCHMARK(BM_TurnEndHookWithoutApp)->Iterations(1000)->Unit(benchmark::kMillisecond);

void BM_TurnEndHookWithServer(benchmark::State& state) {
  CompletionServer server(bridgeDirectory(), clock);
  std::atomic<int> delivered{0};
  try {
    server.start([&delivered](const CompletionEvent&) { ++delivered; });
  } catch (const std::exception& error) {
    state.SkipWithError(error.what());
    return;
  }
  measureAgainstTrue(state, "turn_end_server", "", kTurnEndHook, kFinalStop);
  server.stop();
  state.counters["delivered"] = delivered.load();
}
BENCHMARK(BM_TurnEndHookWithServer)->Iterations(1000)->Unit(benchmark::kMillisecond);

// WorkBuddy leaves standard input open: how long until the hook gives up.
void BM_TurnEndHookWithOpenInput(benchmark::State& state) {
  std::vector<double> samples;
  for (auto _ : state) {
    const auto started = std::chrono::steady_clock::now();
    spawnAndWait(kTurnEndHook, kFinalStop, false);
    samples.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
  }
  report(state, "open_input", samples);
}
BENCHMARK(BM_TurnEndHookWithOpenInput)->Iterations(10)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace notch

int main(int argc, char** argv) {
  // /bin/true exits without reading its input; writing it must not kill us.
  std::signal(SIGPIPE, SIG_IGN);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
