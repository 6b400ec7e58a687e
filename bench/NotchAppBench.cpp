// What the notch app costs a user, measured from outside as a user meets
// it, on a private desktop (run it under scripts/with-desktop, from a
// release build):
//
// 1. Start: from starting VantrelNotch to its panel being viewable on the
//    X server (the median of several starts), and the idle app's resident
//    memory.
// 2. Idle: CPU of the app as a share of one core while nothing is pending,
//    for --seconds N (default 60), with turn-end reminders off and on.
// 3. Reveal: the panel's frames on the X server while it opens for a
//    request (configure events), and the longest gap between two.
// 4. Decision: from a real click on the armed allow button to WorkBuddy's
//    side (the hook) having the answer, over several requests.
//
// Usage: notch_app_bench [--seconds N] [--rounds N]

#include <xcb/xcb.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <future>
#include <string>
#include <vector>

#include <dirent.h>
#include <unistd.h>

#include "core/bridge/TestBridge.h"
#include "platform/linux/AtSpiAccessibility.h"
#include "platform/linux/NotchAppHarness.h"
#include "platform/linux/StandInWindow.h"
#include "support/ChildProcess.h"
#include "support/Clock.h"

namespace notch {
namespace {

using namespace testing;

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values.empty() ? 0 : values[values.size() / 2];
}

bool panelViewable() {
  return runChild("/bin/sh", {"-c", "xwininfo -name 'Vantrel Dozer' 2>/dev/null | grep -q IsViewable"}).exitStatus == 0;
}

// CPU seconds the process's threads have run, to the nanosecond (the
// scheduler's own account; /proc/PID/stat counts in 10 ms ticks).
double cpuSeconds(pid_t pid) {
  const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
  double nanoseconds = 0;
  if (DIR* directory = ::opendir(tasks.c_str())) {
    while (const dirent* entry = ::readdir(directory)) {
      std::ifstream schedstat(tasks + "/" + entry->d_name + "/schedstat");
      double onCpu = 0;
      if (entry->d_name[0] != '.' && schedstat >> onCpu) {
        nanoseconds += onCpu;
      }
    }
    ::closedir(directory);
  }
  return nanoseconds / 1e9;
}

double residentMegabytes(pid_t pid) {
  std::ifstream file("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(file, line);) {
    if (line.starts_with("VmRSS:")) {
      return std::stod(line.substr(6)) / 1024;
    }
  }
  return 0;
}

void measureStart(int rounds) {
  std::vector<double> starts;
  double resident = 0;
  for (int round = 0; round < rounds; ++round) {
    TemporaryDirectory home;
    const double started = uptimeNow();
    NotchApp app(home.path());
    if (!eventually(panelViewable, 10)) {
      std::printf("start: the panel never became viewable\n");
      return;
    }
    starts.push_back(uptimeNow() - started);
    if (round == 0) {
      pause(3);
      resident = residentMegabytes(app.pid);
    }
    ::kill(app.pid, SIGTERM);
    app.exitStatus(5);
  }
  std::printf("start to panel viewable: median %.0f ms (min %.0f, max %.0f, %d starts)\n", median(starts) * 1000,
              *std::min_element(starts.begin(), starts.end()) * 1000,
              *std::max_element(starts.begin(), starts.end()) * 1000, rounds);
  std::printf("idle resident memory: %.1f MB\n", resident);
}

void measureIdle(double seconds, bool reminders) {
  TemporaryDirectory home;
  NotchApp app(home.path(),
               reminders ? std::vector<std::string>{"--enable-completion-reminders"} : std::vector<std::string>{});
  eventually(panelViewable, 10);
  pause(3); // past the start-up work
  const double before = cpuSeconds(app.pid);
  pause(seconds);
  const double used = cpuSeconds(app.pid) - before;
  std::printf("idle %.0f s, turn-end reminders %s: %.3f %% of one core (%.1f ms of CPU)\n", seconds,
              reminders ? "on " : "off", used / seconds * 100, used * 1000);
  ::kill(app.pid, SIGTERM);
  app.exitStatus(5);
}

// Counts the panel's configure events while it opens for a request; the
// request stays waiting (its hook's answer is returned).
std::future<std::string> measureReveal(const std::string& home) {
  xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
  const auto window = static_cast<xcb_window_t>(
      std::stoul(runChild("/bin/sh", {"-c", "xdotool search --onlyvisible --name '^Vantrel Dozer$' | head -n1"}).standardOutput));
  const std::uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
  xcb_change_window_attributes(connection, window, XCB_CW_EVENT_MASK, &mask);
  xcb_flush(connection);
  const int collapsed = panelHeight();
  auto request = fire(home, "echo reveal");
  std::vector<double> times;
  int lastHeight = collapsed;
  for (const double end = uptimeNow() + 5; uptimeNow() < end;) {
    xcb_generic_event_t* event = xcb_poll_for_event(connection);
    if (event == nullptr) {
      pause(0.0005);
      continue;
    }
    if ((event->response_type & 0x7f) == XCB_CONFIGURE_NOTIFY) {
      const auto* configure = reinterpret_cast<xcb_configure_notify_event_t*>(event);
      if (configure->height != lastHeight) {
        lastHeight = configure->height;
        times.push_back(uptimeNow());
      }
    }
    std::free(event);
    if (!times.empty() && uptimeNow() - times.back() > 0.5) {
      break;
    }
  }
  double longestGap = 0;
  for (std::size_t i = 1; i < times.size(); ++i) {
    longestGap = std::max(longestGap, times[i] - times[i - 1]);
  }
  std::printf("reveal: %zu frames over %.0f ms, longest gap %.1f ms (%d -> %d points)\n", times.size(),
              times.empty() ? 0.0 : (times.back() - times.front()) * 1000, longestGap * 1000, collapsed, lastHeight);
  xcb_disconnect(connection);
  return request;
}

void measureDecisions(int rounds) {
  TemporaryDirectory home;
  runChild(NOTCH_EXECUTABLE_PATH, {"--configure", "target", "--apply"}, {.environment = {"HOME=" + home.path()}});
  NotchApp app(home.path());
  eventually(panelViewable, 10);
  const AtSpiAccessibility accessibility;
  auto revealed = measureReveal(home.path());
  const auto allow = awaitShown(accessibility, app.pid, "允许本次");
  if (!allow) {
    std::printf("decision: the allow button never showed\n");
    return;
  }
  pause(0.6);
  xdotool("mousemove --sync " + std::to_string(std::lround(allow->centreX())) + " " +
          std::to_string(std::lround(allow->centreY())));
  std::vector<double> latencies;
  for (int round = 0; round < rounds; ++round) {
    auto request = round == 0 ? std::move(revealed) : fire(home.path(), "echo reveal");
    if (round > 0) {
      pause(1.0); // shown and armed (0.45 s) with time to spare
    }
    // The button acts on release: the press goes first, the time runs from the release.
    xdotool("mousedown 1");
    const double clicked = uptimeNow();
    xdotool("mouseup 1");
    request.wait();
    if (round > 0) { // the reveal's request was armed long before: not timed
      latencies.push_back(uptimeNow() - clicked);
    }
    pause(2.2); // the receipt goes
  }
  std::printf("click on allow to the hook's answer: median %.1f ms (min %.1f, max %.1f, %zu decisions; includes "
              "starting xdotool for the release)\n",
              median(latencies) * 1000, *std::min_element(latencies.begin(), latencies.end()) * 1000,
              *std::max_element(latencies.begin(), latencies.end()) * 1000, latencies.size());
}

} // namespace
} // namespace notch

int main(int argc, char** argv) {
  double seconds = 60;
  int rounds = 10;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--seconds") == 0) {
      seconds = std::atof(argv[i + 1]);
    } else if (std::strcmp(argv[i], "--rounds") == 0) {
      rounds = std::atoi(argv[i + 1]);
    }
  }
  if (std::getenv("DISPLAY") == nullptr) {
    std::fprintf(stderr, "notch_app_bench: run it under scripts/with-desktop\n");
    return 2;
  }
  notch::measureStart(rounds);
  notch::measureDecisions(rounds);
  notch::measureIdle(seconds, false);
  notch::measureIdle(seconds, true);
  return 0;
}
