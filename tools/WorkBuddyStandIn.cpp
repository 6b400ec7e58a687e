// workbuddy-standin: behaves toward its hooks as WorkBuddy does, so that the
// hook configuration and the hook commands can be exercised end to end
// without WorkBuddy itself.
//
//   workbuddy-standin [--profile workbuddy|workbuddyAI] EVENT [TOOL]
//
// Reads <home>/.workbuddy[-ai]/settings.json, and runs every hook entry of
// type "command" configured for EVENT (groups whose matcher fits TOOL) through
// /bin/sh -c, with the event's JSON on standard input (the JSON given on this
// program's standard input, or a sample one when it is empty). Each hook runs
// in its own process group, killed after the entry's timeout. For
// "PermissionRequest" it prints what WorkBuddy would do: "allow", "deny", or
// "ask" (ask the user in its own window); for other events it prints how many
// hooks ran. Exit status 2 for usage errors and an unreadable settings file.

#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "core/config/HomeDirectory.h"
#include "core/config/TargetApplicationProfile.h"
#include "support/Clock.h"
#include "support/Json.h"

extern char** environ;

namespace {

using notch::Json;

struct HookRun {
  std::string output;
  bool timedOut = false;
};

// Runs `command` through /bin/sh in a new process group with `input` on its
// standard input; kills the group after `timeout` seconds.
HookRun runHook(const std::string& command, const std::string& input, double timeout) {
  int in[2];
  int out[2];
  if (::pipe(in) != 0 || ::pipe(out) != 0) {
    return {};
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, in[1]);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&attributes, 0);
  const char* argv[] = {"/bin/sh", "-c", command.c_str(), nullptr};
  pid_t pid = 0;
  const int spawned = ::posix_spawn(&pid, "/bin/sh", &actions, &attributes, const_cast<char* const*>(argv), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  ::close(in[0]);
  ::close(out[1]);
  HookRun run;
  if (spawned != 0) {
    ::close(in[1]);
    ::close(out[0]);
    return run;
  }
  // The event is small; a hook that does not read it only loses it.
  [[maybe_unused]] const ssize_t written = ::write(in[1], input.data(), input.size());
  ::close(in[1]);

  const double deadline = notch::uptimeNow() + timeout;
  char buffer[4096];
  for (;;) {
    const double remaining = deadline - notch::uptimeNow();
    if (remaining <= 0) {
      run.timedOut = true;
      ::kill(-pid, SIGKILL);
      break;
    }
    pollfd entry{out[0], POLLIN, 0};
    if (::poll(&entry, 1, static_cast<int>(std::ceil(remaining * 1000))) <= 0) {
      continue;
    }
    const ssize_t count = ::read(out[0], buffer, sizeof buffer);
    if (count <= 0) {
      break;
    }
    run.output.append(buffer, static_cast<std::size_t>(count));
  }
  ::close(out[0]);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return run;
}

// A matcher fits when it is absent, empty or "*", or names the tool (one of
// several alternatives separated by "|").
bool matcherFits(const Json& group, const std::string& tool) {
  const std::string* matcher = notch::stringMember(group, "matcher");
  if (matcher == nullptr || matcher->empty() || *matcher == "*") {
    return true;
  }
  std::stringstream alternatives(*matcher);
  std::string alternative;
  while (std::getline(alternatives, alternative, '|')) {
    if (alternative == tool) {
      return true;
    }
  }
  return false;
}

// What WorkBuddy makes of one permission hook's output.
std::string permissionVerdict(const std::string& output) {
  const auto parsed = notch::parseJson(output);
  if (!parsed || !parsed->is_object()) {
    return "ask";
  }
  const Json specific = parsed->value("hookSpecificOutput", Json::object());
  const Json decision = specific.is_object() ? specific.value("decision", Json::object()) : Json::object();
  const std::string* behavior = decision.is_object() ? notch::stringMember(decision, "behavior") : nullptr;
  if (behavior != nullptr && (*behavior == "allow" || *behavior == "deny")) {
    return *behavior;
  }
  return "ask";
}

std::string sampleEvent(const std::string& event, const std::string& tool) {
  Json sample = {{"hook_event_name", event}, {"session_id", "standin-session"}, {"cwd", "/Users/me/project"}};
  if (event == "PermissionRequest" || event == "PreToolUse") {
    sample["tool_name"] = tool;
    sample["tool_input"] = {{"command", "rm -rf ./build"}, {"description", "清理构建目录"}};
  }
  return notch::writeCompactJson(sample).value();
}

int usage() {
  std::cerr << "Usage: workbuddy-standin [--profile workbuddy|workbuddyAI] EVENT [TOOL]\n";
  return 2;
}

} // namespace

int main(int argc, char** argv) {
  std::vector<std::string> arguments(argv + 1, argv + argc);
  auto profile = notch::TargetApplicationProfile::workbuddy;
  if (arguments.size() >= 2 && arguments[0] == "--profile") {
    const auto named = notch::profileFromRawValue(arguments[1]);
    if (!named) {
      return usage();
    }
    profile = *named;
    arguments.erase(arguments.begin(), arguments.begin() + 2);
  }
  if (arguments.empty() || arguments.size() > 2) {
    return usage();
  }
  const std::string event = arguments[0];
  const std::string tool = arguments.size() == 2 ? arguments[1] : "Bash";

  std::string input((std::istreambuf_iterator<char>(std::cin)), std::istreambuf_iterator<char>());
  if (input.empty()) {
    input = sampleEvent(event, tool);
  }
  const std::string settings = notch::settingsURL(profile, notch::homeDirectory().value_or(""));
  std::ifstream stream(settings);
  std::string text((std::istreambuf_iterator<char>(stream)), std::istreambuf_iterator<char>());
  const auto root = stream ? notch::parseJson(text) : std::optional<Json>(Json::object());
  if (!root || !root->is_object()) {
    std::cerr << "workbuddy-standin: " << settings << " is not a JSON object\n";
    return 2;
  }

  std::string verdict = "ask";
  int ran = 0;
  const Json hooks = root->value("hooks", Json::object());
  const Json groups = hooks.is_object() ? hooks.value(event, Json::array()) : Json::array();
  for (const Json& group : groups.is_array() ? groups : Json::array()) {
    if (!group.is_object() || !matcherFits(group, tool)) {
      continue;
    }
    for (const Json& hook : group.value("hooks", Json::array())) {
      const std::string* command = hook.is_object() ? notch::stringMember(hook, "command") : nullptr;
      if (command == nullptr || hook.value("type", Json()) != "command") {
        continue;
      }
      const double timeout = hook.value("timeout", Json(60)).is_number() ? hook.value("timeout", 60.0) : 60.0;
      const HookRun run = runHook(*command, input, timeout);
      ++ran;
      if (verdict == "ask") {
        verdict = permissionVerdict(run.output);
      }
    }
  }
  if (event == "PermissionRequest") {
    std::cout << verdict << "\n";
  } else {
    std::cout << "ran " << ran << " hook" << (ran == 1 ? "" : "s") << "\n";
  }
  return 0;
}
