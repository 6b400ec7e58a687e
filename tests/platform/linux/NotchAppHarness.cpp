#include "platform/linux/NotchAppHarness.h"

#include <chrono>
#include <cmath>
#include <csignal>
#include <string_view>
#include <thread>

#include <spawn.h>
#include <sys/wait.h>

#include "platform/linux/StandInWindow.h"
#include "support/ChildProcess.h"
#include "support/Clock.h"

extern char** environ;

namespace notch::testing {

void pause(double seconds) { std::this_thread::sleep_for(std::chrono::duration<double>(seconds)); }

bool eventually(const std::function<bool()>& condition, double seconds) {
  for (const double end = uptimeNow() + seconds; uptimeNow() < end; pause(0.02)) {
    if (condition()) {
      return true;
    }
  }
  return condition();
}

NotchApp::NotchApp(const std::string& home, const std::vector<std::string>& arguments) {
  const std::string homeVariable = "HOME=" + home;
  // Under ThreadSanitizer the app's Qt loop reports what Qt's own locks
  // hide; that must not change the status the app ends with.
  static char tsanOptions[] = "TSAN_OPTIONS=exitcode=0";
  static char lsanOptions[] = "LSAN_OPTIONS=suppressions=" LSAN_SUPPRESSIONS_PATH;
  std::vector<char*> environment{const_cast<char*>(homeVariable.c_str()), tsanOptions, lsanOptions};
  for (char** variable = environ; *variable != nullptr; ++variable) {
    if (!std::string_view(*variable).starts_with("HOME=") &&
        !std::string_view(*variable).starts_with("TSAN_OPTIONS=") &&
        !std::string_view(*variable).starts_with("LSAN_OPTIONS=")) {
      environment.push_back(*variable);
    }
  }
  environment.push_back(nullptr);
  std::vector<char*> argv{const_cast<char*>(NOTCH_EXECUTABLE_PATH)};
  for (const std::string& argument : arguments) {
    argv.push_back(const_cast<char*>(argument.c_str()));
  }
  argv.push_back(nullptr);
  if (::posix_spawn(&pid, NOTCH_EXECUTABLE_PATH, nullptr, nullptr, argv.data(), environment.data()) != 0) {
    pid = -1;
  }
}

NotchApp::~NotchApp() {
  if (pid > 0) {
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
  }
}

int NotchApp::exitStatus(double seconds) {
  int status = 0;
  if (pid <= 0 || !eventually([&] { return ::waitpid(pid, &status, WNOHANG) == pid; }, seconds)) {
    return -1;
  }
  pid = -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::vector<Shown> shownBy(const Accessibility& accessibility, pid_t pid) {
  std::vector<Shown> shown;
  std::function<void(const AXElementRef&, int)> visit = [&](const AXElementRef& element, int depth) {
    const auto values = accessibility.copyAttributes(
        element, {"AXTitle", "AXValue", "AXPosition", "AXSize", "AXEnabled", "AXChildren", "AXHidden"});
    if (!values || depth > 40) {
      return;
    }
    Shown item;
    for (const int text : {0, 1}) {
      if (const auto* value = std::get_if<std::string>(&(*values)[text]); value != nullptr && !value->empty()) {
        item.text = *value;
      }
    }
    if (const auto* position = std::get_if<AXPoint>(&(*values)[2])) {
      item.x = position->x;
      item.y = position->y;
    }
    if (const auto* size = std::get_if<AXSize>(&(*values)[3])) {
      item.width = size->width;
      item.height = size->height;
    }
    const auto* enabled = std::get_if<bool>(&(*values)[4]);
    item.enabled = enabled != nullptr && *enabled;
    const auto* hidden = std::get_if<bool>(&(*values)[6]);
    if (hidden != nullptr && *hidden) {
      return; // a card not on screen now, and everything in it
    }
    if (!item.text.empty()) {
      shown.push_back(item);
    }
    if (const auto* children = std::get_if<std::vector<AXElementRef>>(&(*values)[5])) {
      for (const AXElementRef& child : *children) {
        visit(child, depth + 1);
      }
    }
  };
  if (const AXElementRef application = accessibility.applicationElement(pid)) {
    accessibility.refreshLive({application});
    visit(application, 0);
  }
  return shown;
}

std::optional<Shown> find(const Accessibility& accessibility, pid_t pid, const std::string& text) {
  for (const Shown& item : shownBy(accessibility, pid)) {
    if (item.text == text) {
      return item;
    }
  }
  return std::nullopt;
}

std::optional<Shown> awaitShown(const Accessibility& accessibility, pid_t pid, const std::string& text,
                                double seconds) {
  std::optional<Shown> found;
  eventually([&] { return (found = find(accessibility, pid, text)).has_value(); }, seconds);
  return found;
}

bool click(double x, double y, int button) {
  return xdotool("mousemove --sync " + std::to_string(std::lround(x)) + " " + std::to_string(std::lround(y)) +
                 " click " + std::to_string(button));
}

int panelHeight() {
  const auto result =
      runChild("/bin/sh", {"-c", "xwininfo -name 'Vantrel Dozer' 2>/dev/null | sed -n 's/^ *Height: //p'"});
  return result.standardOutput.empty() ? -1 : std::stoi(result.standardOutput);
}

std::future<std::string> fire(const std::string& home, const std::string& command) {
  return std::async(std::launch::async, [home, command] {
    ChildOptions options;
    options.environment = {"HOME=" + home};
    options.standardInput = R"({"hook_event_name":"PermissionRequest","tool_name":"Bash","tool_input":{"command":")" +
                            command + R"("},"cwd":"/tmp/demo","session_id":"desktop-session"})";
    const auto result = runChild(STANDIN_EXECUTABLE_PATH, {"PermissionRequest"}, options);
    return std::to_string(result.exitStatus) + "|" + result.standardOutput;
  });
}

bool ended(std::future<std::string>& hook) {
  return hook.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
}

} // namespace notch::testing
