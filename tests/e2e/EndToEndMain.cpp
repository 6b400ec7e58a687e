// The end-to-end suite's entry: a private /tmp before anything else runs.

#include <gtest/gtest.h>

#include <cstdio>
#include <string_view>

#include "e2e/PrivateTmp.h"

namespace {

// A build tree inside /tmp would vanish under the private /tmp.
bool outsideTmp(std::string_view path) { return !path.starts_with("/tmp/"); }

} // namespace

int main(int argc, char** argv) {
  if (!outsideTmp(NOTCH_EXECUTABLE_PATH) || !outsideTmp(STANDIN_EXECUTABLE_PATH) ||
      !notch::testing::enterPrivateTmp()) {
    std::fprintf(stderr, "note: no private /tmp here; sharing the real bridge directory\n");
  }
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
