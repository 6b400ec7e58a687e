// VantrelNotch: hook command, configuration tool and app in one executable.
//
// The composition root: the system's clock, file system and bridge
// directory are made here, once, and handed to every mode. The arguments
// select exactly one mode, tried in a fixed order; the first whose trigger
// matches runs. Hook modes come before anything heavy is touched: WorkBuddy
// starts them on every tool call and every turn, and they must end with
// status 0 and no stray output whatever happens. The modes that need the
// desktop (previews, UI checks, the accessibility diagnosis, the app) run in
// VantrelNotchApp beside this file, which this process becomes (execv, same
// pid and arguments), so that this image never loads a desktop library.

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <exception>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include <unistd.h>

#include "app/CommandLine.h"
#include "core/bridge/BridgePaths.h"
#include "core/bridge/HookClient.h"
#include "core/completion/CompletionHookClient.h"
#include "core/config/FileSystem.h"
#include "core/config/HomeDirectory.h"
#include "core/config/HookInstaller.h"
#include "core/text/PublicText.h"
#include "support/AllocatorTuning.h"
#include "support/Clock.h"
#include "support/ExecutablePath.h"

namespace {

using Arguments = notch::CommandArguments;
using notch::present;
using notch::valueAfter;

// What the modes reach the outside world through.
struct Services {
  const notch::Clock& clock;
  const notch::FileSystem& fileSystem;
  std::string bridgeDirectory;
};

// Runs a hook mode: SIGPIPE ignored (WorkBuddy may close its end of our
// output), every exception swallowed, status 0 always.
template <typename Hook> int runHook(Hook hook) {
  std::signal(SIGPIPE, SIG_IGN);
  try {
    hook();
  } catch (...) {
  }
  return 0;
}

// Prints one line; false when it could not be written (the reader is gone).
bool printLine(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fputc('\n', stdout);
  return std::fflush(stdout) == 0 && std::ferror(stdout) == 0;
}

// Reports one line on standard error; returns the failure status 1.
int reportLine(std::string_view text) {
  std::fprintf(stderr, "%.*s\n", static_cast<int>(text.size()), text.data());
  return 1;
}

std::string settingsOf(notch::TargetApplicationProfile profile) {
  return notch::settingsURL(profile, notch::homeDirectory().value_or(""));
}

// Runs a configuration step; installer failures are reported with `prefix`.
// A reader that goes away must not turn a finished install into a death by
// SIGPIPE: the status tells what happened to the settings, not to the line.
template <typename Step> int configure(std::string_view prefix, Step step) {
  std::signal(SIGPIPE, SIG_IGN);
  notch::keepFreedMemoryForReuse();
  try {
    step();
    return 0;
  } catch (const std::exception& failure) {
    return reportLine(std::string(prefix) + notch::PublicText::administrative(failure.what()));
  }
}

// Mode 3: the turn-end hooks, always in the standard edition's settings.
int runConfigureCompletion(const Arguments& a, const Services& services) {
  const auto executable = notch::executablePath();
  const bool apply = a.size() == 2 && a[0] == "--configure-completion" && a[1] == "--apply";
  const bool remove = a.size() == 2 && a[0] == "--configure-completion" && a[1] == "--remove";
  if ((!apply && !remove) || !executable) {
    return reportLine("Usage: --configure-completion --apply|--remove");
  }
  const std::string settings = settingsOf(notch::TargetApplicationProfile::workbuddy);
  const notch::HookInstaller installer(services.fileSystem);
  return configure("Completion configuration failed: ", [&] {
    if (apply) {
      installer.installCompletion(settings, *executable, false);
      printLine("Installed independent turn-end notification hooks; existing approvals preserved.");
    } else {
      installer.uninstallCompletion(settings);
      printLine("Removed turn-end notification hooks only; existing approvals preserved.");
    }
  });
}

// Mode 8: the approval hook of one edition; a dry run without --apply.
int runConfigure(const Arguments& a, const Services& services) {
  std::size_t position = 0;
  while (a[position] != "--configure") {
    ++position;
  }
  const std::string_view target = position + 1 < a.size() ? a[position + 1] : std::string_view();
  const auto named = notch::profileFromCommandLineName(target);
  const auto executable = notch::executablePath();
  if (!named || !executable) {
    return reportLine("Usage: VantrelNotch --configure target|targetAI [--apply|--remove]");
  }
  const notch::TargetApplicationProfile profile = *named;
  const std::string settings = settingsOf(profile);
  const notch::HookInstaller installer(services.fileSystem);
  if (present(a, "--remove")) {
    if (present(a, "--apply")) {
      return 1;
    }
    return configure("Configuration failed: ", [&] {
      installer.uninstall(settings);
      printLine("Removed this application's hooks. 备份已安全保存（内部兼容路径不显示）");
    });
  }
  const std::string source(notch::rawValue(profile));
  const bool interceptBash = present(a, "--compat-bash");
  return configure("Configuration failed: ", [&] {
    std::string preview = installer.preview(settings, *executable, source, interceptBash);
    if (!preview.empty() && preview.back() == '\n') {
      preview.pop_back();
    }
    const bool shown = printLine(preview);
    if (present(a, "--apply")) {
      installer.install(settings, *executable, source, interceptBash);
      printLine("Installed. Restart WorkBuddy to load hooks. 备份已安全保存（内部兼容路径不显示）");
    } else if (!shown) {
      // A dry run's only result is the preview.
      throw std::runtime_error("the preview could not be written to standard output.");
    }
  });
}

struct Mode {
  notch::CommandLineMode mode;
  int (*run)(const Arguments&, const Services&); // nullptr: runs in the app image
  const char* usage;                             // a line for --help; nullptr for modes not meant for people
};

int printUsage(const Arguments&, const Services&);

int printVersion(const Arguments&, const Services&) {
  std::printf("VantrelNotch %s\n", NOTCH_VERSION);
  return 0;
}

// Mode 2: only the exact command line that the configuration writes runs the
// client; any other list does nothing. Always silent, always status 0.
int runTurnEndHook(const Arguments& a, const Services& services) {
  static constexpr std::string_view kExact[] = {"--completion-hook", "--source", "workbuddy", "--owner-marker",
                                                "vantrel-notch-completion-v1"};
  const bool exact = std::equal(a.begin(), a.end(), std::begin(kExact), std::end(kExact));
  return runHook([&] {
    if (exact) {
      notch::CompletionHookClient::run(notch::CompletionHookOptions(services.bridgeDirectory, services.clock));
    }
  });
}

int runApprovalHook(const Arguments& a, const Services& services) {
  return runHook([&] {
    notch::HookClient::run(valueAfter(a, "--source", "workbuddy"),
                           notch::HookClientOptions(services.bridgeDirectory, services.clock));
  });
}

// In the order of --help.
const Mode kModes[] = {
    {notch::CommandLineMode::transportIdentity,
     [](const Arguments&, const Services&) {
       std::printf("production\n");
       return 0;
     },
     nullptr},
    {notch::CommandLineMode::turnEndHook, runTurnEndHook,
     "  --completion-hook --source workbuddy --owner-marker vantrel-notch-completion-v1\n"
     "                              report a turn's start or end to the notch (WorkBuddy starts this)"},
    {notch::CommandLineMode::configureCompletion, runConfigureCompletion,
     "  --configure-completion --apply|--remove\n"
     "                              install or remove the turn-end reminder hooks"},
    {notch::CommandLineMode::completionPreview, nullptr,
     "  --render-completion-preview NEW.png\n"
     "                              draw a made-up turn-end reminder into a new PNG"},
    {notch::CommandLineMode::questionPreview, nullptr,
     "  --render-question-preview NEW.png [--question-long] [--question-failure]\n"
     "                              draw a made-up question reminder into a new PNG"},
    {notch::CommandLineMode::uiSelfTest, nullptr,
     "  --ui-self-test              run the notch's built-in checks; print each one that fails"},
    {notch::CommandLineMode::nativeDiagnose, nullptr,
     "  --native-diagnose           check the accessibility access and look for WorkBuddy's cards\n"
     "                              for 1.8 s (their contents are never printed)"},
    {notch::CommandLineMode::configure, runConfigure,
     "  --configure target|targetAI [--apply|--remove]\n"
     "                              preview, install or remove the approval hook of WorkBuddy\n"
     "                              (target) or WorkBuddy AI (targetAI) in its settings.json"},
    {notch::CommandLineMode::hook, runApprovalHook,
     "  --hook [--source PROFILE]   answer one WorkBuddy permission request through the notch\n"
     "                              (WorkBuddy starts this; PROFILE is workbuddy or workbuddyAI)"},
    {notch::CommandLineMode::help, printUsage, "  --help                      show this text"},
    {notch::CommandLineMode::version, printVersion, "  --version                   show the version"},
    {notch::CommandLineMode::application, nullptr,
     "  (no mode) [--demo] [--enable-native-approvals] [--enable-completion-reminders]\n"
     "                              start the notch application (one per user)\n"
     "  --render-preview [NEW.png] [--preview-idle|-native|-details|-receipt|-compact|-settings]\n"
     "                              draw a made-up scene of the notch or the settings window"},
};

// Replaces this process with the app image beside the real executable (same
// pid, same arguments); returns only when that is impossible.
int runInAppImage(char** argv) {
  if (const auto image = notch::siblingExecutable("VantrelNotchApp")) {
    ::execv(image->c_str(), argv);
  }
  return reportLine("VantrelNotch: the notch application is not installed next to this executable.");
}

int printUsage(const Arguments&, const Services&) {
  std::printf("Usage: VantrelNotch [MODE]\n\n"
              "Vantrel Dozer brings WorkBuddy's permission requests, questions and turn-end\n"
              "reminders into the area around the display notch.\n\n"
              "Modes:\n");
  for (const Mode& mode : kModes) {
    if (mode.usage != nullptr) {
      std::printf("%s\n", mode.usage);
    }
  }
  return 0;
}

} // namespace

int main(int argc, char** argv) {
  const std::span<char*> all(argv, static_cast<std::size_t>(argc));
  const std::vector<std::string_view> argumentList(all.begin() + (argc > 0 ? 1 : 0), all.end());
  const Arguments arguments(argumentList);
  const notch::SystemClock clock;
  const notch::SystemFileSystem fileSystem;
  const Services services{clock, fileSystem, notch::bridgeDirectory()};
  const notch::CommandLineMode selected = notch::selectMode(arguments);
  for (const Mode& mode : kModes) {
    if (mode.mode == selected && mode.run != nullptr) {
      return mode.run(arguments, services);
    }
  }
  return runInAppImage(argv);
}
