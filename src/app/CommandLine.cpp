#include "app/CommandLine.h"

#include <algorithm>

namespace notch {

bool present(CommandArguments arguments, std::string_view flag) {
  return std::find(arguments.begin(), arguments.end(), flag) != arguments.end();
}

std::string_view valueAfter(CommandArguments arguments, std::string_view flag, std::string_view fallback) {
  for (std::size_t i = 0; i + 1 < arguments.size(); ++i) {
    if (arguments[i] == flag) {
      return arguments[i + 1];
    }
  }
  return fallback;
}

CommandLineMode selectMode(CommandArguments a) {
  using enum CommandLineMode;
  if (a.size() == 1 && a[0] == "--test-transport-identity") {
    return transportIdentity;
  }
  static constexpr std::pair<std::string_view, CommandLineMode> kByFlag[] = {
      {"--completion-hook", turnEndHook},
      {"--configure-completion", configureCompletion},
      {"--render-completion-preview", completionPreview},
      {"--render-question-preview", questionPreview},
      {"--ui-self-test", uiSelfTest},
      {"--native-diagnose", nativeDiagnose},
      {"--configure", configure},
      {"--hook", hook},
      {"--help", help},
      {"--version", version},
  };
  for (const auto& [flag, mode] : kByFlag) {
    if (present(a, flag)) {
      return mode;
    }
  }
  return application;
}

bool runsInAppImage(CommandLineMode mode) {
  using enum CommandLineMode;
  return mode == completionPreview || mode == questionPreview || mode == uiSelfTest || mode == nativeDiagnose ||
         mode == application;
}

} // namespace notch
