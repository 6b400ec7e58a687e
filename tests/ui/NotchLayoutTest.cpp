// The notch's layout arithmetic: geometry from the screens, the main text
// box's height, the countdown chip and the reveal motion.

#include <gtest/gtest.h>

#include <string>

#include "ui/layout/Countdown.h"
#include "ui/layout/NotchGeometry.h"
#include "ui/layout/PrimaryTextBox.h"
#include "ui/layout/RevealMotion.h"

namespace notch {
namespace {

ScreenInfo plainScreen(double x, double width) { return {{x, 0, width, 900}, 0, std::nullopt, std::nullopt}; }

TEST(NotchGeometry, FollowsTheScreenWithTheNotch) {
  EXPECT_FALSE(NotchGeometry::forScreens({}));

  const auto plain = *NotchGeometry::forScreens({plainScreen(0, 1512)});
  EXPECT_EQ(plain.notchHeight, 8);
  EXPECT_EQ(plain.notchWidth, 200);
  EXPECT_EQ(plain.panelWidth, 480);
  EXPECT_EQ(plain.compactWidth, 236);
  EXPECT_EQ(plain.collapsedHeight(), 32);
  EXPECT_EQ(plain.panelFrame(120), (ScreenRect{516, 0, 480, 120}));

  const auto narrow = *NotchGeometry::forScreens({plainScreen(0, 400)});
  EXPECT_EQ(narrow.panelWidth, 368);
  EXPECT_EQ(narrow.compactWidth, 236);
  EXPECT_EQ(NotchGeometry::forScreens({plainScreen(0, 250)})->compactWidth, 218) << "never wider than the panel";

  // The second display has the notch: it wins, with its own inset and gap.
  ScreenInfo notched{{1512, -40, 1728, 1117}, 38, ScreenRect{1512, -40, 760, 38}, ScreenRect{2457, -40, 783, 38}};
  const auto chosen = *NotchGeometry::forScreens({plainScreen(0, 1512), notched});
  EXPECT_EQ(chosen.notchHeight, 38);
  EXPECT_EQ(chosen.notchWidth, 200) << "a 185-point gap is widened";
  EXPECT_EQ(chosen.panelFrame(62), (ScreenRect{2136, -40, 480, 62}));
  notched.auxiliaryTopRightArea->x = 2522; // a 250-point notch
  EXPECT_EQ(NotchGeometry::forScreens({notched})->compactWidth, 286);
  notched.auxiliaryTopLeftArea.reset();
  EXPECT_EQ(NotchGeometry::forScreens({notched})->notchWidth, 200) << "one area missing";
}

TEST(PrimaryTextBox, GrowsByRowsOfFiftyFourBytesBetweenItsLimits) {
  const std::string cjk18 = [] {
    std::string text;
    for (int i = 0; i < 18; ++i) {
      text += "删";
    }
    return text;
  }();
  // clang-format off
  const struct { std::string text; bool full; double height; } rows[] = {
      {"ls", false, 54},                                        // one row: 39, raised to the minimum
      {std::string(54, 'a'), false, 54},
      {std::string(55, 'a'), false, 58},                        // 55 bytes take two rows
      {cjk18, false, 54},                                       // 54 bytes
      {cjk18 + "删", false, 58},                                // 57 bytes
      {"a\nb\nc", false, 77},
      {"a\n\nc", false, 77},                                    // an empty line is a row
      {"1\n2\n3\n4\n5\n6\n7\n8", false, 110},                   // eight rows capped
      {"ls", true, 176},
      {std::string(2048, 'a') + std::string(4000, '\n'), false, 110}, // only the first 2048 characters count
  };
  // clang-format on
  for (const auto& row : rows) {
    EXPECT_EQ(primaryTextBoxHeight(row.text, row.full), row.height) << row.text.substr(0, 60);
  }
  EXPECT_EQ(primaryTextBoxHeight(std::string(54 * 3, 'a'), false), 77) << "three rows: 77";
  EXPECT_EQ(primaryTextBoxHeight(std::string(54 * 3 + 1, 'a'), false), 96);
}

TEST(Countdown, RoundsUpAndTurnsUrgentAtTenSeconds) {
  EXPECT_EQ(countdown(109.2, 100), (Countdown{"10s", true}));
  EXPECT_EQ(countdown(110.5, 100), (Countdown{"11s", false}));
  EXPECT_EQ(countdown(110, 100), (Countdown{"10s", true}));
  EXPECT_EQ(countdown(100.01, 100), (Countdown{"1s", true}));
  EXPECT_EQ(countdown(99, 100), (Countdown{"0s", true}));
}

class RevealMotionTest : public ::testing::Test {
protected:
  const ScreenRect compact{516, 0, 480, 32};
  const ScreenRect open{516, 0, 480, 300};
  RevealMotion motion{236};
};

TEST_F(RevealMotionTest, OpensLikeACurtainInQuarterOfASecond) {
  ASSERT_EQ(motion.request(compact, open, 480, true, 10), RevealMotion::Start::animated);
  double previous = 32;
  int ticks = 0;
  for (double t = 10; motion.isAnimating(); t += RevealMotion::tickInterval, ++ticks) {
    const auto step = motion.step(t);
    motion.applied(step.surfaceWidth);
    EXPECT_EQ(step.frame.y, 0);
    EXPECT_EQ(step.frame.x, 516);
    EXPECT_GE(step.frame.height, previous);
    previous = step.frame.height;
  }
  EXPECT_EQ(ticks, 16); // 0, 1/60, …, 15/60 = 0.25 ≥ 0.24
  EXPECT_EQ(previous, 300);
  EXPECT_EQ(motion.surfaceWidth(), 480);
  // Half way the smoothstep is exactly half way.
  ASSERT_EQ(motion.request(open, compact, 236, true, 20), RevealMotion::Start::animated);
  const auto half = motion.step(20.12);
  EXPECT_NEAR(half.frame.height, 166, 1e-6);
  EXPECT_NEAR(half.surfaceWidth, 358, 1e-6);
}

TEST_F(RevealMotionTest, LandsAtOnceUnlessPurelyVerticalAndAnimated) {
  EXPECT_EQ(motion.request(compact, open, 480, false, 0), RevealMotion::Start::immediate);
  ScreenRect moved = open;
  moved.x += 1;
  EXPECT_EQ(motion.request(compact, moved, 480, true, 0), RevealMotion::Start::immediate) << "another place";
  moved = open;
  moved.width = 368;
  EXPECT_EQ(motion.request(compact, moved, 480, true, 0), RevealMotion::Start::immediate) << "another width";
  ScreenRect nearlyThere = open;
  nearlyThere.height -= 0.4;
  motion.applied(480);
  EXPECT_EQ(motion.request(nearlyThere, open, 480.4, true, 0), RevealMotion::Start::immediate);
  nearlyThere.height -= 0.2;
  EXPECT_EQ(motion.request(nearlyThere, open, 480, true, 0), RevealMotion::Start::animated);
  EXPECT_EQ(motion.target().surfaceWidth, 480);
}

TEST_F(RevealMotionTest, TheSameTargetDoesNotRestartAndANewOneReversesFromWhereItIs) {
  ASSERT_EQ(motion.request(compact, open, 480, true, 0), RevealMotion::Start::animated);
  const auto halfway = motion.step(0.12);
  motion.applied(halfway.surfaceWidth);
  EXPECT_EQ(motion.request(halfway.frame, open, 480, true, 0.12), RevealMotion::Start::alreadyUnderway);
  EXPECT_DOUBLE_EQ(motion.step(0.18).frame.height, 32 + 268 * 0.84375) << "the first motion's clock runs on";

  ASSERT_EQ(motion.request(halfway.frame, compact, 236, true, 0.12), RevealMotion::Start::animated);
  EXPECT_DOUBLE_EQ(motion.step(0.12).frame.height, 166) << "starts from the intermediate height";
  EXPECT_DOUBLE_EQ(motion.step(0.24).frame.height, 99) << "with a fresh 0.24 s";
  EXPECT_EQ(motion.step(0.36).frame.height, 32);
  EXPECT_FALSE(motion.isAnimating());
}

TEST(RevealMotion, KeepsTheSurfaceBetweenOnePointAndTheTargetWidth) {
  EXPECT_EQ(RevealMotion::effectiveSurfaceWidth(600, 480), 480);
  EXPECT_EQ(RevealMotion::effectiveSurfaceWidth(0.2, 480), 1);
  EXPECT_EQ(RevealMotion::effectiveSurfaceWidth(std::nullopt, 368), 368);
  EXPECT_EQ(RevealMotion::effectiveSurfaceWidth(236, 480), 236);
}

} // namespace
} // namespace notch
