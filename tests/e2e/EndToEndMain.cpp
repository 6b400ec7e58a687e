// The end-to-end suite's entry: a private /tmp before anything else runs.

#include <gtest/gtest.h>

#include <cstdio>

#include "e2e/PrivateTmp.h"

int main(int argc, char** argv) {
  if (!notch::testing::enterPrivateTmp()) {
    std::fprintf(stderr, "note: no private /tmp on this machine; sharing the real bridge directory\n");
  }
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
