// How fast a click reaches the waiting hook, and how fast the server stops.
//
// Both run in-process over a real socket in a private bridge directory with
// the production limits.
//   BM_DecisionRoundTrip: connect, send a request line, onRequest decides
//     allow, the client reads the reply line. Reports median and p99.
//   BM_StopWith32Waiting: 32 clients wait for a decision; the time from
//     stop() until it has returned and every client has seen end of stream.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <vector>

#include <sys/socket.h>

#include "core/bridge/ApprovalServer.h"
#include "core/bridge/BridgeSocket.h"
#include "core/bridge/TestBridge.h"
#include "support/Clock.h"

namespace notch {
namespace {

// The system clock every measured service reads.
const SystemClock clock;

// A request line as the hook client sends it, fresh each time.
std::string requestLine() { return testing::lineOf(testing::makeRequest(wallClockNow())); }

// A blocking client socket, as simple as the benchmark can make it.
FileDescriptor connectClient(const std::string& path) {
  FileDescriptor fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!fd || connectBridgeSocket(fd.get(), path) != 0) {
    throw std::runtime_error("connect failed");
  }
  return fd;
}

void sendAll(int fd, const std::string& bytes) {
  if (sendWithoutSignal(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
    throw std::runtime_error("send failed");
  }
}

// Reads until end of stream; returns the bytes seen.
std::string readToEnd(int fd) {
  std::string bytes;
  char buffer[512];
  for (;;) {
    const ssize_t count = ::recv(fd, buffer, sizeof buffer, 0);
    if (count <= 0) {
      return bytes;
    }
    bytes.append(buffer, static_cast<std::size_t>(count));
  }
}

double percentile(std::vector<double> samples, double fraction) {
  std::sort(samples.begin(), samples.end());
  const auto index = static_cast<std::size_t>(fraction * static_cast<double>(samples.size() - 1) + 0.5);
  return samples[index];
}

void reportLatencies(benchmark::State& state, const std::vector<double>& seconds) {
  state.counters["median_us"] = percentile(seconds, 0.5) * 1e6;
  state.counters["p99_us"] = percentile(seconds, 0.99) * 1e6;
  state.counters["max_us"] = percentile(seconds, 1.0) * 1e6;
}

void BM_DecisionRoundTrip(benchmark::State& state) {
  testing::TemporaryDirectory directory;
  ApprovalServer server(directory.child("bridge"), clock);
  server.start([&server](const ApprovalRequest& request) { server.decide(request.id, Decision::allow); }, nullptr);
  const std::string path = server.socketPath();

  std::vector<double> samples;
  for (auto _ : state) {
    const std::string line = requestLine();
    const auto started = std::chrono::steady_clock::now();
    FileDescriptor client = connectClient(path);
    sendAll(client.get(), line);
    const std::string reply = readToEnd(client.get());
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - started;
    if (reply.find("\"allow\"") == std::string::npos) {
      state.SkipWithError("no allow reply");
      break;
    }
    state.SetIterationTime(elapsed.count());
    samples.push_back(elapsed.count());
  }
  server.stop();
  if (!samples.empty()) {
    reportLatencies(state, samples);
  }
}
BENCHMARK(BM_DecisionRoundTrip)->Iterations(1000)->UseManualTime()->Unit(benchmark::kMicrosecond);

void BM_StopWith32Waiting(benchmark::State& state) {
  constexpr int kClients = 32;
  testing::TemporaryDirectory directory;
  std::vector<double> samples;
  for (auto _ : state) {
    ApprovalServer server(directory.child("bridge"), clock);
    std::mutex mutex;
    std::condition_variable announced;
    int requests = 0;
    server.start(
        [&](const ApprovalRequest&) {
          std::lock_guard guard(mutex);
          ++requests;
          announced.notify_one();
        },
        nullptr);
    std::vector<FileDescriptor> clients;
    for (int i = 0; i < kClients; ++i) {
      clients.push_back(connectClient(server.socketPath()));
      sendAll(clients.back().get(), requestLine());
    }
    {
      std::unique_lock lock(mutex);
      announced.wait(lock, [&] { return requests == kClients; });
    }

    const auto started = std::chrono::steady_clock::now();
    server.stop();
    for (const FileDescriptor& client : clients) {
      if (!readToEnd(client.get()).empty()) {
        state.SkipWithError("a waiting client got a reply");
      }
    }
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - started;
    state.SetIterationTime(elapsed.count());
    samples.push_back(elapsed.count());
  }
  reportLatencies(state, samples);
}
BENCHMARK(BM_StopWith32Waiting)->Iterations(50)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace
} // namespace notch

BENCHMARK_MAIN();
