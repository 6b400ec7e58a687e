// VantrelNotch: hook command, configuration tool and app in one executable.

#include <cstdio>
#include <string_view>

namespace {

constexpr std::string_view kUsage = "Usage: VantrelNotch [--help | --version]\n"
                                    "\n"
                                    "Vantrel Dozer brings WorkBuddy's permission requests, questions and\n"
                                    "turn-end reminders into the area around the display notch.\n";

} // namespace

int main(int argc, char** argv) {
  const std::string_view first = argc > 1 ? argv[1] : "";
  if (first == "--version") {
    std::printf("VantrelNotch %s\n", NOTCH_VERSION);
    return 0;
  }
  if (first.empty() || first == "--help") {
    std::fwrite(kUsage.data(), 1, kUsage.size(), stdout);
    return 0;
  }
  std::fprintf(stderr, "VantrelNotch: unknown argument '%s'\n", argv[1]);
  std::fwrite(kUsage.data(), 1, kUsage.size(), stderr);
  return 2;
}
