// What reading WorkBuddy through AT-SPI costs, against the real window
// stand-in with a 1,800-node window on a private desktop. Run it under
// scripts/with-desktop. CPU is reported for the three processes that pay:
// this reader, the target application and the accessibility bus's daemon.
//
// 1. Initial copy of the window: wall time until a scan first reads the
//    whole window, and the longest single scan meanwhile (the monitor's
//    queue must never wait for the copy).
// 2. A card appearing in the background: time from the window showing it to
//    the monitor (0.8 s timer) offering it, over several cards.
// 3. Steady state: the monitor polling a background WorkBuddy that shows a
//    card, for --seconds N (default 60): CPU of the three processes as a
//    share of one core.
// 4. The live re-read of a card before a press: wall time.
//
// Usage: atspi_mirror_bench [--seconds N] [--nodes N]

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "core/native/AXRead.h"
#include "core/native/NativeApprovalMonitor.h"
#include "core/native/NativeScanner.h"
#include "platform/linux/AtSpiAccessibility.h"
#include "platform/linux/StandInWindow.h"
#include "platform/linux/X11Workspace.h"
#include "support/Clock.h"
#include "support/SerialQueue.h"

namespace notch {
namespace {

const SystemClock clock;

std::string readText(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), {});
}

// User + system CPU seconds of a process so far.
double cpuSecondsOf(pid_t pid) {
  const std::string stat = readText("/proc/" + std::to_string(pid) + "/stat");
  const std::size_t close = stat.rfind(')');
  if (close == std::string::npos) {
    return 0;
  }
  std::istringstream fields(stat.substr(close + 2));
  std::string field;
  double ticks = 0;
  for (int index = 3; fields >> field && index <= 15; ++index) {
    if (index == 14 || index == 15) {
      ticks += std::stod(field);
    }
  }
  return ticks / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

// The accessibility bus's daemon of this desktop: a dbus-daemon with the
// accessibility configuration that carries this run's mark.
pid_t accessibilityBusDaemon() {
  const char* mark = std::getenv("WITH_DESKTOP_RUN");
  DIR* proc = ::opendir("/proc");
  pid_t found = -1;
  while (dirent* entry = proc != nullptr ? ::readdir(proc) : nullptr) {
    const std::string pid = entry->d_name;
    if (pid.find_first_not_of("0123456789") != std::string::npos) {
      continue;
    }
    const std::string command = readText("/proc/" + pid + "/cmdline");
    const std::string environment = readText("/proc/" + pid + "/environ");
    if (command.find("dbus-daemon") != std::string::npos && command.find("accessibility.conf") != std::string::npos &&
        (mark == nullptr || environment.find(std::string("WITH_DESKTOP_RUN=") + mark) != std::string::npos)) {
      found = static_cast<pid_t>(std::stoi(pid));
    }
  }
  if (proc != nullptr) {
    ::closedir(proc);
  }
  return found;
}

struct CpuMeter {
  pid_t target;
  pid_t bus;
  double start[3];
  static double self() { return cpuSecondsOf(::getpid()); }
  CpuMeter(pid_t targetPid, pid_t busPid) : target(targetPid), bus(busPid) {
    start[0] = self();
    start[1] = cpuSecondsOf(target);
    start[2] = bus > 0 ? cpuSecondsOf(bus) : 0;
  }
  void report(const char* what, double wallSeconds) const {
    const double reader = self() - start[0];
    const double app = cpuSecondsOf(target) - start[1];
    const double daemon = bus > 0 ? cpuSecondsOf(bus) - start[2] : 0;
    std::printf("%s: wall %.3f s; CPU reader %.0f ms, target %.0f ms, bus %.0f ms; total %.2f %% of one core\n", what,
                wallSeconds, reader * 1000, app * 1000, daemon * 1000,
                100.0 * (reader + app + daemon) / std::max(wallSeconds, 1e-9));
  }
};

double percentile(std::vector<double> samples, double at) {
  std::sort(samples.begin(), samples.end());
  return samples[std::min(samples.size() - 1, static_cast<std::size_t>(at * static_cast<double>(samples.size())))];
}

int run(double steadySeconds, int nodes) {
  testing::StandInWindow workBuddy;
  testing::StandInWindow other(testing::StandInWindow::other);
  if (!workBuddy.started || !other.started) {
    std::fprintf(stderr, "the stand-in did not start (run under scripts/with-desktop)\n");
    return 1;
  }
  workBuddy.send("filler " + std::to_string(nodes));
  other.send("activate");
  const pid_t bus = accessibilityBusDaemon();
  std::this_thread::sleep_for(std::chrono::milliseconds(500));

  // 1. The initial copy.
  const CpuMeter copyCost(workBuddy.pid, bus);
  const double copyStart = clock.uptime();
  const AtSpiAccessibility accessibility;
  double longestScan = 0;
  int scanned = 0;
  for (bool complete = false; !complete && clock.uptime() - copyStart < 30;) {
    const double scanStart = clock.uptime();
    AXRead read(accessibility, clock, workBuddy.pid, AXReadLimits{.nodeBudget = 20'000});
    read.readWindows(false);
    longestScan = std::max(longestScan, clock.uptime() - scanStart);
    complete = read.complete() && read.scannedRootCount() > 0;
    scanned = read.nodes();
    if (!complete) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  std::printf("window of %d nodes\n", scanned);
  copyCost.report("1. initial copy, until the first complete scan", clock.uptime() - copyStart);
  std::printf("   longest single scan meanwhile: %.2f ms\n", longestScan * 1000);

  // 2. Cards appearing in the background, offered by the real monitor.
  SerialQueue mainQueue("bench.main");
  X11Workspace workspace(mainQueue, X11Workspace::Options{});
  SerialQueue monitorQueue("vantrel-notch.native-approval");
  NativeApprovalMonitor monitor(accessibility, workspace, clock, monitorQueue);
  std::mutex mutex;
  std::vector<double> offeredAt;
  monitor.start(
      [&](const ApprovalRequest&) {
        std::lock_guard lock(mutex);
        offeredAt.push_back(clock.uptime());
      },
      [](const std::string&) {}, [](const std::string&) {}, true);
  std::vector<double> latencies;
  for (int card = 0; card < 8; ++card) {
    workBuddy.send("remove");
    std::this_thread::sleep_for(std::chrono::milliseconds(900));
    const std::size_t before = offeredAt.size();
    const double shownAt = clock.uptime();
    workBuddy.send("deletion grouped rm -rf build-" + std::to_string(card));
    while (clock.uptime() - shownAt < 5) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
      std::lock_guard lock(mutex);
      if (offeredAt.size() > before) {
        latencies.push_back(offeredAt.back() - shownAt);
        break;
      }
    }
  }
  if (!latencies.empty()) {
    std::printf("2. card shown -> offered (0.8 s polls), %zu of 8 cards: median %.0f ms, max %.0f ms\n",
                latencies.size(), percentile(latencies, 0.5) * 1000, percentile(latencies, 1.0) * 1000);
  } else {
    std::printf("2. no card was offered\n");
  }

  // 3. Steady state with the card offered.
  const CpuMeter steadyCost(workBuddy.pid, bus);
  const double steadyStart = clock.uptime();
  std::this_thread::sleep_for(std::chrono::duration<double>(steadySeconds));
  steadyCost.report("3. steady state, monitor polling a background WorkBuddy with a card",
                    clock.uptime() - steadyStart);
  monitor.stop();

  // 4. The live re-read of the card's nodes before a press.
  const WorkBuddyInstances instances(workspace);
  const NativeScanner scanner(accessibility, instances, clock, AXReadLimits{.nodeBudget = 20'000});
  const NativeScan scan = scanner.scan(true, nullptr);
  if (!scan.candidate) {
    std::printf("4. no card to re-read: %s\n", scan.status.c_str());
    return 1;
  }
  std::vector<AXElementRef> card = scan.candidate->contextElements;
  card.insert(card.end(), {scan.candidate->container, scan.candidate->allow, scan.candidate->deny});
  std::vector<double> rereads;
  for (int round = 0; round < 100; ++round) {
    const double start = clock.uptime();
    if (!accessibility.refreshLive(card)) {
      std::printf("4. a live re-read failed\n");
      return 1;
    }
    rereads.push_back(clock.uptime() - start);
  }
  std::printf("4. live re-read of the card (%zu elements and below): median %.2f ms, p99 %.2f ms\n", card.size(),
              percentile(rereads, 0.5) * 1000, percentile(rereads, 0.99) * 1000);
  return 0;
}

} // namespace
} // namespace notch

int main(int argc, char** argv) {
  double seconds = 60;
  int nodes = 1'780;
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::strcmp(argv[i], "--seconds") == 0) {
      seconds = std::atof(argv[i + 1]);
    } else if (std::strcmp(argv[i], "--nodes") == 0) {
      nodes = std::atoi(argv[i + 1]);
    }
  }
  return notch::run(seconds, nodes);
}
